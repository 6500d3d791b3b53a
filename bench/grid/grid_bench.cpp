// Opens a set of 10 rows and one of 1,000,000 rows under the receipt grid and
// measures the opening and the repaint, several times each; prints the medians
// and the ratio between the two sizes. The set reads every row into memory, so
// its fetch grows with the rows; the grid buffers and paints only the rows in
// view, so its part (its reaction to the opening and the repaint) should cost
// the same for both sizes. The first draw after fetching a million rows runs
// with the caches emptied by the fetch, so the steady repaint is shown too.
//
//   grid_bench [--reps N] [--cold]  the measurements; with --cold both sizes
//                                   start as a million-row fetch leaves the
//                                   machine (see measure())
//   grid_bench --png FILE [--rows N] [--scale K]
//                                   the grid at its stored size with N rows, as a PNG

#include "grid/custom_data_grid.h"
#include "posting/dataset.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Generates receipt rows as the posting procedure returns them.
class GeneratedRows {
public:
    std::size_t count = 0;

    void operator()(const std::string& commandText, RowSink& sink)
    {
        (void)commandText;
        sink.begin({{"ID", ColumnKind::Integer, 4, 0},
                    {"PREF", ColumnKind::VarChar, 4, 0},
                    {"NUMERO", ColumnKind::VarChar, 6, 0},
                    {"ESTADO", ColumnKind::VarChar, 20, 0},
                    {"IDI", ColumnKind::Integer, 4, 0},
                    {"IDC", ColumnKind::Integer, 4, 0}});
        static const std::array<const char*, 3> states = {"CONTABILIZADO", "SIN TERCERO", "CONTABILIZADO"};
        std::array<ColumnValue, 6> values{};
        char numero[16];
        for (std::size_t i = 0; i < count; ++i) {
            std::snprintf(numero, sizeof numero, "%06zu", 1200 + i % 999999);
            for (ColumnValue& v : values)
                v.isNull = false;
            values[0].integer = static_cast<std::int64_t>(i) + 1;
            values[1].text = i % 4 == 3 ? "FV" : "RC";
            values[2].text = numero;
            values[3].text = states[i % states.size()];
            values[4].integer = 40 + static_cast<std::int64_t>(i % 7);
            values[5].integer = 900 + static_cast<std::int64_t>(i % 5);
            sink.row(values.data());
        }
    }
};

// Notes when the set announces its opening; one is registered before the
// grid and one after it, so the time between the two is the grid's reaction.
struct OpeningStamp : DataSetObserver {
    const QElapsedTimer* timer = nullptr;
    qint64 at = 0;
    void activeChanged() override { at = timer && timer->isValid() ? timer->nsecsElapsed() : 0; }
};

// The receipt grid in its band, as the window builds it.
struct ReceiptGrid {
    GeneratedRows rows;
    ClientDataSet set;
    DataSource source;
    OpeningStamp beforeGrid;
    OpeningStamp afterGrid;
    QWidget panel;
    TDataGrid* grid = nullptr;

    ReceiptGrid()
    {
        set.declareField("ID", FieldKind::Integer);
        set.declareField("PREF", FieldKind::String, 4);
        set.declareField("NUMERO", FieldKind::String, 6);
        set.declareField("ESTADO", FieldKind::String, 20);
        set.declareField("IDI", FieldKind::Integer);
        set.declareField("IDC", FieldKind::Integer);
        set.setProvider(std::ref(rows));
        set.setCommandText("select * from recibos_sin_contabilidad('2026/05/25', '2026/05/25', '')");
        source.setDataSet(&set);
        set.addObserver(&beforeGrid);

        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(11);
        panel.setFont(font);
        panel.resize(358, 83);
        grid = new TDataGrid(&panel);
        grid->setObjectName(QStringLiteral("DBGrid1"));
        grid->setFlat(true);
        grid->setAutoFitColWidths(true);
        grid->columns().add(QStringLiteral("PREF"), 35);
        grid->columns().add(QStringLiteral("NUMERO"), 74);
        grid->columns().add(QStringLiteral("ESTADO"), 102);
        grid->setDataSource(&source);
        grid->setEnabled(false);
        grid->loaded();
        grid->setGeometry(1, 1, 356, 81);
        set.addObserver(&afterGrid);
        panel.show();
    }

