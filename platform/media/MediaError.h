// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

namespace kalvio {

// A music track that cannot be opened or queried. The text names the file and
// the cause, or is "No MCI device open" when no track is open.
class MediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}
