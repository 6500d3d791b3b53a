// The receipt grid as a widget over a real in-memory set: layout in the states
// of the set, refitting, visible rows, the current-row arrow, pixels of a grab
// against the look described pixel by pixel, the disabled state, the guards
// of the cell grid, and the table that assistive technology reads of it.

#include "grid_harness.h"

#include "text/error.h"

#include <QAccessible>
#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <functional>

using Widths = QList<int>;

namespace {

Widths columnWidths(const TDataGrid& grid)
{
    Widths widths;
    for (int c = 1; c < grid.colCount(); ++c)
        widths.push_back(grid.colWidths(c));
    return widths;
}

// The fitted widths with the vertical bar shown, for the bar widths of the
// styles the tests run under (the bar's width is the style's).
Widths widthsWithBar(int barWidth)
{
    switch (barWidth) {
    case 16: return {54, 113, 156};
    case 14: return {54, 114, 157};
    default: return {};
    }
}

int barWidth(const TDataGrid& grid)
{
    return grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

QStringList rowTexts(const TDataGrid& grid, int row)
{
    QStringList texts;
    for (int c = 1; c < grid.colCount(); ++c)
        texts << grid.cellText(c, row);
    return texts;
}

bool isDark(QRgb pixel)
{
    return qGray(pixel) < 128;
}

bool hasDarkPixel(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (isDark(image.pixel(x, y)))
                return true;
    return false;
}

QString colourAt(const QImage& image, QPoint p)
{
    return QColor(image.pixel(p)).name();
}

// The browse arrow, 6 × 11: black where X, the cell's face showing through elsewhere.
const char* const kArrow[] = {"      ", "X     ", "XX    ", "XXX   ", "XXXX  ", "XXXXX ",
                              "XXXX  ", "XXX   ", "XX    ", "X     ", "      "};
constexpr int kArrowWidth = 6;
constexpr int kArrowHeight = 11;

// The 6 × 11 block at the glyph's place in an indicator cell, compared with the arrow.
bool arrowAt(const QImage& image, QPoint corner)
{
    for (int y = 0; y < kArrowHeight; ++y) {
        for (int x = 0; x < kArrowWidth; ++x) {
            const QColor expected = kArrow[y][x] == 'X' ? QColor(Qt::black) : TestColours::button();
            if (QColor(image.pixel(corner + QPoint(x, y))) != expected)
                return false;
        }
    }
    return true;
}

bool blankIndicator(const QImage& image, QPoint corner)
{
    for (int y = 0; y < kArrowHeight; ++y)
        for (int x = 0; x < kArrowWidth; ++x)
            if (QColor(image.pixel(corner + QPoint(x, y))) != TestColours::button())
                return false;
    return true;
}

// The grid with a title row and one data row as the look is described: a
// sunken frame, fixed cells on the button face with a light top-left rim, data
// cells and the empty area in the window colour, gray lines around fixed cells
// and silver ones between data cells, running on to the bottom, and the arrow
// 3 right of and 2 below the corner of the first indicator cell when the set
// is open. Text is not described: its places are returned with their backgrounds.
struct DescribedLook {
    QImage image;
    std::vector<std::pair<QRect, QColor>> textAreas;
};

DescribedLook describedLook(QSize size, const Widths& widths, bool open, bool rowText)
{
    DescribedLook look{QImage(size, QImage::Format_RGB32), {}};
    look.image.fill(TestColours::base());
    QPainter p(&look.image);
    const QRect area(1, 1, size.width() - 2, size.height() - 2);
    p.setClipRect(area);
    const Widths cols = Widths{11} + widths;
    const int heights[] = {17, 15};
    for (int r = 0, y = area.top(); r < 2; y += heights[r] + 1, ++r) {
        for (int c = 0, x = area.left(); c < cols.size(); x += cols[c] + 1, ++c) {
            const QRect cell(x, y, cols[c], heights[r]);
            const bool fixed = c == 0 || r == 0;
            const QColor line = fixed ? TestColours::gray() : TestColours::silver();
            p.fillRect(cell, fixed ? TestColours::button() : TestColours::base());
            if (fixed) {
                p.fillRect(QRect(cell.left(), cell.top(), cell.width(), 1), TestColours::light());
                p.fillRect(QRect(cell.left(), cell.top(), 1, cell.height()), TestColours::light());
            }
            p.fillRect(QRect(cell.right() + 1, cell.top(), 1, cell.height() + 1), line);
            p.fillRect(QRect(cell.left(), cell.bottom() + 1, cell.width(), 1), line);
            if (r == 1 && area.bottom() > cell.bottom() + 1)
                p.fillRect(QRect(cell.right() + 1, cell.bottom() + 2, 1, area.bottom() - cell.bottom() - 1), line);
            if (c > 0 && r == 0)
                look.textAreas.push_back({cell.adjusted(1, 1, -1, -1), TestColours::button()});
            if (c > 0 && r == 1 && rowText)
                look.textAreas.push_back({cell, TestColours::base()});
        }
    }
    if (open) {
        for (int y = 0; y < kArrowHeight; ++y)
            for (int x = 0; x < kArrowWidth; ++x)
                if (kArrow[y][x] == 'X')
                    p.fillRect(QRect(area.left() + 3 + x, area.top() + 18 + 2 + y, 1, 1), Qt::black);
    }
    p.setClipping(false);
    const QRect all(QPoint(0, 0), size);
    p.fillRect(QRect(0, 0, size.width(), 1), TestColours::dark());
    p.fillRect(QRect(0, 0, 1, size.height()), TestColours::dark());
    p.fillRect(QRect(0, all.bottom(), size.width(), 1), TestColours::light());
    p.fillRect(QRect(all.right(), 0, 1, size.height()), TestColours::light());
    return look;
}

// Text drawn on a background only darkens it: every channel scaled alike.
bool textOn(QRgb pixel, const QColor& background)
{
    const double k = qGreen(pixel) / double(background.green());
    return std::abs(qRed(pixel) - background.red() * k) <= 2 && std::abs(qBlue(pixel) - background.blue() * k) <= 2;
}

// Records the events that reach an object, before it handles them.
class EventRecorder : public QObject {
public:
    std::vector<QEvent::Type> types;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        types.push_back(event->type());
        return QObject::eventFilter(watched, event);
    }
};

class KeyPreview : public QObject {
public:
    std::vector<int> keys;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            keys.push_back(static_cast<QKeyEvent*>(event)->key());
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class TestDataGrid : public QObject {
    Q_OBJECT

private slots:
    void init();
    void rowMeasure();
    void statesOfTheSet_data();
    void statesOfTheSet();
    void refitsOnResize_data();
    void refitsOnResize();
    void visibleRows_data();
    void visibleRows();
    void lookAsDescribed_data();
    void lookAsDescribed();
    void linesAndFixedCells_data();
    void linesAndFixedCells();
    void currentRowGlyph_data();
    void currentRowGlyph();
    void longValueCutAtCellEdge();
    void alignmentAndUnboundColumn();
    void disabledLooksEnabled_data();
    void disabledLooksEnabled();
    void disabledIgnoresInput_data();
    void disabledIgnoresInput();
    void keysReachWindow_data();
    void keysReachWindow();
    void guards_data();
    void guards();
    void cellTypes_data();
    void cellTypes();
    void accessibleTable_data();
    void accessibleTable();
    void accessibleCellReadWhole();
};

void TestDataGrid::init()
{
    // Row heights and pixel places follow the stand-in font; without it they differ.
    QVERIFY(QFontInfo(windowTestFont()).family() == QStringLiteral("Liberation Sans"));
}

void TestDataGrid::rowMeasure()
{
    // Every row height follows this measure; the 15- and 17-pixel rows assume 13.
    QCOMPARE(TCustomDataGrid::textHeight(windowTestFont()), 13);
    GridHarness h;
    QCOMPARE(h.grid->rowHeights(0), 17);
    QCOMPARE(h.grid->rowHeights(1), 15);
}

void TestDataGrid::statesOfTheSet_data()
{
    QTest::addColumn<int>("rows");           // -1: closed
    QTest::addColumn<bool>("closeAfterwards");
    QTest::addColumn<bool>("barShown");
    QTest::addColumn<int>("barPosition");
    QTest::addColumn<int>("arrowRow");       // -1: no glyph
    QTest::addColumn<int>("dataRows");
    QTest::addColumn<QStringList>("firstRow");
    const QStringList blank{"", "", ""};
    QTest::newRow("closed") << -1 << false << false << 0 << -1 << 1 << blank;
    QTest::newRow("open, no rows") << 0 << false << false << 0 << 1 << 1 << blank;
    QTest::newRow("open, one row") << 1 << false << false << 1 << 1 << 1
                                   << QStringList{"RC", "100000", "SIN TERCERO"};
    QTest::newRow("open, two rows") << 2 << false << true << 1 << 1 << 2
                                    << QStringList{"RC", "100000", "SIN TERCERO"};
    QTest::newRow("open, four rows: three fit") << 4 << false << true << 1 << 1 << 3
                                                << QStringList{"RC", "100000", "SIN TERCERO"};
    QTest::newRow("open, a thousand rows") << 1000 << false << true << 1 << 1 << 3
                                           << QStringList{"RC", "100000", "SIN TERCERO"};
    QTest::newRow("opened with rows, then closed") << 5 << true << false << 0 << -1 << 1 << blank;
}

void TestDataGrid::statesOfTheSet()
{
    QFETCH(int, rows);
    QFETCH(bool, closeAfterwards);
    QFETCH(bool, barShown);
    QFETCH(int, barPosition);
    QFETCH(int, arrowRow);
    QFETCH(int, dataRows);
    QFETCH(QStringList, firstRow);

    GridHarness h;
    h.open(rows);
    if (closeAfterwards)
        h.set.close();
    TDataGrid& grid = *h.grid;

    QCOMPARE(rowTexts(grid, 0), (QStringList{"PREF", "NUMERO", "ESTADO"}));
    QCOMPARE(grid.vertScrollBar().isShown(), barShown);
    QCOMPARE(grid.vertScrollBar().position, barPosition);
    QCOMPARE(grid.indicatorRow(), arrowRow);
    QCOMPARE(grid.rowCount() - 1, dataRows);
    QCOMPARE(rowTexts(grid, 1), firstRow);
    QCOMPARE(grid.colWidths(0), 11);
    if (barShown) {
        const Widths expected = widthsWithBar(barWidth(grid));
        if (expected.isEmpty())
            QFAIL(qPrintable(QStringLiteral("no expected widths for a %1-pixel bar").arg(barWidth(grid))));
        QCOMPARE(columnWidths(grid), expected);
        QCOMPARE(grid.cellArea().width(), 354 - barWidth(grid));
    } else {
        QCOMPARE(columnWidths(grid), (Widths{56, 119, 164}));
        QCOMPARE(grid.cellArea(), QRect(1, 1, 354, 79));
    }
    // Indicator, columns and their lines fill the cell area exactly.
    QCOMPARE(grid.cellRect(3, 0).right() + 1, grid.cellArea().right());
    // Only the first rows are shown; the rest cannot be brought into view.
    for (int row = 1; row <= dataRows; ++row)
        QCOMPARE(grid.recordAtRow(row), rows > 0 && !closeAfterwards ? row - 1 : -1);
}

void TestDataGrid::refitsOnResize_data()
{
    QTest::addColumn<int>("gridWidth");
    QTest::addColumn<Widths>("expected");
    QTest::newRow("wider: ESTADO takes the leftover") << 502 << Widths{80, 170, 235};
    QTest::newRow("wider: shares add up") << 402 << Widths{64, 135, 186};
    QTest::newRow("narrower: ESTADO gives a pixel back") << 227 << Widths{35, 74, 101};
    QTest::newRow("narrower: ESTADO takes a pixel") << 229 << Widths{35, 74, 103};
    QTest::newRow("no room for columns") << 14 << Widths{0, 0, 0};
}

void TestDataGrid::refitsOnResize()
{
    QFETCH(int, gridWidth);
    QFETCH(Widths, expected);
    GridHarness h;
    h.grid->resize(gridWidth, 81);
    QCOMPARE(columnWidths(*h.grid), expected);
    // Back at the stored size the stored proportion comes back, with no drift.
    h.grid->resize(356, 81);
    QCOMPARE(columnWidths(*h.grid), (Widths{56, 119, 164}));
    h.grid->resize(gridWidth, 81);
    QCOMPARE(columnWidths(*h.grid), expected);
}

void TestDataGrid::visibleRows_data()
{
    QTest::addColumn<int>("gridHeight");
    QTest::addColumn<int>("buffered");
    QTest::addColumn<int>("page");
    // Ten records; title pitch 18, row pitch 16, frame 2.
    QTest::newRow("stored height") << 81 << 3 << 3;
    QTest::newRow("room for four") << 84 << 4 << 4;
    QTest::newRow("a pixel short of four") << 83 << 3 << 3;
    QTest::newRow("no whole row: one buffered, no page") << 35 << 1 << 0;
    QTest::newRow("more room than records") << 202 << 11 << 11;
}

void TestDataGrid::visibleRows()
{
    QFETCH(int, gridHeight);
    QFETCH(int, buffered);
    QFETCH(int, page);
    GridHarness h;
    h.open(10);
    h.grid->resize(356, gridHeight);
    QCOMPARE(h.grid->bufferCount(), buffered);
    QCOMPARE(h.grid->rowCount() - 1, std::min(buffered, 10));
    QCOMPARE(h.grid->vertScrollBar().page, page);
    QVERIFY(h.grid->vertScrollBar().isShown());
    QCOMPARE(h.grid->recordAtRow(std::min(buffered, 10)), std::min(buffered, 10) - 1);
}

void TestDataGrid::lookAsDescribed_data()
{
    QTest::addColumn<int>("rows");  // -1: closed
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Widths>("widths");
    const Widths stored{56, 119, 164};
    QTest::newRow("closed, stored size") << -1 << QSize(356, 81) << stored;
    QTest::newRow("open empty, stored size") << 0 << QSize(356, 81) << stored;
    QTest::newRow("one row, stored size") << 1 << QSize(356, 81) << stored;
    QTest::newRow("opened with rows, then closed") << -2 << QSize(356, 81) << stored;
    QTest::newRow("closed, narrower") << -1 << QSize(227, 81) << Widths{35, 74, 101};
    QTest::newRow("one row, wider") << 1 << QSize(502, 81) << Widths{80, 170, 235};
    QTest::newRow("open empty, taller") << 0 << QSize(356, 150) << stored;
    QTest::newRow("closed, lower than its rows") << -1 << QSize(356, 30) << stored;
}

void TestDataGrid::lookAsDescribed()
{
    QFETCH(int, rows);
    QFETCH(QSize, size);
    QFETCH(Widths, widths);
    GridHarness h(size.width(), size.height());
    if (rows == -2) {
        h.open(5);
        h.set.close();
    }
    h.open(rows);
    QCOMPARE(columnWidths(*h.grid), widths);
    QVERIFY(!h.grid->vertScrollBar().isShown());
    const QImage image = h.grid->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const DescribedLook look = describedLook(size, widths, rows >= 0, rows > 0);
    QCOMPARE(image.size(), look.image.size());
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const auto text = std::find_if(look.textAreas.begin(), look.textAreas.end(),
                                           [&](const auto& a) { return a.first.contains(x, y); });
            const bool ok = text != look.textAreas.end() ? textOn(pixel, text->second)
                                                         : pixel == look.image.pixel(x, y);
            if (!ok)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3, described %4")
                                     .arg(x).arg(y).arg(QColor(pixel).name(), QColor(look.image.pixel(x, y)).name())));
        }
    }
}

