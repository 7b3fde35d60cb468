// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/ShareOutage.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kalvio {

namespace {

// A mount point as the mount table writes it: space, tab, newline and
// backslash as three octal digits after a backslash.
std::string Unescaped(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += char(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool Holds(const std::string& mountPoint, const std::string& path)
{
    if (mountPoint == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, mountPoint.size(), mountPoint) == 0
        && (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}

ShareNotAnswering::ShareNotAnswering(const std::string& folder)
    : std::runtime_error(ShareNotAnsweringText(folder))
{
}

std::string ShareNotAnsweringText(const std::string& folder)
{
    return "文件夹“" + folder + "”没有响应，放映将等它恢复后继续";
}

std::string ShareOf(const std::string& path)
{
    // The longest mount point holding the path; "/" holds every absolute one
    // and names no share.
    std::string best;
    std::ifstream table("/proc/thread-self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        mountPoint = Unescaped(mountPoint);
        if (mountPoint != "/" && mountPoint.size() > best.size() && Holds(mountPoint, path))
            best = mountPoint;
    }
    if (!best.empty())
        return best;
    return std::filesystem::path(path).parent_path().string();
}

bool ShareOutages::Begin(const std::string& share)
{
    return out_.insert(share).second;
}

void ShareOutages::End(const std::string& share)
{
    out_.erase(share);
}

ShareOutages& TheShareOutages()
{
    static ShareOutages outages;
    return outages;
}

std::chrono::milliseconds NoAnswerLimitOr(std::chrono::milliseconds fallback)
{
    if (const char* ms = std::getenv("KALVIO_TEST_NO_ANSWER_MS")) {
        char* end = nullptr;
        const long value = std::strtol(ms, &end, 10);
        if (end != ms && *end == '\0' && value > 0)
            return std::chrono::milliseconds(value);
    }
    return fallback;
}

}
