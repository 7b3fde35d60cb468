#pragma once

#include "platform/Rect.h"

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

}
