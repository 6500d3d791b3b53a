// The grid's layout arithmetic: rounding, width scaling, fitting, row metrics,
// the window of records in view, the scroll bar per state of the set, glyph
// placement and the cell rectangles with their guards.

#include "text/error.h"
#include "grid/grid_layout.h"

#include <QTest>

#include <climits>
#include <functional>
#include <vector>

using Widths = std::vector<int>;
Q_DECLARE_METATYPE(Widths)

class TestGridLayout : public QObject {
    Q_OBJECT

private slots:
    void mulDiv_data();
    void mulDiv();
    void fitStoredColumns_data();
    void fitStoredColumns();
    void fitWithoutShares_data();
    void fitWithoutShares();
    void rowMetrics_data();
    void rowMetrics();
    void visibleRows_data();
    void visibleRows();
    void recordWindow_data();
    void recordWindow();
    void scrollBarRule_data();
    void scrollBarRule();
    void scrollBarPerState_data();
    void scrollBarPerState();
    void glyphPlace_data();
    void glyphPlace();
    void cellRects_data();
    void cellRects();
    void hitTest_data();
    void hitTest();
    void guards_data();
    void guards();
};

void TestGridLayout::mulDiv_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<int>("expected");
    QTest::newRow("PREF share of 339") << 35 << 339 << 211 << 56;
    QTest::newRow("NUMERO share of 339 rounds up") << 74 << 339 << 211 << 119;
    QTest::newRow("ESTADO share of 323") << 102 << 323 << 211 << 156;
    QTest::newRow("half rounds away from zero") << 3 << 1 << 2 << 2;
    QTest::newRow("half of an even quotient rounds up too") << 5 << 1 << 2 << 3;
    QTest::newRow("negative half rounds away from zero") << -3 << 1 << 2 << -2;
    QTest::newRow("negative divisor half") << 3 << 1 << -2 << -2;
    QTest::newRow("just below half rounds down") << 49 << 1 << 100 << 0;
    QTest::newRow("product beyond 32 bits") << 2000000000 << 3 << 4 << 1500000000;
    QTest::newRow("division by zero") << 35 << 339 << 0 << -1;
    QTest::newRow("result beyond int") << 2000000000 << 2 << 1 << -1;
}

void TestGridLayout::mulDiv()
{
    QFETCH(int, number);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(int, expected);
    QCOMPARE(gridMulDiv(number, numerator, denominator), expected);
}

namespace {
std::vector<FitColumn> storedColumns()
{
    std::vector<FitColumn> columns(3);
    const int stored[] = {35, 74, 102};
    for (std::size_t i = 0; i < 3; ++i)
        columns[i].width = columns[i].initialWidth = stored[i];
    return columns;
}

Widths widthsOf(const std::vector<FitColumn>& columns)
{
    Widths widths;
    for (const FitColumn& c : columns)
        widths.push_back(c.width);
    return widths;
}
}  // namespace

void TestGridLayout::fitStoredColumns_data()
{
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<Widths>("expected");
    QTest::newRow("stored size, no bar") << 354 << Widths{56, 119, 164};
    QTest::newRow("stored size, 16-pixel bar") << 338 << Widths{54, 113, 156};
    QTest::newRow("stored size, 14-pixel bar") << 340 << Widths{54, 114, 157};
    QTest::newRow("wider, rounding one short: ESTADO takes it") << 500 << Widths{80, 170, 235};
    QTest::newRow("narrower, rounding one over: ESTADO gives it") << 225 << Widths{35, 74, 101};
    QTest::newRow("narrower, rounding one short") << 227 << Widths{35, 74, 103};
    QTest::newRow("wider, shares add up") << 400 << Widths{64, 135, 186};
    QTest::newRow("nothing left after indicator and lines") << 15 << Widths{0, 0, 0};
    QTest::newRow("narrower than indicator and lines") << 10 << Widths{0, 0, 0};
}

void TestGridLayout::fitStoredColumns()
{
    QFETCH(int, clientWidth);
    QFETCH(Widths, expected);
    std::vector<FitColumn> columns = storedColumns();
    const int available = fitColumnWidths(columns, clientWidth);
    QCOMPARE(widthsOf(columns), expected);
    // Indicator 11 + 1, then each column + 1: every pixel of the client width is used.
    if (clientWidth >= 15) {
        QCOMPARE(available, clientWidth - 15);
        QCOMPARE(12 + expected[0] + 1 + expected[1] + 1 + expected[2] + 1, clientWidth);
    }
}

