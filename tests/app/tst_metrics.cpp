// The run's figures for monitoring: the file's text as the Prometheus text
// format has it, the last success carried over from the earlier file, the
// file replaced whole, and the file a stop or the deadline writes.

#include "app/metrics.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

const QByteArray kHeads =
    "# HELP contardc_last_run_timestamp_seconds When the last run ended, in seconds since 1970.\n"
    "# TYPE contardc_last_run_timestamp_seconds gauge\n";

} // namespace

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void text();
    void lastSuccess_data();
    void lastSuccess();
    void replacedWhole();
    void folderMissing();
    void writtenAtTheEnd();
};

void TestMetrics::text()
{
    MetricsRecord record;
    record.company = "0\"1\xC3\xB1";  // a quote and an "ñ" the command line gave in UTF-8
    record.niif = true;
    record.endedAt = 1796952667;
    record.seconds = 12.34;
    record.exitCode = 0;
    record.receipts = {{"CONTABILIZADO", 3}, {"SIN CUENTA NIIF", 1}};
    const QByteArray labels = "company=\"0\\\"1\xC3\xB1\",ledger=\"niif\"";
    QCOMPARE(QByteArray::fromStdString(metricsText(record, 1796952667)),
             kHeads + "contardc_last_run_timestamp_seconds{" + labels + "} 1796952667\n"
             "# HELP contardc_last_success_timestamp_seconds When a run last ended with exit code 0, in seconds "
             "since 1970; 0: never.\n"
             "# TYPE contardc_last_success_timestamp_seconds gauge\n"
             "contardc_last_success_timestamp_seconds{" + labels + "} 1796952667\n"
             "# HELP contardc_run_duration_seconds How long the last run took.\n"
             "# TYPE contardc_run_duration_seconds gauge\n"
             "contardc_run_duration_seconds{" + labels + "} 12.3\n"
             "# HELP contardc_exit_code The last run's exit code: 0 posted; 75 try again later; 2, 77, 78 mend the "
             "job; 1 alert.\n"
             "# TYPE contardc_exit_code gauge\n"
             "contardc_exit_code{" + labels + "} 0\n"
             "# HELP contardc_dry_run 1 when the last run was a dry run, which posts nothing.\n"
             "# TYPE contardc_dry_run gauge\n"
             "contardc_dry_run{" + labels + "} 0\n"
             "# HELP contardc_receipts The receipts the last run's posting came back with, by ESTADO.\n"
             "# TYPE contardc_receipts gauge\n"
             "contardc_receipts{" + labels + ",estado=\"CONTABILIZADO\"} 3\n"
             "contardc_receipts{" + labels + ",estado=\"SIN CUENTA NIIF\"} 1\n");
}

// The earlier file's last success, for the same company and ledger only.
void TestMetrics::lastSuccess_data()
{
    QTest::addColumn<QByteArray>("earlier");
    QTest::addColumn<QString>("company");
    QTest::addColumn<bool>("niif");
    QTest::addColumn<qlonglong>("found");  // -1: none
    MetricsRecord record;
    record.company = "01";
    record.endedAt = 1796900000;
    const QByteArray plain01 = QByteArray::fromStdString(metricsText(record, 1796800000));
    QTest::newRow("the same company and ledger") << plain01 << "01" << false << qlonglong(1796800000);
    QTest::newRow("another company") << plain01 << "02" << false << qlonglong(-1);
    QTest::newRow("the other ledger") << plain01 << "01" << true << qlonglong(-1);
    QTest::newRow("no file") << QByteArray() << "01" << false << qlonglong(-1);
    QTest::newRow("never succeeded") << QByteArray::fromStdString(metricsText(record, 0)) << "01" << false
                                     << qlonglong(0);
}

void TestMetrics::lastSuccess()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QString, company);
    QFETCH(bool, niif);
    QFETCH(qlonglong, found);
    const std::optional<long long> got = lastSuccessIn(earlier.toStdString(), company.toStdString(), niif);
    QCOMPARE(got ? qlonglong(*got) : qlonglong(-1), found);
}

// The file is replaced, not written in place: what a reader opened before
// keeps the earlier figures whole, and no temporary file is left behind.
void TestMetrics::replacedWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("contardc.prom");
    QCOMPARE(QByteArray::fromStdString(writeMetrics(QFile::encodeName(path).toStdString(), "first\n")), QByteArray());
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    QCOMPARE(QByteArray::fromStdString(writeMetrics(QFile::encodeName(path).toStdString(), "second\n")),
             QByteArray());
    QCOMPARE(reader.readAll(), QByteArray("first\n"));
    QCOMPARE(readAll(path), QByteArray("second\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"contardc.prom"});
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QVERIFY(info.st_mode & S_IROTH);  // the collector runs as a user of its own
}

void TestMetrics::folderMissing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray path = QFile::encodeName(dir.filePath("nowhere/contardc.prom"));
    QCOMPARE(QByteArray::fromStdString(writeMetrics(path.toStdString(), "x\n")),
             "contardc: the metrics file " + path + " could not be written: No such file or directory");
}

// A stop or the deadline writes the file from what was prepared: the earlier
// file's last success kept when the run did not succeed, taken from the run
// when it did (a stop after the commit).
void TestMetrics::writtenAtTheEnd()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("contardc.prom");
    MetricsRecord earlier;
    earlier.company = "01";
    earlier.endedAt = 1796800000;
    QVERIFY(writeMetrics(QFile::encodeName(path).toStdString(), metricsText(earlier, 1796800000)).empty());
    for (const int exitCode : {75, 0}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            prepareEndMetrics(QFile::encodeName(path).toStdString(), "01", false, false);
            writeEndMetrics(exitCode, 1796900000, 2.06);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        MetricsRecord ended;
        ended.company = "01";
        ended.endedAt = 1796900000;
        ended.seconds = 2.06;
        ended.exitCode = exitCode;
        QCOMPARE(readAll(path),
                 QByteArray::fromStdString(metricsText(ended, exitCode == 0 ? 1796900000 : 1796800000)));
    }
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
