// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace kalvio {

// A picture that cannot be loaded: missing or unreadable file, wrong type,
// damaged header or data, or a size the machine cannot hold. The text names
// the file and the cause.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The error of a picture `name` that cannot be loaded because of `cause`.
inline PictureError PictureLoadError(const std::string& name, const std::string& cause)
{
    return PictureError("Cannot load picture \"" + name + "\": " + cause);
}

// A decode that was asked to stop before it ended: not a fault of the file.
class PictureCancelled : public std::runtime_error {
public:
    PictureCancelled() : std::runtime_error("decoding cancelled") { }
};

}
