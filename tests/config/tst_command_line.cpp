// Splitting the command line into the program's arguments.

#include "cases/command_line_cases.h"
#include "config/command_line.h"
#include "printable.h"

#include <QTest>

namespace {

// A double-byte code page in the manner of Shift-JIS: 0x81-0x9F and
// 0xE0-0xFC lead a two-byte character.
std::size_t doubleByteStep(std::string_view rest)
{
    const auto b = static_cast<unsigned char>(rest.front());
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return lead && rest.size() >= 2 ? 2 : 1;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases::kSplitCases.size(); ++i)
            QTest::newRow(cases::kSplitCases[i].name) << int(i);
    }
    void split()
    {
        QFETCH(int, index);
        const cases::SplitCase& c = cases::kSplitCases[std::size_t(index)];
        QCOMPARE(printable(splitCommandLine(c.raw)), printable(c.words));
    }

    void doubleByteCharacters_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases::kDoubleByteCases.size(); ++i)
            QTest::newRow(cases::kDoubleByteCases[i].name) << int(i);
    }
    void doubleByteCharacters()
    {
        QFETCH(int, index);
        const cases::DoubleByteCase& c = cases::kDoubleByteCases[std::size_t(index)];
        QCOMPARE(printable(splitCommandLine(c.raw, doubleByteStep)), printable(c.words));
    }

#ifndef _WIN32
    void programArguments_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases::kArgvCases.size(); ++i)
            QTest::newRow(cases::kArgvCases[i].name) << int(i);
    }
    void programArguments()
    {
        QFETCH(int, index);
        const cases::ArgvCase& c = cases::kArgvCases[std::size_t(index)];
        std::vector<std::string> storage = c.argv;
        std::vector<char*> argv;
        for (std::string& s : storage)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        QCOMPARE(printable(::programArguments(int(storage.size()), argv.data())), printable(c.arguments));
    }
#endif
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
