// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <stdexcept>

namespace kalvio {

// A music track that cannot be opened or queried. The text names the file and
// the cause, or is "No MCI device open" when no track is open.
class MediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open that did not finish within its limit: the file, or the output, gave
// no answer in time (which a share asleep explains), rather than a refusal.
class MediaNotReady : public MediaError {
public:
    using MediaError::MediaError;
    static bool Is(const std::exception_ptr& error)
    {
        try {
            std::rethrow_exception(error);
        } catch (const MediaNotReady&) {
            return true;
        } catch (...) {
            return false;
        }
    }
};

}