void TestDataGrid::linesAndFixedCells_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("closed") << -1;
    QTest::newRow("open, no rows") << 0;
    QTest::newRow("open, many rows") << 10;
}

void TestDataGrid::linesAndFixedCells()
{
    QFETCH(int, rows);
    GridHarness h;
    h.open(rows);
    TDataGrid& grid = *h.grid;
    const QImage image = grid.grab().toImage();
    const QString light = TestColours::light().name();
    const QString face = TestColours::button().name();
    const QString gray = TestColours::gray().name();
    const QString silver = TestColours::silver().name();
    const QString window = TestColours::base().name();

    for (int c = 0; c < grid.colCount(); ++c) {
        const QRect t = grid.cellRect(c, 0);
        const int midX = t.left() + t.width() / 2;
        const int midY = t.top() + t.height() / 2;
        // Title: face with a light top-left rim; right and bottom edges in the face colour.
        QCOMPARE(colourAt(image, {midX, t.top()}), light);
        QCOMPARE(colourAt(image, {t.left(), midY}), light);
        QCOMPARE(colourAt(image, {t.right(), midY}), face);
        QCOMPARE(colourAt(image, {midX, t.bottom()}), face);
        QCOMPARE(colourAt(image, {t.right() + 1, midY}), gray);
        QCOMPARE(colourAt(image, {midX, t.bottom() + 1}), gray);
        for (int r = 1; r < grid.rowCount(); ++r) {
            const QRect d = grid.cellRect(c, r);
            const QString line = c == 0 ? gray : silver;
            QCOMPARE(colourAt(image, {d.right() + 1, d.top() + d.height() / 2}), line);
            QCOMPARE(colourAt(image, {d.left() + d.width() / 2, d.bottom() + 1}), line);
            QCOMPARE(colourAt(image, {d.right() - 1, d.top() + d.height() / 2}), c == 0 ? face : window);
            if (c == 0)
                QCOMPARE(colourAt(image, {d.left(), d.bottom() - 1}), light);
        }
        // Below the last row: the window colour, crossed by the vertical lines.
        const int bottom = grid.cellArea().bottom();
        QVERIFY(bottom > grid.cellRect(c, grid.rowCount() - 1).bottom() + 1);
        QCOMPARE(colourAt(image, {midX, bottom}), window);
        QCOMPARE(colourAt(image, {t.right() + 1, bottom}), c == 0 ? gray : silver);
    }
    // The sunken frame: shadow top and left, highlight bottom and right.
    const QString shadow = TestColours::dark().name();
    QCOMPARE(colourAt(image, {0, 40}), shadow);
    QCOMPARE(colourAt(image, {40, 0}), shadow);
    QCOMPARE(colourAt(image, {355, 40}), light);
    QCOMPARE(colourAt(image, {40, 80}), light);
    // The caption starts 2 pixels right of the cell: nothing dark before it, some right after.
    const QRect pref = grid.cellRect(1, 0);
    QVERIFY(!hasDarkPixel(image, QRect(pref.left(), pref.top(), 2, pref.height())));
    QVERIFY(hasDarkPixel(image, QRect(pref.left() + 2, pref.top() + 1, 3, pref.height() - 2)));
}