    ~ReceiptGrid()
    {
        set.removeObserver(&beforeGrid);
        set.removeObserver(&afterGrid);
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double msSince(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Medians {
    double open = 0;          // fetch of the set and the grid's reaction
    double reaction = 0;      // the grid's reaction to the opening, inside open
    double repaint = 0;       // first grab of the grid after the opening
    double repaintAgain = 0;  // further grabs once the caches are warm again
    double takeUp = 0;        // the grid taking up an already open set, and its repaint
};

// cold: before every opening, both sizes alike, memory larger than the
// processor's caches is written, as a big fetch writes it (data writes leave
// the first-level instruction cache alone, which the fetch's code does not);
// and the first repaint goes into an image kept from one repetition to the
// next, as a shown window paints into the backing store it keeps, where a new
// pixmap lands on heap pages the fetch left untouched and faults them in.
Medians measure(std::size_t count, int reps, bool cold)
{
    ReceiptGrid r;
    r.rows.count = count;
    std::vector<double> open, reaction, repaint, repaintAgain, takeUp;
    std::vector<char> scratch(cold ? std::size_t{256} << 20 : 0);
    QImage kept = r.grid->grab().toImage();
    for (int i = 0; i < reps; ++i) {
        r.set.close();
        for (std::size_t k = 0; k < scratch.size(); k += 64)
            scratch[k] = static_cast<char>(k + static_cast<std::size_t>(i));
        QElapsedTimer timer;
        r.beforeGrid.timer = r.afterGrid.timer = &timer;
        timer.start();
        r.set.open();
        open.push_back(msSince(timer));
        reaction.push_back(static_cast<double>(r.afterGrid.at - r.beforeGrid.at) / 1e6);
        timer.restart();
        QImage shot;
        if (cold)
            r.grid->render(&kept);
        else
            shot = r.grid->grab().toImage();
        repaint.push_back(msSince(timer));
        if (cold)
            shot = kept;
        QPixmap warm;
        std::vector<double> steady;
        for (int k = 0; k < 21; ++k) {
            timer.restart();
            warm = r.grid->grab();
            steady.push_back(msSince(timer));
        }
        repaintAgain.push_back(median(steady));

        // Without the fetch: let go of the set, then take it up again open and draw it.
        r.grid->setDataSource(nullptr);
        timer.restart();
        r.grid->setDataSource(&r.source);
        const QPixmap again = r.grid->grab();
        takeUp.push_back(msSince(timer));
        // The grid observes the set anew, now after the second stamp: restore the order.
        r.set.removeObserver(&r.afterGrid);
        r.set.addObserver(&r.afterGrid);
        if (shot != again.toImage() || shot != warm.toImage())
            std::fprintf(stderr, "warning: the grid drew differently from one grab to the next\n");
        r.beforeGrid.timer = r.afterGrid.timer = nullptr;
    }
    return {median(open), median(reaction), median(repaint), median(repaintAgain), median(takeUp)};
}

int renderPng(const char* file, std::size_t rows, int scale)
{
    ReceiptGrid r;
    r.rows.count = rows;
    r.set.open();
    QImage image = r.grid->grab().toImage();
    if (scale > 1)
        image = image.scaled(image.size() * scale);  // nearest neighbour keeps the pixels sharp
    if (!image.save(QString::fromLocal8Bit(file))) {
        std::fprintf(stderr, "cannot write %s\n", file);
        return 1;
    }
    std::printf("%s: %d x %d, %zu rows\n", file, image.width(), image.height(), rows);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int reps = 7;
    bool cold = false;
    const char* png = nullptr;
    std::size_t pngRows = 5;
    int scale = 1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--cold"))
            cold = true;
        else if (!std::strcmp(argv[i], "--png") && i + 1 < argc)
            png = argv[++i];
        else if (!std::strcmp(argv[i], "--rows") && i + 1 < argc)
            pngRows = static_cast<std::size_t>(std::max(0, std::atoi(argv[++i])));
        else if (!std::strcmp(argv[i], "--scale") && i + 1 < argc)
            scale = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--reps N] [--cold] | --png FILE [--rows N] [--scale K]\n", argv[0]);
            return 2;
        }
    }
    if (png)
        return renderPng(png, pngRows, scale);

    // One warm-up so that fonts, glyphs and the style are loaded before timing.
    measure(10, 1, cold);
    const Medians s = measure(10, reps, cold);
    const Medians l = measure(1000000, reps, cold);
    std::printf("medians over %d repetitions, milliseconds%s\n", reps,
                cold ? ", caches emptied before each opening, first repaint into a kept image" : "");
    std::printf("%-46s %12s %12s %8s\n", "", "10 rows", "1000000 rows", "ratio");
    const auto line = [](const char* what, double a, double b) {
        std::printf("%-46s %12.4f %12.4f %8.2f\n", what, a, b, a > 0 ? b / a : 0.0);
    };
    line("open: fetch of the set + the grid's reaction", s.open, l.open);
    line("  of which the grid's reaction", s.reaction, l.reaction);
    line("repaint after opening (grab)", s.repaint, l.repaint);
    line("repaint, steady (grab, caches warm again)", s.repaintAgain, l.repaintAgain);
    line("open + repaint", s.open + s.repaint, l.open + l.repaint);
    line("grid's part: reaction + repaint", s.reaction + s.repaint, l.reaction + l.repaint);
    line("grid taking up an open set + repaint", s.takeUp, l.takeUp);
    return 0;
}
