// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// Path text helpers of the catalogue. Paths are native byte strings with '/'
// as the separator; nothing here touches the file system.
namespace kalvio {

inline constexpr char PathSeparator = '/';

// The last component of a path: one leading and one trailing separator are
// dropped, then everything up to the last remaining separator.
std::string ExtractNamePart(std::string_view path);

// "." followed by the text after the last dot of the last component, or an
// empty text when that component has no dot ("name." gives ".").
std::string ExtractExtPart(std::string_view name);

// The folder text a scan works with: one trailing separator removed.
std::string_view DropOneTrailingSeparator(std::string_view folder);

// Path of a sub-folder of the (already trimmed) folder text: no separator is
// added when the folder text already ends with one.
std::string SubFolderPath(std::string_view folder, std::string_view name);
// The same, extending `folder` in place.
void AppendSubFolderName(std::string& folder, std::string_view name);

// Path of a file entry: the separator is always inserted.
std::string FileEntryPath(std::string_view folder, std::string_view name);

}
