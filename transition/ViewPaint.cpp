// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/ViewPaint.h"

#include "platform/graphics/BitmapDraw.h"

namespace kalvio {

void TileDraw(Bitmap& surface, const Rect& r, const Bitmap* graphic)
{
    if (!graphic || graphic->isEmpty())
        return;
    const int32_t gw = graphic->width(), gh = graphic->height();
    const int32_t rows = r.height() / gh + 1;
    const int32_t columns = r.width() / gw + 1;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < columns; ++x)
            Draw(surface, r.left + x * gw, r.top + y * gh, *graphic);
}

void PaintClientArea(Bitmap& buffer, const ClientPaint& p)
{
    const Rect client = p.placement.client;
    if (buffer.width() != client.width() || buffer.height() != client.height())
        buffer = Bitmap(client.width(), client.height());
    if (buffer.isEmpty())
        return;

    const bool hasFrame = p.frame && !p.frame->isEmpty();
    const Rect target = hasFrame ? FrameTarget(p.placement) : Rect {};
    // A frame over the whole client area hides colour and background.
    const bool covered = hasFrame && target.intersected(client) == client;
    if (!covered) {
        FillRect(buffer, client, p.color);
        const Bitmap* bg = p.background;
        if (bg && !bg->isEmpty()) {
            switch (p.bgMode) {
            case bmTiled:
                TileDraw(buffer, client, bg);
                break;
            case bmStretched:
                StretchCopy(buffer, client, *bg, bg->rect());
                break;
            case bmCentered:
                Draw(buffer, (client.width() - bg->width()) / 2, (client.height() - bg->height()) / 2, *bg);
                break;
            case bmNone:
                break;
            }
        }
    }
    if (!hasFrame)
        return;
    // A frame stretched to its own size is copied, not resampled.
    const bool unscaled = target.width() == p.frame->width() && target.height() == p.frame->height();
    if (!p.placement.stretch || unscaled)
        Draw(buffer, target.left, target.top, *p.frame);
    else if (!target.isEmpty())
        StretchCopy(buffer, target, *p.frame, p.frame->rect());
}

}