void TestDataGrid::currentRowGlyph_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("arrowRow");  // -1: none
    QTest::newRow("closed: no glyph") << -1 << -1;
    QTest::newRow("open, no rows: arrow on the blank row") << 0 << 1;
    QTest::newRow("open, rows: arrow on the first") << 5 << 1;
}

void TestDataGrid::currentRowGlyph()
{
    QFETCH(int, rows);
    QFETCH(int, arrowRow);
    GridHarness h;
    h.open(rows);
    const QImage image = h.grid->grab().toImage();
    for (int row = 1; row < h.grid->rowCount(); ++row) {
        // Indicator cell at x 1, y 19 + 16 per row: the glyph 3 right of and 2 below its corner.
        const QPoint corner(1 + 3, 19 + 16 * (row - 1) + 2);
        if (row == arrowRow)
            QVERIFY2(arrowAt(image, corner), qPrintable(QStringLiteral("no arrow on row %1").arg(row)));
        else
            QVERIFY2(blankIndicator(image, corner), qPrintable(QStringLiteral("glyph on row %1").arg(row)));
    }
}

void TestDataGrid::longValueCutAtCellEdge()
{
    GridHarness h;
    h.provider.rows = {{"RC", "1", "WWWWWWWWWWWWWWWWWWWW"}};
    h.set.open();
    const QImage image = h.grid->grab().toImage();
    const QRect cell = h.grid->cellRect(3, 1);
    QCOMPARE(cell, QRect(190, 19, 164, 15));
    // The W's run to the last pixels of the cell at their full height, where an
    // ellipsis would leave only dots on the baseline.
    QVERIFY(hasDarkPixel(image, QRect(cell.right() - 4, cell.top() + 3, 5, 4)));
    // Cut at the edge: the line after the cell and the frame stay as they are.
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        QCOMPARE(colourAt(image, {cell.right() + 1, y}), TestColours::silver().name());
        QCOMPARE(colourAt(image, {cell.right() + 2, y}), TestColours::light().name());
    }
    // Not wrapped: the row below the cell is its line, then the window colour.
    QVERIFY(!hasDarkPixel(image, QRect(cell.left(), cell.bottom() + 1, cell.width(), 79 - cell.bottom())));
}

