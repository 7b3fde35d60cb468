// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/FlipStretchCopy.h"

#include "platform/graphics/BitmapDraw.h"

namespace kalvio {

Rect MirroredTarget(const Rect& d, Mirror mirror)
{
    Rect target = d;
    if (mirror == Mirror::LeftRight) {
        target.left = d.right + 1;
        target.right = d.left - 1;
    } else if (mirror == Mirror::TopBottom) {
        target.top = d.bottom + 1;
        target.bottom = d.top - 1;
    }
    return target;
}

void FlipStretchCopy(Bitmap& dst, const Rect& d, const Bitmap& src, const Rect& s, Mirror mirror)
{
    Rect source = s.intersected(src.rect());
    Rect target = MirroredTarget(d, mirror);
    StretchCopy(dst, target.left, target.top, target.width(), target.height(),
                src, source.left, source.top, source.width(), source.height());
}

}
