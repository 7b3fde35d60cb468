// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/PictureHolder.h"

#include <utility>

#include "platform/picture/JpegLoader.h"

namespace kalvio {

void PictureHolder::Assign(const PictureHolder& other)
{
    Assign(other.m_graphic);
}

void PictureHolder::Assign(std::shared_ptr<const Bitmap> graphic)
{
    if (graphic && graphic->isEmpty())
        graphic.reset();
    m_graphic = std::move(graphic);
    Changed();
}

void PictureHolder::Assign(Bitmap graphic)
{
    Assign(std::make_shared<const Bitmap>(std::move(graphic)));
}

void PictureHolder::LoadFromFile(const std::string& path)
{
    // Decode first: a failure leaves the current picture in place.
    Assign(LoadPictureFile(path));
}

void PictureHolder::Clear()
{
    m_graphic.reset();
    Changed();
}

void PictureHolder::Changed()
{
    if (OnChange)
        OnChange();
}

}