void TestDataGrid::alignmentAndUnboundColumn()
{
    GridHarness h(356, 81, {{"ID", 60}, {"PREF", 35}, {"CAJA", 40}}, false);
    h.provider.rows = {{"RC", "100000", "SIN TERCERO"}};
    h.set.open();
    const QImage image = h.grid->grab().toImage();

    // Numbers end 3 pixels left of the cell's right edge.
    const QRect id = h.grid->cellRect(1, 1);
    QCOMPARE(h.grid->cellText(1, 1), QStringLiteral("1"));
    QVERIFY(hasDarkPixel(image, QRect(id.right() - 5, id.top(), 3, id.height())));
    QVERIFY(!hasDarkPixel(image, QRect(id.right() - 2, id.top(), 3, id.height())));
    QVERIFY(!hasDarkPixel(image, QRect(id.left(), id.top(), id.width() - 12, id.height())));
    // Text starts 2 pixels right of the left edge.
    const QRect pref = h.grid->cellRect(2, 1);
    QVERIFY(!hasDarkPixel(image, QRect(pref.left(), pref.top(), 2, pref.height())));
    QVERIFY(hasDarkPixel(image, QRect(pref.left() + 2, pref.top(), 3, pref.height())));
    // A column whose field the set lacks: its name as title, blank cells, nothing raised.
    QCOMPARE(h.grid->cellText(3, 0), QStringLiteral("CAJA"));
    QCOMPARE(h.grid->cellText(3, 1), QString());
    QVERIFY(!hasDarkPixel(image, h.grid->cellRect(3, 1)));
}