void TestGridLayout::fitWithoutShares_data()
{
    QTest::addColumn<Widths>("initialWidths");
    QTest::addColumn<Widths>("expected");
    // Nothing to divide the width by: every column keeps its width and takes no leftover.
    QTest::newRow("no column has a share") << Widths{0, 0, 0} << Widths{35, 74, 102};
    QTest::newRow("one column without a share") << Widths{0, 74, 102} << Widths{0, 143, 196};
}

void TestGridLayout::fitWithoutShares()
{
    QFETCH(Widths, initialWidths);
    QFETCH(Widths, expected);
    std::vector<FitColumn> columns = storedColumns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        columns[i].initialWidth = initialWidths[i];
    fitColumnWidths(columns, 354);
    QCOMPARE(widthsOf(columns), expected);
}

void TestGridLayout::rowMetrics_data()
{
    QTest::addColumn<int>("textHeight");
    QTest::addColumn<bool>("flat");
    QTest::addColumn<int>("dataHeight");
    QTest::addColumn<int>("titleHeight");
    QTest::newRow("8-point font, flat") << 13 << true << 15 << 17;
    QTest::newRow("8-point font, raised") << 13 << false << 17 << 17;
    QTest::newRow("10-point font") << 16 << true << 18 << 20;
}

void TestGridLayout::rowMetrics()
{
    QFETCH(int, textHeight);
    QFETCH(bool, flat);
    QFETCH(int, dataHeight);
    QFETCH(int, titleHeight);
    QCOMPARE(dataRowHeight(textHeight, flat), dataHeight);
    QCOMPARE(titleRowHeight({textHeight}), titleHeight);
    // The tallest title font sets the title row.
    QCOMPARE(titleRowHeight({textHeight - 2, textHeight, textHeight - 1}), titleHeight);
}

void TestGridLayout::visibleRows_data()
{
    QTest::addColumn<int>("clientHeight");
    QTest::addColumn<int>("buffered");
    QTest::addColumn<int>("page");
    // Title pitch 18, row pitch 16.
    QTest::newRow("stored size") << 79 << 3 << 3;
    QTest::newRow("exactly four rows") << 82 << 4 << 4;
    QTest::newRow("one pixel short of four") << 81 << 3 << 3;
    QTest::newRow("exactly one row") << 34 << 1 << 1;
    QTest::newRow("no whole row: still one buffered") << 33 << 1 << 0;
    QTest::newRow("not even the title") << 10 << 1 << 0;
    QTest::newRow("tall") << 200 << 11 << 11;
}

void TestGridLayout::visibleRows()
{
    QFETCH(int, clientHeight);
    QFETCH(int, buffered);
    QFETCH(int, page);
    QCOMPARE(visibleDataRows(clientHeight, 18, 16), buffered);
    QCOMPARE(fullyVisibleDataRows(clientHeight, 18, 16), page);
}

void TestGridLayout::scrollBarRule_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("shown");
    QTest::newRow("closed set") << 0 << 1 << 2 << false;
    // Open set with record numbers: 1 .. records + page - 1.
    QTest::newRow("no records") << 1 << 2 << 3 << false;
    QTest::newRow("one record") << 1 << 3 << 3 << false;
    QTest::newRow("two records, all fit") << 1 << 4 << 3 << true;
    QTest::newRow("more records than fit") << 1 << 12 << 3 << true;
    QTest::newRow("no page: range decides") << 1 << 1 << 0 << false;
    QTest::newRow("no page, some range") << 0 << 4 << 0 << true;
}

void TestGridLayout::scrollBarRule()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, page);
    QFETCH(bool, shown);
    QCOMPARE((TGridScrollBar{minimum, maximum, page, minimum}.isShown()), shown);
}

