// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

// The error a folder scan ends with. It carries an error code and a fixed
// text: "File not found" (2), "Invalid filename" (3), "Too many open files"
// (4), "File access denied" (5), "I/O error N" for any other code N.
namespace kalvio {

class InOutError : public std::runtime_error {
public:
    explicit InOutError(int code);

    // Maps a system error number: missing entry or empty path -> 2, a path
    // component that is not a folder -> 3, out of descriptors -> 4, no
    // permission -> 5; any other keeps its own number and reads "I/O error N"
    // (so EIO reads "I/O error 5", never "File access denied").
    static InOutError FromSystemError(int systemError);

    int Code() const noexcept { return code_; }
    // The system's error number behind this error, or 0 when built from a code.
    int SystemError() const noexcept { return systemError_; }

private:
    InOutError(int code, int systemError, const std::string& text);

    int code_;
    int systemError_;
};

std::string InOutErrorText(int code);

// 2, 3, 4 or 5 for the system errors that have a named code, 0 otherwise.
int InOutCodeForSystemError(int systemError);

}