void TestDataGrid::disabledLooksEnabled_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("closed") << -1;
    QTest::newRow("open, no rows") << 0;
    QTest::newRow("open, rows and scroll bar") << 10;
}

void TestDataGrid::disabledLooksEnabled()
{
    QFETCH(int, rows);
    GridHarness h;
    h.open(rows);
    QVERIFY(!h.grid->isEnabled());
    const QImage disabled = h.grid->grab().toImage().convertToFormat(QImage::Format_RGB32);
    h.grid->setEnabled(true);
    h.grid->clearFocus();
    const QImage enabled = h.grid->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(disabled == enabled);
    // None of the disabled group's colours appears.
    const QPalette palette = TestColours::palette();
    for (QPalette::ColorRole role : {QPalette::Button, QPalette::Base, QPalette::Text, QPalette::Light, QPalette::Dark}) {
        const QRgb greyed = palette.color(QPalette::Disabled, role).rgb();
        for (int y = 0; y < disabled.height(); ++y)
            for (int x = 0; x < disabled.width(); ++x)
                QVERIFY2(disabled.pixel(x, y) != greyed, qPrintable(QStringLiteral("greyed pixel at %1,%2").arg(x).arg(y)));
    }
}

void TestDataGrid::disabledIgnoresInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("click on the third row") << "click row";
    QTest::newRow("click on the scroll bar below the slider") << "click bar";
    QTest::newRow("wheel turned down") << "wheel";
    QTest::newRow("key Down") << "Down";
    QTest::newRow("key Page Down") << "PageDown";
    QTest::newRow("key End") << "End";
}

