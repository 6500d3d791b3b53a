#pragma once
#include <QFont>
#include <QStringList>

// The window's fonts: the designed faces first, then what stands in for them.
//
// "MS Sans Serif" 8 point has a character height of 11 pixels and a line of
// 13, which the window's places and the grid's rows are measured for. On
// Windows (and under Wine) it is a bitmap font, and the toolkit cannot give
// its 8-point size: it takes a bitmap face's sizes by their whole line (13)
// and then asks the system for that as a character height, which yields the
// 10-point face with a 16-pixel line. Only outline faces are taken, then:
// "Microsoft Sans Serif", the outline twin Windows has shipped since 2000,
// stands in on Windows, and Liberation Sans elsewhere; both measure the same
// 13-pixel line at 11 pixels (whole-pixel ascent plus descent).
// "Arial Narrow" comes with Office on Windows; Liberation Sans Narrow has its
// metrics.
inline QFont designedFont(const QStringList& families, int pixels)
{
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(QFont::SansSerif, QFont::ForceOutline);
    f.setPixelSize(pixels);
    return f;
}

// Elsewhere only the face that stands in is asked for: a family that is not
// installed costs a font match and a fallback list at every start, and
// draws nothing different.
inline QStringList windowFamilies()
{
#ifdef _WIN32
    return {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Liberation Sans")};
#else
    return {QStringLiteral("Liberation Sans")};
#endif
}

inline QFont windowFont()
{
    return designedFont(windowFamilies(), 11);
}

// "MS Sans Serif" 10 point: character height 13 pixels.
inline QFont statusFont()
{
    return designedFont(windowFamilies(), 13);
}

// "Arial Narrow" 8 point: character height 11 pixels.
inline QFont narrowFont()
{
#ifdef _WIN32
    return designedFont({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow")}, 11);
#else
    return designedFont({QStringLiteral("Liberation Sans Narrow")}, 11);
#endif
}
