// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/PathParts.h"

namespace kalvio {

std::string ExtractNamePart(std::string_view path)
{
    if (!path.empty() && path.front() == PathSeparator)
        path.remove_prefix(1);
    if (!path.empty() && path.back() == PathSeparator)
        path.remove_suffix(1);
    const auto last = path.rfind(PathSeparator);
    if (last != std::string_view::npos)
        path.remove_prefix(last + 1);
    return std::string(path);
}

std::string ExtractExtPart(std::string_view name)
{
    const std::string last = ExtractNamePart(name);
    const auto dot = last.rfind('.');
    if (dot == std::string::npos)
        return {};
    return last.substr(dot);
}

std::string_view DropOneTrailingSeparator(std::string_view folder)
{
    if (!folder.empty() && folder.back() == PathSeparator)
        folder.remove_suffix(1);
    return folder;
}

std::string SubFolderPath(std::string_view folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    AppendSubFolderName(path, name);
    return path;
}

void AppendSubFolderName(std::string& folder, std::string_view name)
{
    if (folder.empty() || folder.back() != PathSeparator)
        folder.push_back(PathSeparator);
    folder.append(name);
}

std::string FileEntryPath(std::string_view folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    path.push_back(PathSeparator);
    path.append(name);
    return path;
}

}
