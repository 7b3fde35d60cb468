// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/InOutError.h"

// Recursive folder scans that fill the picture and music lists.
//
// A scan walks the folder and all of its sub-folders depth-first and appends
// the full path of every file whose extension passes the filter text. Each
// folder's entries are taken in name order (bytes compared with ASCII letters
// folded to upper case, ties by plain bytes), files and folders interleaved; a
// sub-folder's content stands where the sub-folder was met. The list is only
// appended to, never cleared. The process's current directory is never used.
//
// A folder that cannot be opened, at any depth, ends the whole scan with an
// InOutError; what was appended so far stays. Symbolic links to folders are
// followed, but every folder (device and inode) is entered once per scan: a
// folder that links reach again, or a loop of links, adds nothing more, its
// files stand where it was first met. Kernel pseudo file systems (/proc, /sys
// and the like) are not entered. So every scan ends, and lists no folder
// twice. A path of PATH_MAX bytes or more (a file to append or a folder to
// enter), or a folder more than 4096 levels deep, ends the scan as a path too
// long (code ENAMETOOLONG). The scan holds a few dozen descriptors at most,
// however deep the tree. Named pipes, sockets and device nodes are not files
// here and are left out.
namespace kalvio {

inline constexpr std::string_view PictureFilter = ".jpg;.jpeg;";
inline constexpr std::string_view MusicFilter =
    ".mp3;.wma;.dat;.wmv;.mpg;.mpeg;.asf;.asx;.avi;.mid;.wav;";

void ScanPictureFolder(const std::string& folder, std::vector<std::string>& list);
void ScanMusicFolder(const std::string& folder, std::vector<std::string>& list);

// Called with a folder's path once its listing has been read, before any of
// its entries is handled (lets tests change the tree while a scan runs).
using FolderListedHook = std::function<void(const std::string& folderPath)>;

// The one procedure behind both scans.
void ScanFolder(const std::string& folder, std::string_view filter,
                std::vector<std::string>& list, const FolderListedHook& onListed = {});

// True when the file name's extension, lower-cased in A..Z only, occurs
// anywhere in the filter text; an empty extension never passes.
bool ExtensionPasses(std::string_view fileName, std::string_view filter);

// Listing order of a folder's entries.
bool ScanNameLess(std::string_view a, std::string_view b);

}
