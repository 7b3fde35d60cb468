// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/graphics/Bitmap.h"

namespace kalvio {

// Holds one decoded picture or nothing, and reports every change. The pixels
// are shared and never modified, so copying a holder (or handing the picture to
// a transition) costs no pixel copy.
class PictureHolder {
public:
    PictureHolder() = default;
    // Copies the other holder's picture, not its notification.
    PictureHolder(const PictureHolder& other) : m_graphic(other.m_graphic) { }
    PictureHolder& operator=(const PictureHolder& other)
    {
        Assign(other);
        return *this;
    }

    bool HasGraphic() const { return m_graphic != nullptr; }
    int32_t Width() const { return m_graphic ? m_graphic->width() : 0; }
    int32_t Height() const { return m_graphic ? m_graphic->height() : 0; }
    // The picture, or nullptr.
    const Bitmap* Graphic() const { return m_graphic.get(); }
    const std::shared_ptr<const Bitmap>& Shared() const { return m_graphic; }

    // Replace the picture (an empty bitmap clears it); each notifies.
    void Assign(const PictureHolder& other);
    void Assign(std::shared_ptr<const Bitmap> graphic);
    void Assign(Bitmap graphic);
    void Clear();
    // Decodes a JPEG picture file (".jpg"/".jpeg"). On failure the exception of
    // the loader propagates and the holder keeps its picture, unnotified.
    void LoadFromFile(const std::string& path);

    // Called after every replacement, load or clear.
    std::function<void()> OnChange;

private:
    void Changed();
    std::shared_ptr<const Bitmap> m_graphic;
};

}
