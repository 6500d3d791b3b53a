// The decision whether the Windows program can show its window, over the
// facts Windows gives of its session; the calls that gather them are
// checked under Wine (tests/win/wintests.cpp), with this same table.

#include "app/display.h"
#include "cases/display_cases.h"

#include <QTest>

class TestDisplay : public QObject {
    Q_OBJECT

private slots:
    void windowsWindowUsable_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases::kSessionCases.size(); ++i)
            QTest::newRow(cases::kSessionCases[i].name) << int(i);
    }
    void windowsWindowUsable()
    {
        QFETCH(int, index);
        const cases::SessionCase& c = cases::kSessionCases[std::size_t(index)];
        QCOMPARE(::windowsWindowUsable(c.facts), c.window);
    }
};

QTEST_GUILESS_MAIN(TestDisplay)
#include "tst_display.moc"
