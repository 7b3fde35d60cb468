#include "platform/BitmapDraw.h"

#include <algorithm>
#include <cstring>

#include "platform/Region.h"

namespace kalvio {

void Draw(Bitmap& dst, int32_t x, int32_t y, const Bitmap& src)
{
    Rect target = Rect { x, y, x + src.width(), y + src.height() }.intersected(dst.rect());
    if (target.isEmpty())
        return;
    for (int32_t ty = target.top; ty < target.bottom; ++ty)
        std::memcpy(dst.row(ty) + target.left, src.row(ty - y) + (target.left - x), size_t(target.width()) * sizeof(Pixel));
}

void FillRect(Bitmap& dst, const Rect& r, Pixel colour)
{
    Rect target = r.intersected(dst.rect());
    for (int32_t y = target.top; y < target.bottom; ++y)
        std::fill_n(dst.row(y) + target.left, target.width(), colour);
}

void StretchCopy(Bitmap& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                 const Bitmap& src, int32_t sx, int32_t sy, int32_t sw, int32_t sh)
{
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0 || src.isEmpty() || dst.isEmpty())
        return;
    // Normalise mirrored destinations: column x of the covered range maps to offset i.
    bool mirrorX = dw < 0, mirrorY = dh < 0;
    int64_t aw = mirrorX ? -int64_t(dw) : dw, ah = mirrorY ? -int64_t(dh) : dh;
    int64_t x0 = mirrorX ? int64_t(dx) + dw : dx, y0 = mirrorY ? int64_t(dy) + dh : dy;
    int64_t cx0 = std::max<int64_t>(x0, 0), cx1 = std::min<int64_t>(x0 + aw, dst.width());
    int64_t cy0 = std::max<int64_t>(y0, 0), cy1 = std::min<int64_t>(y0 + ah, dst.height());
    auto sourceIndex = [](int64_t i, int64_t s0, int64_t sLen, int64_t dLen, int64_t limit) {
        int64_t v = s0 + i * sLen / dLen;
        return int32_t(std::clamp<int64_t>(v, 0, limit - 1));
    };
    for (int64_t y = cy0; y < cy1; ++y) {
        int64_t j = mirrorY ? (y0 + ah - 1 - y) : (y - y0);
        const Pixel* s = src.row(sourceIndex(j, sy, sh, ah, src.height()));
        Pixel* d = dst.row(int32_t(y));
        for (int64_t x = cx0; x < cx1; ++x) {
            int64_t i = mirrorX ? (x0 + aw - 1 - x) : (x - x0);
            d[x] = s[sourceIndex(i, sx, sw, aw, src.width())];
        }
    }
}

void DrawThroughRegion(Bitmap& dst, const Bitmap& src, const Region& clip)
{
    Rect limit = dst.rect().intersected(src.rect());
    for (size_t b = 0; b < clip.bandCount(); ++b) {
        Region::Band band = clip.band(b);
        int32_t top = std::max(band.top, limit.top), bottom = std::min(band.bottom, limit.bottom);
        for (int32_t y = top; y < bottom; ++y) {
            for (const Region::Span& span : band.spans) {
                int32_t l = std::max(span.left, limit.left), r = std::min(span.right, limit.right);
                if (l < r)
                    std::memcpy(dst.row(y) + l, src.row(y) + l, size_t(r - l) * sizeof(Pixel));
            }
        }
    }
}

}
