#include "transition/ViewPaint.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/BitmapDraw.h"

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

void ScaleDraw(Bitmap& dst, const Rect& d, const Bitmap& src)
{
    const int64_t dw = d.width(), dh = d.height();
    const int64_t sw = src.width(), sh = src.height();
    if (dw <= 0 || dh <= 0 || src.isEmpty() || dst.isEmpty())
        return;
    if (dw == sw && dh == sh) {
        Draw(dst, d.left, d.top, src);
        return;
    }
    const Rect visible = d.intersected(dst.rect());
    if (visible.isEmpty())
        return;
    // Source column of every visible destination column.
    std::vector<int32_t> column(size_t(visible.width()));
    for (int32_t x = visible.left; x < visible.right; ++x)
        column[size_t(x - visible.left)] = int32_t(int64_t(x - d.left) * sw / dw);

    const size_t rowBytes = size_t(visible.width()) * sizeof(Pixel);
    int64_t previous = -1;
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
        const int64_t sy = int64_t(y - d.top) * sh / dh;
        Pixel* out = dst.row(y) + visible.left;
        if (sy == previous) {
            // A repeated source row: copy the row just written.
            std::memcpy(out, dst.row(y - 1) + visible.left, rowBytes);
            continue;
        }
        const Pixel* in = src.row(int32_t(sy));
        for (size_t i = 0; i < column.size(); ++i)
            out[i] = in[column[i]];
        previous = sy;
    }
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
                ScaleDraw(buffer, client, *bg);
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
    if (!p.placement.stretch)
        Draw(buffer, target.left, target.top, *p.frame);
    else if (!target.isEmpty())
        ScaleDraw(buffer, target, *p.frame);
}

}
