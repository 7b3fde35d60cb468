// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/preview/PreviewFrames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/graphics/Arith.h"
#include "platform/graphics/BitmapDraw.h"
#include "transition/FrameComposer.h"
#include "transition/styles/StyleTable.h"

namespace kalvio::preview {

namespace {

// Stretches the whole of `src` to w x h (a copy when the size already matches).
Bitmap Scaled(const Bitmap& src, int32_t w, int32_t h)
{
    if (src.width() == w && src.height() == h)
        return src;
    Bitmap out(w, h);
    StretchCopy(out, out.rect(), src, src.rect());
    return out;
}

// Rows of a 5 x 7 font, bit 4 leftmost.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    { '0', { 0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e } },
    { '1', { 0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e } },
    { '2', { 0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f } },
    { '3', { 0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e } },
    { '4', { 0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02 } },
    { '5', { 0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e } },
    { '6', { 0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e } },
    { '7', { 0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08 } },
    { '8', { 0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e } },
    { '9', { 0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c } },
    { '%', { 0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03 } },
    { ':', { 0x00, 0x0c, 0x0c, 0x00, 0x0c, 0x0c, 0x00 } },
    { ' ', { 0, 0, 0, 0, 0, 0, 0 } },
};

}

Bitmap ComposeFrame(const Bitmap& oldPicture, const Bitmap& newPicture, int style, int progress, int step)
{
    const Bitmap old = Scaled(oldPicture, newPicture.width(), newPicture.height());
    Bitmap frame(newPicture.width(), newPicture.height());
    RenderFrame({ old, newPicture, frame, style, uint8_t(progress), uint16_t(step), nullptr });
    return frame;
}

void DrawLabel(Bitmap& dst, int32_t x, int32_t y, const char* text, Pixel colour, int32_t scale)
{
    for (; *text; ++text, x += 6 * scale) {
        const Glyph* g = std::find_if(std::begin(kGlyphs), std::end(kGlyphs), [&](const Glyph& k) { return k.c == *text; });
        if (g == std::end(kGlyphs))
            continue;
        for (int32_t row = 0; row < 7; ++row)
            for (int32_t col = 0; col < 5; ++col)
                if (g->rows[row] & (0x10 >> col))
                    FillRect(dst, { x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale }, colour);
    }
}

Bitmap ComposeSheet(const Bitmap& oldPicture, const Bitmap& newPicture, int step, int32_t thumbWidth)
{
    // Thumbnails keep the new picture's aspect ratio; small pictures stay as they are.
    const int32_t tw = std::min(thumbWidth, newPicture.width());
    const int32_t th = std::max(1, MulDiv(newPicture.height(), tw, newPicture.width()));
    const Bitmap newThumb = Scaled(newPicture, tw, th);
    const Bitmap oldThumb = Scaled(oldPicture, tw, th);

    constexpr int progresses[] = { 25, 50, 75 };
    constexpr int32_t gap = 6, label = 18, stylesPerRow = 4;
    const int32_t cellW = 3 * tw + 2 * gap, cellH = label + th;
    const int32_t rows = (kLastStyle + 1 + stylesPerRow - 1) / stylesPerRow;
    const Pixel paper = RGB(32, 32, 32), ink = RGB(240, 240, 240);
    Bitmap sheet(gap + stylesPerRow * (cellW + 3 * gap), gap + rows * (cellH + 2 * gap), paper);

    Bitmap frame(tw, th);
    for (int style = 0; style <= kLastStyle; ++style) {
        const int32_t x0 = gap + (style % stylesPerRow) * (cellW + 3 * gap);
        const int32_t y0 = gap + (style / stylesPerRow) * (cellH + 2 * gap);
        for (int i = 0; i < 3; ++i) {
            RenderFrame({ oldThumb, newThumb, frame, style, uint8_t(progresses[i]), uint16_t(step), nullptr });
            const int32_t x = x0 + i * (tw + gap);
            char text[16];
            std::snprintf(text, sizeof text, "%d: %d%%", style, progresses[i]);
            DrawLabel(sheet, x, y0 + 1, text, ink);
            Draw(sheet, x, y0 + label, frame);
        }
    }
    return sheet;
}

}
