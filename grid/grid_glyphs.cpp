#include "grid/grid_glyphs.h"

#include <QColor>

#include <array>

// Resources of a static library are registered by hand, outside any namespace.
static void initGlyphResources()
{
    Q_INIT_RESOURCE(grid_glyphs);
}

namespace {

// A bitmap resource with the pixels of its transparent colour made transparent.
QImage loadGlyph(const char* resource, QColor transparent, QColor background = QColor())
{
    QImage image(QStringLiteral(":/grid/") + QLatin1String(resource), "XPM");
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent.rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) | 0xff000000u) == key)
                image.setPixel(x, y, background.isValid() ? background.rgb() : qRgba(0, 0, 0, 0));
        }
    }
    return image;
}

std::array<QImage, 7> buildGlyphs()
{
    initGlyphResources();
    const QColor white(255, 255, 255);
    const QColor teal(0, 128, 128);
    const QColor searchYellow(255, 255, 0);
    return {
        loadGlyph("GRIDARROW", white),
        loadGlyph("GRIDEDIT", white),
        loadGlyph("GRIDINSERT", white),
        loadGlyph("GRIDMULTIDOT", white),
        loadGlyph("GRIDMULTIARROW", white),
        loadGlyph("GRIDARROWW", teal),
        loadGlyph("GRIDARROWW", teal, searchYellow),
    };
}

}  // namespace

const QImage& gridGlyph(GridGlyph glyph)
{
    static const std::array<QImage, 7> glyphs = buildGlyphs();
    return glyphs[static_cast<std::size_t>(glyph)];
}
