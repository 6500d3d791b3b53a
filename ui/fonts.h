#pragma once
#include <QFont>

// Stand-ins for the window's fonts. "MS Sans Serif" 8 point has a character
// height of 11 pixels and a line of 13; Liberation Sans at 11 pixels measures
// the same 13-pixel line (whole-pixel ascent plus descent), so the rows of the
// grid come out as designed.
inline QFont windowFont()
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

// "MS Sans Serif" 10 point: character height 13 pixels.
inline QFont statusFont()
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(13);
    return f;
}

// "Arial Narrow" 8 point: character height 11 pixels.
inline QFont narrowFont()
{
    QFont f(QStringLiteral("Liberation Sans Narrow"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}
