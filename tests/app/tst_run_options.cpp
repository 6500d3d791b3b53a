// What an operator adds after the five arguments, checked before anything
// connects: each option's value, the catch-up range against today, and the
// two requests that stand alone.
#include "app/exit_codes.h"
#include "app/run_options.h"

#include <QtTest>

namespace {

constexpr CivilDate kToday{2026, 3, 1};

std::vector<std::string> withFive(const QStringList& options)
{
    std::vector<std::string> arguments{"srv", "SYSDBA", "pw", "01", "N"};
    for (const QString& option : options)
        arguments.push_back(option.toStdString());
    return arguments;
}

QString iso(const CivilDate& date)
{
    return QString::asprintf("%04d-%02d-%02d", date.year, date.month, date.day);
}

} // namespace

class TestRunOptions : public QObject {
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void days_data();
    void days();
    void standAlone_data();
    void standAlone();
    void help();
    void documentedExitCodes_data();
    void documentedExitCodes();
};

void TestRunOptions::accepted_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QByteArray>("ignored");
    QTest::newRow("none") << QStringList{} << "" << 0 << "" << "" << QByteArray();
    QTest::newRow("words without -- stay ignored")
        << QStringList{"extra", "-x", "7"} << "" << 0 << "" << "" << QByteArray("\"extra\", \"-x\", \"7\"");
    QTest::newRow("an option it does not know is ignored")
        << QStringList{"--verbose"} << "" << 0 << "" << "" << QByteArray("\"--verbose\"");
    QTest::newRow("help after the five is ignored")
        << QStringList{"--help"} << "" << 0 << "" << "" << QByteArray("\"--help\"");
    // The word as the program's text: what a UTF-8 terminal typed, in Windows-1252.
    QTest::newRow("a misspelt option and its value, beside a known one")
        << QStringList{QStringLiteral("--fr\u00F6m"), "2026-02-01", "--timeout", "60"} << "" << 60 << "" << ""
        << QByteArray("\"--fr\xF6m\", \"2026-02-01\"");
    QTest::newRow("log off") << QStringList{"--log", "-"} << "-" << 0 << "" << "" << QByteArray();
    QTest::newRow("log file and timeout") << QStringList{"--log", "/var/log/c.log", "--timeout", "600"}
                                          << "/var/log/c.log" << 600 << "" << "" << QByteArray();
    QTest::newRow("from alone ends today") << QStringList{"--from", "2026-02-27"} << "" << 0 << "2026-02-27"
                                           << "2026-03-01" << QByteArray();
    QTest::newRow("today alone") << QStringList{"--from", "2026-03-01"} << "" << 0 << "2026-03-01" << "2026-03-01"
                                 << QByteArray();
    QTest::newRow("from and to") << QStringList{"--to", "2026-01-31", "--from", "2026-01-01"} << "" << 0
                                 << "2026-01-01" << "2026-01-31" << QByteArray();
    QTest::newRow("366 days") << QStringList{"--from", "2025-03-01"} << "" << 0 << "2025-03-01" << "2026-03-01"
                              << QByteArray();
    // The calendar's edges: leap days by the 4, 100 and 400 rules, the last
    // day of a month, the first and last day of the years it takes.
    for (const char* day : {"2024-02-29", "2000-02-29", "2025-04-30", "2025-12-31", "0001-01-01"})
        QTest::newRow(day) << QStringList{"--from", day, "--to", day} << "" << 0 << day << day << QByteArray();
}

void TestRunOptions::accepted()
{
    QFETCH(QStringList, options);
    QFETCH(QString, log);
    QFETCH(int, timeout);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QByteArray, ignored);
    const ParsedRunOptions parsed = parseRunOptions(withFive(options), kToday);
    QCOMPARE(QString::fromStdString(parsed.error), QString());
    QCOMPARE(QByteArray::fromStdString(ignoredWordsText(parsed.ignored)), ignored);
    QCOMPARE(QString::fromStdString(parsed.options.logFile.value_or("")), log);
    QCOMPARE(parsed.options.timeoutSeconds.value_or(0), timeout);
    QCOMPARE(parsed.options.from ? iso(*parsed.options.from) : QString(), from);
    QCOMPARE(parsed.options.to ? iso(*parsed.options.to) : QString(), to);
}