void TestGridLayout::scrollBarPerState_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<qulonglong>("records");
    QTest::addColumn<int>("page");
    QTest::addColumn<qulonglong>("recNo");
    QTest::addColumn<QList<int>>("bar");  // minimum, maximum, page, position
    QTest::addColumn<bool>("shown");
    QTest::newRow("closed") << false << 0ULL << 3 << 0ULL << QList<int>{0, 1, 2, 0} << false;
    QTest::newRow("closed: rows and page play no part") << false << 10ULL << 5 << 3ULL << QList<int>{0, 1, 2, 0} << false;
    QTest::newRow("open, no rows") << true << 0ULL << 3 << 0ULL << QList<int>{1, 2, 3, 0} << false;
    QTest::newRow("open, one row") << true << 1ULL << 3 << 1ULL << QList<int>{1, 3, 3, 1} << false;
    QTest::newRow("open, two rows: all fit, yet shown") << true << 2ULL << 3 << 1ULL << QList<int>{1, 4, 3, 1} << true;
    QTest::newRow("open, four rows, three fit") << true << 4ULL << 3 << 1ULL << QList<int>{1, 6, 3, 1} << true;
    QTest::newRow("current record further down") << true << 10ULL << 3 << 7ULL << QList<int>{1, 12, 3, 7} << true;
    QTest::newRow("no whole row: no page") << true << 2ULL << 0 << 1ULL << QList<int>{1, 1, 0, 1} << false;
    QTest::newRow("no page, three rows") << true << 3ULL << 0 << 1ULL << QList<int>{1, 2, 0, 1} << true;
    QTest::newRow("more records than an int holds") << true << 5000000000ULL << 3 << 4000000000ULL
                                                     << QList<int>{1, INT_MAX / 2 + 2, 3, INT_MAX / 2} << true;
}

void TestGridLayout::scrollBarPerState()
{
    QFETCH(bool, open);
    QFETCH(qulonglong, records);
    QFETCH(int, page);
    QFETCH(qulonglong, recNo);
    QFETCH(QList<int>, bar);
    QFETCH(bool, shown);
    const TGridScrollBar b = vertScrollBarFor(open, records, page, recNo);
    QCOMPARE((QList<int>{b.minimum, b.maximum, b.page, b.position}), bar);
    QCOMPARE(b.isShown(), shown);
}

void TestGridLayout::recordWindow_data()
{
    QTest::addColumn<qulonglong>("total");
    QTest::addColumn<int>("buffered");
    QTest::addColumn<int>("records");  // in the window
    QTest::addColumn<int>("dataRows");
    QTest::newRow("closed or empty: one blank row") << 0ULL << 3 << 0 << 1;
    QTest::newRow("one record") << 1ULL << 3 << 1 << 1;
    QTest::newRow("fewer records than fit") << 2ULL << 3 << 2 << 2;
    QTest::newRow("more than fit: the first three") << 10ULL << 3 << 3 << 3;
    QTest::newRow("window larger than the set") << 5ULL << 11 << 5 << 5;
    QTest::newRow("no whole row: still one buffered") << 10ULL << 0 << 1 << 1;
}

void TestGridLayout::recordWindow()
{
    QFETCH(qulonglong, total);
    QFETCH(int, buffered);
    QFETCH(int, records);
    QFETCH(int, dataRows);
    QCOMPARE(recordWindowCount(total, buffered), records);
    QCOMPARE(dataRowCount(records), dataRows);
}

void TestGridLayout::glyphPlace_data()
{
    QTest::addColumn<QRect>("cell");
    QTest::addColumn<QPoint>("origin");
    QTest::newRow("indicator cell of the first row") << QRect(1, 19, 11, 15) << QPoint(4, 21);
    QTest::newRow("even width and height") << QRect(0, 0, 12, 16) << QPoint(4, 2);
    QTest::newRow("cell as large as the glyph") << QRect(10, 10, 6, 11) << QPoint(11, 10);
    QTest::newRow("cell smaller than the glyph: halves round down") << QRect(0, 0, 3, 4) << QPoint(-1, -4);
    QTest::newRow("cell left of and above the origin") << QRect(-20, -30, 11, 15) << QPoint(-17, -28);
}

void TestGridLayout::glyphPlace()
{
    QFETCH(QRect, cell);
    QFETCH(QPoint, origin);
    QCOMPARE(glyphOrigin(cell, QSize(6, 11)), origin);
}