void TestDataGrid::disabledIgnoresInput()
{
    QFETCH(QString, input);
    GridHarness h;
    h.open(10);
    QVERIFY(QTest::qWaitForWindowExposed(&h.panel));
    TDataGrid& grid = *h.grid;
    EventRecorder delivered;
    grid.installEventFilter(&delivered);

    QEvent::Type expected = QEvent::KeyPress;
    const QImage before = grid.grab().toImage();
    if (input == "click row") {
        expected = QEvent::MouseButtonPress;
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(2, 3).center());
    } else if (input == "click bar") {
        expected = QEvent::MouseButtonPress;
        const QRect bar = grid.scrollBarArea();
        QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(bar.center().x(), bar.bottom() - 20));
    } else if (input == "wheel") {
        expected = QEvent::Wheel;
        const QPointF at = grid.cellRect(2, 2).center();
        QWheelEvent wheel(at, grid.mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&grid, &wheel);
    } else {
        QTest::keyClick(&grid, input == "Down" ? Qt::Key_Down : input == "PageDown" ? Qt::Key_PageDown : Qt::Key_End);
    }
    QCoreApplication::processEvents();

    // The input was aimed at the grid and came to it, and changed nothing.
    QVERIFY(std::find(delivered.types.begin(), delivered.types.end(), expected) != delivered.types.end());
    QCOMPARE(h.set.recNo(), std::size_t{1});
    QCOMPARE(grid.indicatorRow(), 1);
    QCOMPARE(grid.vertScrollBar().position, 1);
    QVERIFY(!grid.hasFocus());
    QVERIFY(grid.grab().toImage() == before);
}