void TestRunOptions::refused_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("error");
    QTest::newRow("value missing") << QStringList{"--timeout"} << "contardc: --timeout needs a value; nothing was posted";
    QTest::newRow("timeout zero") << QStringList{"--timeout", "0"}
                                  << "contardc: --timeout takes a whole number of seconds from 1 up, not \"0\"; "
                                     "nothing was posted";
    QTest::newRow("timeout with unit") << QStringList{"--timeout", "30s"}
                                       << "contardc: --timeout takes a whole number of seconds from 1 up, not "
                                          "\"30s\"; nothing was posted";
    QTest::newRow("day the calendar lacks") << QStringList{"--from", "2025-02-29"}
                                            << "contardc: --from takes a date as YYYY-MM-DD, not \"2025-02-29\"; "
                                               "nothing was posted";
    for (const char* day : {"1900-02-29", "2025-04-31", "2025-13-01", "2025-00-10", "2025-01-00", "2025-01-32",
                            "0000-12-31", "2025-1-010", "+025-01-01"})
        QTest::newRow(day) << QStringList{"--from", day}
                           << QString("contardc: --from takes a date as YYYY-MM-DD, not \"%1\"; nothing was posted")
                                  .arg(day);
    QTest::newRow("date in another form") << QStringList{"--from", "2026/02/01"}
                                          << "contardc: --from takes a date as YYYY-MM-DD, not \"2026/02/01\"; "
                                             "nothing was posted";
    QTest::newRow("a date with a letter beyond ASCII")
        << QStringList{"--to", QStringLiteral("2026-0\u00F1-01")}
        << QStringLiteral("contardc: --to takes a date as YYYY-MM-DD, not \"2026-0\u00F1-01\"; nothing was posted");
    QTest::newRow("to without from") << QStringList{"--to", "2026-02-01"}
                                     << "contardc: --to goes with --from; nothing was posted";
    QTest::newRow("start tomorrow") << QStringList{"--from", "2026-03-02"}
                                    << "contardc: 2026-03-02 is in the future; nothing was posted";
    QTest::newRow("end tomorrow") << QStringList{"--from", "2026-02-01", "--to", "2026-03-02"}
                                  << "contardc: 2026-03-02 is in the future; nothing was posted";
    QTest::newRow("start after the end") << QStringList{"--from", "2026-02-10", "--to", "2026-02-09"}
                                         << "contardc: 2026-02-10 comes after 2026-02-09; nothing was posted";
    QTest::newRow("367 days") << QStringList{"--from", "2025-02-28"}
                              << "contardc: 2025-02-28 to 2026-03-01 is more than 366 days; post a longer gap in "
                                 "parts; nothing was posted";
}

void TestRunOptions::refused()
{
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    // The program's text, Windows-1252.
    QCOMPARE(QByteArray::fromStdString(parseRunOptions(withFive(options), kToday).error), error.toLatin1());
}

void TestRunOptions::days_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("days");
    QTest::newRow("one day") << "2026-03-01" << "2026-03-01" << QStringList{"2026-03-01"};
    QTest::newRow("over a leap February") << "2024-02-28" << "2024-03-01"
                                          << QStringList{"2024-02-28", "2024-02-29", "2024-03-01"};
    QTest::newRow("over a common February") << "2026-02-27" << "2026-03-01"
                                            << QStringList{"2026-02-27", "2026-02-28", "2026-03-01"};
    QTest::newRow("over the new year") << "2025-12-31" << "2026-01-01" << QStringList{"2025-12-31", "2026-01-01"};
    QTest::newRow("over 2100, no leap day") << "2100-02-28" << "2100-03-01" << QStringList{"2100-02-28", "2100-03-01"};
}

void TestRunOptions::days()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, days);
    const auto date = [](const QString& text) {
        return CivilDate{text.left(4).toInt(), text.mid(5, 2).toInt(), text.right(2).toInt()};
    };
    QStringList got;
    for (const CivilDate& day : daysFromTo(date(from), date(to)))
        got << iso(day);
    QCOMPARE(got, days);
}

