// Where the program looks for its window module: beside itself, or nowhere
// when it cannot tell where it is.

#include "app/window_loader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

class TestWindowLoader : public QObject {
    Q_OBJECT

private slots:
    void windowModuleBeside_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("failure");
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QByteArray>("refusal");

        const QByteArray refused = "contardc: cannot load the window: the program's own folder is unknown (";
        const QByteArray refusedEnd = "), and the window module is loaded from that folder only";

        QTest::newRow("a folder") << QByteArray("/opt/contardc/contardc") << QByteArray()
                                  << QByteArray("/opt/contardc/libcontardc_window.so") << QByteArray();
        QTest::newRow("the root") << QByteArray("/contardc") << QByteArray()
                                  << QByteArray("/libcontardc_window.so") << QByteArray();
        QTest::newRow("a folder named with blanks and UTF-8")
            << QByteArray("/home/ana/mis programas/contabilizaci\xC3\xB3n/contardc") << QByteArray()
            << QByteArray("/home/ana/mis programas/contabilizaci\xC3\xB3n/libcontardc_window.so") << QByteArray();
        // A backslash is part of a name here, not a separator.
        QTest::newRow("a folder named with a backslash")
            << QByteArray("/opt/a\\b/contardc") << QByteArray() << QByteArray("/opt/a\\b/libcontardc_window.so")
            << QByteArray();
        // The program's file was replaced while it ran: the system names the
        // old one, in the same folder.
        QTest::newRow("the program replaced while it runs")
            << QByteArray("/opt/contardc/contardc (deleted)") << QByteArray()
            << QByteArray("/opt/contardc/libcontardc_window.so") << QByteArray();

        QTest::newRow("the system cannot tell")
            << QByteArray() << QByteArray("readlink /proc/self/exe: No such file or directory") << QByteArray()
            << refused + "readlink /proc/self/exe: No such file or directory" + refusedEnd;
        QTest::newRow("a path longer than the bound")
            << QByteArray() << QByteArray("readlink /proc/self/exe: the path is longer than 65536 bytes")
            << QByteArray() << refused + "readlink /proc/self/exe: the path is longer than 65536 bytes" + refusedEnd;
        // A name without a folder would be looked up by the library search,
        // and a relative one in the current folder: neither is the program's.
        QTest::newRow("a bare file name") << QByteArray("contardc") << QByteArray() << QByteArray()
                                          << refused + "the system names the program \"contardc\"" + refusedEnd;
        QTest::newRow("a relative path") << QByteArray("bin/contardc") << QByteArray() << QByteArray()
                                         << refused + "the system names the program \"bin/contardc\"" + refusedEnd;
        QTest::newRow("an empty path and no reason")
            << QByteArray() << QByteArray() << QByteArray() << refused + "the system names the program \"\"" + refusedEnd;
    }

    void windowModuleBeside()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, failure);
        QFETCH(QByteArray, module);
        QFETCH(QByteArray, refusal);
        const WindowModuleLocation location = ::windowModuleBeside({path.toStdString(), failure.toStdString()});
        QCOMPARE(QByteArray::fromStdString(location.module), module);
        QCOMPARE(QByteArray::fromStdString(location.refusal), refusal);
    }

    // The running program's own path, whole and with its links resolved,
    // as the test was started with it.
    void programPathIsThisProgram()
    {
        const ProgramPath self = programPath();
        QCOMPARE(QByteArray::fromStdString(self.failure), QByteArray());
        const QString started = QFileInfo(QCoreApplication::arguments().constFirst()).canonicalFilePath();
        QVERIFY(!started.isEmpty());
        QCOMPARE(QString::fromStdString(self.path), started);
    }
};

QTEST_GUILESS_MAIN(TestWindowLoader)
#include "tst_window_loader.moc"
