#pragma once
// The indicator's current-row glyphs: one image list of 6 × 11 bitmaps, built
// once from the resources and shared by all grids.

#include <QImage>

enum class GridGlyph {
    Arrow = 0,          // "GRIDARROW": the current row while the set is browsed
    Edit = 1,           // "GRIDEDIT": the current row while it is edited
    Insert = 2,         // "GRIDINSERT": the current row while a row is inserted
    MultiDot = 3,       // "GRIDMULTIDOT": multi-row selection
    MultiArrow = 4,     // "GRIDMULTIARROW": multi-row selection
    ArrowSelected = 5,  // "GRIDARROWW": the current row, also selected
    ArrowSearch = 6,    // "GRIDARROWW" on the incremental-search yellow
};

inline constexpr int kGridGlyphWidth = 6;
inline constexpr int kGridGlyphHeight = 11;

// The glyph with its transparent colour turned into transparent pixels.
const QImage& gridGlyph(GridGlyph glyph);