void TestRunOptions::standAlone_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("request");
    QTest::newRow("help") << QStringList{"--help"} << int(StandAlone::Help);
    QTest::newRow("version") << QStringList{"--version"} << int(StandAlone::Version);
    QTest::newRow("no arguments") << QStringList{} << int(StandAlone::None);
    QTest::newRow("help with more") << QStringList{"--help", "x"} << int(StandAlone::None);
    QTest::newRow("a server named -h") << QStringList{"-h"} << int(StandAlone::None);
}

void TestRunOptions::standAlone()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, request);
    std::vector<std::string> words;
    for (const QString& a : arguments)
        words.push_back(a.toStdString());
    QCOMPARE(int(standAloneRequest(words)), request);
}

// The help an operator reads: the usage line, every option that may follow
// the five arguments, the variables the program reads, what the exit codes
// mean.
void TestRunOptions::help()
{
    const QString text = QString::fromStdString(helpText());
    const QStringList lines = text.split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("Usage: contardc [SERVER USER PASSWORD COMPANY S|N [OPTIONS]]"));
    QStringList options;
    for (const QString& line : lines)
        if (line.startsWith(QLatin1String("  --")))
            options << line.mid(2).section(QStringLiteral("  "), 0, 0);
    QCOMPARE(options, (QStringList{"--metrics FILE", "--log FILE", "--event-log", "--timeout SECONDS",
                                   "--from YYYY-MM-DD", "--to YYYY-MM-DD", "--dry-run", "--help, --version"}));
    for (const char* variable : {"ISC_PASSWORD", "LEDGARA_FBCLIENT", "LEDGARA_HKLM", "CONTARDC_NO_WINDOW"})
        QVERIFY2(text.contains(QLatin1String(variable)), variable);
    QVERIFY2(text.endsWith(
                 "Exit codes without a window (what happened; what a scheduler should do):\n"
                 "   0  posted, or nothing to post (also when the report could not be written:\n"
                 "      one line says so); nothing.\n"
                 "   2  usage: an option, a date or a company code it cannot take; nothing\n"
                 "      connected; not retry.\n"
                 "  75  temporary: the server could not be reached or dropped the connection, a\n"
                 "      lock or the deadline ended the run, a stop request; retry later.\n"
                 "  77  the server refused the user name or password; not retry.\n"
                 "  78  configuration: installation folder, server list, client library, password\n"
                 "      source, or a company database missing or not this ERP's; not retry.\n"
                 "   1  any other failure (the posting procedure's own error, ...); alert.\n"),
             qPrintable(text));
}

// The README, the manual page and LEEME each list the exit codes that the
// program's table gives, in its order, and no other: a code added, dropped or
// renumbered in the code and not in a document fails here.
void TestRunOptions::documentedExitCodes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("row");  // a line of the document's table; its first group is the code
    QTest::newRow("README") << "README.md" << R"(^\| (\d+) \| )";
    QTest::newRow("manual page") << "packaging/debian/contardc.1" << R"(^\.B (\d+)$)";
    QTest::newRow("LEEME") << "packaging/windows/LEEME.txt" << R"(^  (\d+) +\(0x[0-9A-F]+\) )";
}

void TestRunOptions::documentedExitCodes()
{
    QFETCH(QString, file);
    QFETCH(QString, row);
    QFile document(qEnvironmentVariable("CONTARDC_SOURCE_DIR", QStringLiteral(CONTARDC_SOURCE_DIR_FALLBACK)) + '/' +
                   file);
    QVERIFY2(document.open(QIODevice::ReadOnly), qPrintable(document.fileName()));
    QList<int> expected;
    for (const ExitCodeMeaning& meaning : kExitCodes)
        expected << meaning.code;
    QList<int> listed;
    const QRegularExpression pattern(row, QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& match : pattern.globalMatch(QString::fromUtf8(document.readAll())))
        listed << match.captured(1).toInt();
    QCOMPARE(listed, expected);
}

QTEST_APPLESS_MAIN(TestRunOptions)
#include "tst_run_options.moc"