namespace {
// The receipt grid at its stored size: indicator and three fitted columns,
// a 17-pixel title row and three 15-pixel data rows.
GridLayout receiptGrid()
{
    GridLayout grid;
    grid.setColCount(4);
    grid.setRowCount(4);
    const int widths[] = {11, 56, 119, 164};
    for (int c = 0; c < 4; ++c)
        grid.setColWidth(c, widths[c]);
    grid.setDefaultRowHeight(15);
    grid.setRowHeight(0, 17);
    return grid;
}
}  // namespace

void TestGridLayout::cellRects_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("indicator title corner") << 0 << 0 << QRect(0, 0, 11, 17);
    QTest::newRow("PREF title") << 1 << 0 << QRect(12, 0, 56, 17);
    QTest::newRow("ESTADO title") << 3 << 0 << QRect(189, 0, 164, 17);
    QTest::newRow("indicator of the first row") << 0 << 1 << QRect(0, 18, 11, 15);
    QTest::newRow("NUMERO of the second row") << 2 << 2 << QRect(69, 34, 119, 15);
    QTest::newRow("ESTADO of the third row") << 3 << 3 << QRect(189, 50, 164, 15);
}

void TestGridLayout::cellRects()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QRect, expected);
    const GridLayout grid = receiptGrid();
    QCOMPARE(grid.cellRect(col, row), expected);
    // The last line ends the client width and the third row's line lies above the empty area.
    QCOMPARE(grid.colLeft(4), 354);
    QCOMPARE(grid.rowTop(4), 66);
}

void TestGridLayout::hitTest_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::newRow("top-left pixel") << 0 << 0 << 0 << 0;
    QTest::newRow("indicator line belongs to the indicator") << 11 << 17 << 0 << 0;
    QTest::newRow("first pixel of PREF, first data row") << 12 << 18 << 1 << 1;
    QTest::newRow("last line of the grid") << 353 << 65 << 3 << 3;
    QTest::newRow("right of the columns") << 354 << 20 << -1 << 1;
    QTest::newRow("below the rows") << 20 << 66 << 1 << -1;
    QTest::newRow("left of the grid") << -1 << -1 << -1 << -1;
}

void TestGridLayout::hitTest()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, col);
    QFETCH(int, row);
    const GridLayout grid = receiptGrid();
    QCOMPARE(grid.colAt(x), col);
    QCOMPARE(grid.rowAt(y), row);
}

void TestGridLayout::guards_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("message");
    // The texts as the user reads them.
    const QString outOfRange = QStringLiteral("Grid index out of range");
    const QString fixedCols = QStringLiteral("Fixed column count must be less than column count");
    const QString fixedRows = QStringLiteral("Fixed row count must be less than row count");
    QTest::newRow("column width beyond the last column") << 0 << outOfRange;
    QTest::newRow("row height of a negative row") << 1 << outOfRange;
    QTest::newRow("cell beyond the last row") << 2 << outOfRange;
    QTest::newRow("as many fixed columns as columns") << 3 << fixedCols;
    QTest::newRow("as many fixed rows as rows") << 4 << fixedRows;
    QTest::newRow("fewer columns than fixed ones") << 5 << fixedCols;
    QTest::newRow("rows down to the fixed row") << 6 << fixedRows;
    QTest::newRow("negative fixed count") << 7 << outOfRange;
}

void TestGridLayout::guards()
{
    QFETCH(int, operation);
    QFETCH(QString, message);
    GridLayout grid = receiptGrid();
    const std::vector<std::function<void()>> operations = {
        [&] { grid.setColWidth(4, 10); },
        [&] { (void)grid.rowHeight(-1); },
        [&] { (void)grid.cellRect(0, 4); },
        [&] { grid.setFixedCols(4); },
        [&] { grid.setFixedRows(4); },
        [&] { grid.setColCount(1); },
        [&] { grid.setRowCount(1); },
        [&] { grid.setFixedCols(-1); },
    };
    try {
        operations[static_cast<std::size_t>(operation)]();
        QFAIL("no error raised");
    } catch (const ProgramError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), message);
    }
    // A refused change leaves the grid as it was.
    QCOMPARE(grid.colCount(), 4);
    QCOMPARE(grid.rowCount(), 4);
    QCOMPARE(grid.fixedCols(), 1);
    QCOMPARE(grid.fixedRows(), 1);
    QCOMPARE(grid.cellRect(3, 3), QRect(189, 50, 164, 15));
}

QTEST_APPLESS_MAIN(TestGridLayout)
#include "tst_grid_layout.moc"
