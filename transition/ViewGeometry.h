// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/graphics/Rect.h"

// Where the view's frame sits in its client area, and how frame rectangles map
// to the window. Pure geometry, shared by painting, the transition snapshot and
// the invalidation of changed frame parts.
namespace kalvio {

// The largest rectangle with the aspect ratio of `inner`, centred in `bounds`.
// `inner` must have a non-zero width and height.
Rect FitRect(const Rect& inner, const Rect& bounds);

// The frame's place in the client area: at (0, 0), or centred when `center` is
// on (a frame larger than the client area gets a negative offset).
Rect PictureRectFor(int32_t frameWidth, int32_t frameHeight, int32_t clientWidth, int32_t clientHeight, bool center);

// How the view shows its frame.
struct FramePlacement {
    Rect pictureRect; // the frame's place in client coordinates (PictureRect)
    Rect client;      // (0, 0, client width, client height)
    bool stretch = false;
    bool stretchFine = false;
    bool center = false;
};

// The client rectangle that shows the frame: PictureRect unscaled; with stretch,
// the whole client area, or with stretchFine too, PictureRect fitted into it.
Rect FrameTarget(const FramePlacement&);

// The client rectangle that shows rectangle `r` of the frame (the mapping of
// InvalidateFrameRect). The result may be empty.
Rect MapFrameRect(const Rect& r, const FramePlacement&);

// The view works in device pixels: a window system that scales its windows by
// `ratio` (a scale factor of 1.25, 1.5, 2) shows logical pixel x at device
// pixels ratio * x onwards. A logical rectangle covers the device pixels whose
// edges round from its own, as the window system paints it.
Rect DeviceRect(const Rect& logical, double ratio);

// The smallest logical rectangle whose device pixels include all of `device`:
// what to mark for repainting so that every changed device pixel is painted.
Rect LogicalCover(const Rect& device, double ratio);

}
