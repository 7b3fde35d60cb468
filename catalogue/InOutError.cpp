// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/InOutError.h"

#include <cerrno>

namespace kalvio {

std::string InOutErrorText(int code)
{
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    default: return "I/O error " + std::to_string(code);
    }
}

int InOutCodeForSystemError(int systemError)
{
    switch (systemError) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM: return 5;
    default: return 0;
    }
}

InOutError::InOutError(int code) : InOutError(code, 0, InOutErrorText(code)) {}

InOutError::InOutError(int code, int systemError, const std::string& text)
    : std::runtime_error(text), code_(code), systemError_(systemError)
{
}

InOutError InOutError::FromSystemError(int systemError)
{
    if (const int code = InOutCodeForSystemError(systemError))
        return InOutError(code, systemError, InOutErrorText(code));
    return InOutError(systemError, systemError, "I/O error " + std::to_string(systemError));
}

}