void TestDataGrid::keysReachWindow_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("F2 runs the posting") << int(Qt::Key_F2);
    QTest::newRow("Esc closes the window") << int(Qt::Key_Escape);
}

void TestDataGrid::keysReachWindow()
{
    QFETCH(int, key);
    GridHarness h;
    h.open(10);
    KeyPreview preview;
    qApp->installEventFilter(&preview);
    QTest::keyClick(h.grid, static_cast<Qt::Key>(key));
    qApp->removeEventFilter(&preview);
    QVERIFY(std::find(preview.keys.begin(), preview.keys.end(), key) != preview.keys.end());
    QCOMPARE(h.panel.keys, std::vector<int>{key});
    QCOMPARE(h.set.recNo(), std::size_t{1});
}

void TestDataGrid::guards_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("message");
    // The texts as the user reads them.
    const QString outOfRange = QStringLiteral("Grid index out of range");
    const QString fixedCols = QStringLiteral("Fixed column count must be less than column count");
    const QString fixedRows = QStringLiteral("Fixed row count must be less than row count");
    const QString cellType = QStringLiteral("Algorithm error in TCustomDataGrid.GetCellType");
    QTest::newRow("fixed columns as many as columns") << 0 << fixedCols;
    QTest::newRow("fixed rows as many as rows") << 1 << fixedRows;
    QTest::newRow("width of a column past the last") << 2 << outOfRange;
    QTest::newRow("cell below the last row") << 3 << outOfRange;
    QTest::newRow("column of the collection past the last") << 4 << outOfRange;
    QTest::newRow("kind of a cell below the grid") << 5 << cellType;
    QTest::newRow("kind of a cell right of the grid") << 6 << cellType;
    QTest::newRow("kind of a cell left of the grid") << 7 << cellType;
}

void TestDataGrid::guards()
{
    QFETCH(int, operation);
    QFETCH(QString, message);
    GridHarness h;
    h.open(2);
    TDataGrid& g = *h.grid;
    const std::vector<std::function<void()>> operations = {
        [&] { g.setFixedCols(g.colCount()); },
        [&] { g.setFixedRows(g.rowCount()); },
        [&] { (void)g.colWidths(g.colCount()); },
        [&] { (void)g.cellRect(1, g.rowCount()); },
        [&] { (void)g.columns()[3]; },
        [&] { (void)g.cellType(1, g.rowCount()); },
        [&] { (void)g.cellType(g.colCount(), 1); },
        [&] { (void)g.cellType(-1, 0); },
    };
    const QImage before = g.grab().toImage();
    try {
        operations[static_cast<std::size_t>(operation)]();
        QFAIL("no error raised");
    } catch (const ProgramError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), message);
    }
    // Refused: the grid keeps its shape and look.
    QCOMPARE(g.fixedCols(), 1);
    QCOMPARE(g.fixedRows(), 1);
    QVERIFY(g.grab().toImage() == before);
}

void TestDataGrid::cellTypes_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("type");
    QTest::newRow("indicator title corner") << 0 << 0 << int(GridCellType::Indicator);
    QTest::newRow("indicator of a data row") << 0 << 2 << int(GridCellType::Indicator);
    QTest::newRow("first title") << 1 << 0 << int(GridCellType::Title);
    QTest::newRow("last title") << 3 << 0 << int(GridCellType::Title);
    QTest::newRow("data cell") << 2 << 1 << int(GridCellType::Data);
    QTest::newRow("last data cell") << 3 << 2 << int(GridCellType::Data);
}

void TestDataGrid::cellTypes()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(int, type);
    GridHarness h;
    h.open(2);
    QCOMPARE(int(h.grid->cellType(col, row)), type);
}

// What a screen reader reads of the grid, in the states of the set and at
// other sizes: the rows the grid shows (no more), three columns under their
// titles, the cells in order after the header, each where it is painted.
void TestDataGrid::accessibleTable_data()
{
    QTest::addColumn<int>("rows");  // -1: closed; -2: opened with five rows, then closed
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QStringList>>("cells");
    const QList<QStringList> blank{{"", "", ""}};
    const QStringList first{"RC", "100000", "SIN TERCERO"};
    const QStringList second{"RC", "100001", "CONTABILIZADO"};
    const QStringList third{"RC", "100002", "SIN TERCERO"};
    const QStringList fourth{"RC", "100003", "CONTABILIZADO"};
    QTest::newRow("closed") << -1 << QSize(356, 81) << blank;
    QTest::newRow("open, no rows") << 0 << QSize(356, 81) << blank;
    QTest::newRow("open, one row") << 1 << QSize(356, 81) << QList<QStringList>{first};
    QTest::newRow("open, four rows: the three that fit") << 4 << QSize(356, 81)
                                                          << QList<QStringList>{first, second, third};
    QTest::newRow("taller, five rows: the four that fit") << 5 << QSize(356, 84)
                                                           << QList<QStringList>{first, second, third, fourth};
    QTest::newRow("opened with rows, then closed") << -2 << QSize(356, 81) << blank;
}

