// Whether a face draws every glyph of a text whole through Windows' GDI:
// for each character, the black box that GetGlyphOutline(GGO_METRICS)
// reports and the pixels ExtTextOutW really inks when it draws the glyph at a
// known pen position. Windows documents the black box as the smallest
// rectangle that encloses the glyph, and the toolkit's GDI font engine crops
// each glyph it caches to it: ink outside the box is ink lost on screen.
//
//   blackbox_probe.exe FACE PIXELS [TEXT]
//
// One line per glyph whose ink leaves its box, then a summary line; exit
// code 0 when none does, 1 otherwise. TEXT defaults to printable Latin-1.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: blackbox_probe FACE PIXELS [TEXT]\n");
        return 2;
    }
    const wchar_t* face = argv[1];
    const int pixels = _wtoi(argv[2]);
    std::wstring text;
    if (argc > 3) {
        text = argv[3];
    } else {
        for (wchar_t c = 0x21; c < 0x7f; ++c)
            text += c;
        for (wchar_t c = 0xa1; c <= 0xff; ++c)
            text += c;
    }
    constexpr int kSide = 64, kPenX = 20, kPenY = 40;
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSide;
    info.bmiHeader.biHeight = -kSide;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !bitmap)
        return 2;
    SelectObject(dc, bitmap);
    HFONT font = CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, face);
    SelectObject(dc, font);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    wchar_t chosen[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, chosen);

    int outside = 0;
    for (const wchar_t c : text) {
        WORD glyph = 0;
        if (GetGlyphIndicesW(dc, &c, 1, &glyph, 0) == GDI_ERROR)
            continue;
        GLYPHMETRICS metrics{};
        const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        GetGlyphOutlineW(dc, glyph, GGO_METRICS | GGO_GLYPH_INDEX, &metrics, 0, nullptr, &identity);
        RECT all{0, 0, kSide, kSide};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ExtTextOutW(dc, kPenX, kPenY, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<LPCWSTR>(&glyph), 1, nullptr);
        GdiFlush();
        int left = kSide, right = -1, top = kSide, bottom = -1;
        const auto* pixel = static_cast<const unsigned*>(bits);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                if ((pixel[y * kSide + x] & 0xffffffu) != 0xffffffu) {
                    left = x < left ? x : left;
                    right = x > right ? x : right;
                    top = y < top ? y : top;
                    bottom = y > bottom ? y : bottom;
                }
        const int boxLeft = kPenX + metrics.gmptGlyphOrigin.x;
        const int boxRight = boxLeft + static_cast<int>(metrics.gmBlackBoxX) - 1;
        const int boxTop = kPenY - metrics.gmptGlyphOrigin.y;
        const int boxBottom = boxTop + static_cast<int>(metrics.gmBlackBoxY) - 1;
        if (right >= 0 && (left < boxLeft || right > boxRight || top < boxTop || bottom > boxBottom)) {
            ++outside;
            std::wprintf(L"U+%04X glyph %u: black box x %d..%d y %d..%d, inked x %d..%d y %d..%d\n", unsigned(c), glyph,
                         boxLeft - kPenX, boxRight - kPenX, boxTop - kPenY, boxBottom - kPenY, left - kPenX,
                         right - kPenX, top - kPenY, bottom - kPenY);
        }
    }
    std::wprintf(L"%ls (drawn as %ls) %d px: %d of %zu glyphs ink outside their black box\n", face, chosen, pixels,
                 outside, text.size());
    return outside == 0 ? 0 : 1;
}