void TestDataGrid::accessibleTable()
{
    QFETCH(int, rows);
    QFETCH(QSize, size);
    QFETCH(QList<QStringList>, cells);
    GridHarness h(size.width(), size.height());
    h.open(rows == -2 ? 5 : rows);
    if (rows == -2)
        h.set.close();
    TDataGrid& grid = *h.grid;

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    QVERIFY(table);
    QCOMPARE(table->role(), QAccessible::Table);
    // Disabled and out of the keyboard's reach, as the grid is.
    QVERIFY(table->state().disabled);
    QVERIFY(!table->state().focusable);
    QAccessibleTableInterface* t = table->tableInterface();
    QVERIFY(t);
    QCOMPARE(t->columnCount(), 3);
    QCOMPARE(t->rowCount(), int(cells.size()));
    QCOMPARE(table->childCount(), 3 * (1 + int(cells.size())));
    const QStringList titles{"PREF", "NUMERO", "ESTADO"};
    for (int c = 0; c < 3; ++c) {
        QAccessibleInterface* header = table->child(c);
        QCOMPARE(header->role(), QAccessible::ColumnHeader);
        QCOMPARE(header->text(QAccessible::Name), titles[c]);
        QCOMPARE(t->columnDescription(c), titles[c]);
        QCOMPARE(t->cellAt(0, c)->tableCellInterface()->columnHeaderCells(), QList<QAccessibleInterface*>{header});
        QCOMPARE(table->indexOfChild(header), c);
    }
    for (int r = 0; r < cells.size(); ++r) {
        for (int c = 0; c < 3; ++c) {
            QAccessibleInterface* cell = t->cellAt(r, c);
            QVERIFY(cell);
            QCOMPARE(cell->role(), QAccessible::Cell);
            QCOMPARE(cell->text(QAccessible::Name), cells[r][c]);
            QCOMPARE(cell->tableCellInterface()->rowIndex(), r);
            QCOMPARE(cell->tableCellInterface()->columnIndex(), c);
            QCOMPARE(cell->parent(), table);
            const int index = 3 * (1 + r) + c;
            QCOMPARE(table->child(index), cell);
            QCOMPARE(table->indexOfChild(cell), index);
            // Where the grid paints it, without its lines.
            const QRect painted = grid.cellRect(c + 1, r + 1);
            QCOMPARE(cell->rect(), QRect(grid.mapToGlobal(painted.topLeft()), painted.size()));
            QCOMPARE(table->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);
        }
    }
    QCOMPARE(t->cellAt(int(cells.size()), 0), nullptr);
    QCOMPARE(t->cellAt(0, 3), nullptr);
    // The indicator column is no column of the table: nothing answers there.
    const QRect indicator = grid.cellRect(0, 1);
    const QPoint inIndicator = grid.mapToGlobal(indicator.center());
    QCOMPARE(table->childAt(inIndicator.x(), inIndicator.y()), nullptr);
}

// A value longer than its column is cut where the cell ends; a screen reader
// reads it whole.
void TestDataGrid::accessibleCellReadWhole()
{
    GridHarness h(120, 81);
    h.provider.rows = {{"RC", "1", "WWWWWWWWWWWWWWWWWWWW"}};
    h.set.open();
    QVERIFY(QFontMetrics(windowTestFont()).horizontalAdvance(QStringLiteral("WWWWWWWWWWWWWWWWWWWW")) >
            h.grid->cellRect(3, 1).width());
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(h.grid);
    QCOMPARE(table->tableInterface()->cellAt(0, 2)->text(QAccessible::Name),
             QStringLiteral("WWWWWWWWWWWWWWWWWWWW"));
}

QTEST_MAIN(TestDataGrid)
#include "tst_data_grid.moc"
