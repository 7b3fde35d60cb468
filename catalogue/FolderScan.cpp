// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FolderScan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_set>
#include <utility>

#include <fcntl.h>

#include "catalogue/FolderIo.h"
#include "catalogue/PathParts.h"
#include "catalogue/ReadAhead.h"

namespace kalvio {

namespace {

using folderio::Descriptor;
using folderio::FolderId;
using folderio::FolderIdHash;
using folderio::IdOf;
using folderio::Kind;
using folderio::Listing;
using folderio::OpenFolder;

bool LowerExtensionPasses(std::string_view ext, std::string_view filter)
{
    if (ext.empty() || ext.size() > filter.size())
        return false;
    char small[64];
    std::string large;
    char* lowered = small;
    if (ext.size() > sizeof small) {
        large.resize(ext.size());
        lowered = large.data();
    }
    for (size_t i = 0; i < ext.size(); ++i) {
        const char c = ext[i];
        lowered[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return filter.find(std::string_view(lowered, ext.size())) != std::string_view::npos;
}

// A folder about to be entered: open, or known from the read-ahead.
struct Found {
    Descriptor dir;
    bool known = false;
    int idError = 0;
    FolderId id {};
    bool pseudo = false;

    static Found Open(Descriptor dir)
    {
        Found f;
        f.dir = std::move(dir);
        return f;
    }
    static Found Known(int idError, FolderId id, bool pseudo)
    {
        Found f;
        f.known = true;
        f.idError = idError;
        f.id = id;
        f.pseudo = pseudo;
        return f;
    }
};

const FolderListedHook kNoHook;

class Scanner {
public:
    Scanner(std::string_view filter, std::vector<std::string>& list, const FolderListedHook& onListed,
            ReadAhead* ahead = nullptr, size_t startIndex = 0, const ScanWatch& watch = {},
            SecondList* second = nullptr)
        : filter_(filter), list_(list), onListed_(onListed), ahead_(ahead), startIndex_(startIndex), watch_(watch),
          second_(second)
    {
    }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;
    ~Scanner()
    {
        for (const Level& level : levels_) {
            if (level.fd >= 0)
                ::close(level.fd);
        }
    }

    void Run(const std::string& folder)
    {
        const std::string_view trimmed = DropOneTrailingSeparator(folder);
        startPath_ = ScanStartPath(folder);
        Found start;
        if (ahead_) {
            const AheadStart known = ahead_->StartFolder(startIndex_, watch_.cancel);
            if (known.openError)
                throw InOutError::FromSystemError(known.openError);
            start = Found::Known(known.idError, known.id, known.pseudo);
        } else {
            Descriptor dir(OpenFolder(AT_FDCWD, startPath_.c_str()));
            if (dir.get() < 0)
                throw InOutError::FromSystemError(errno);
            start = Found::Open(std::move(dir));
        }
        path_.assign(trimmed);
        ScanFound(std::move(start), path_.size());
    }

private:
    // One folder of the descent path. Its descriptor is closed while it lies
    // more than kHeldLevels above the deepest folder, and opened again when
    // the scan comes back to it. A folder whose listing came from the
    // read-ahead is not held at all (-1) unless the scan needs it.
    struct Level {
        FolderId id;
        int fd;
        uint32_t nameStart; // its name in path_: [nameStart, nameEnd)
        uint32_t nameEnd;
    };

    // Deeper folders end the scan as a path too long. The path rule below
    // usually comes first: every level adds at least two bytes of path.
    static constexpr size_t kMaxDepth = 4096;
    // Folders held open below the start folder: a scan of any depth holds at
    // most kHeldLevels + 2 descriptors (the start folder, and one folder on
    // its way while another opens).
    static constexpr size_t kHeldLevels = 32;

    // Records the folder on the descent path; false when it must not be
    // scanned: it was entered before in this scan (a second link to it, a
    // link loop) or it belongs to a kernel pseudo file system.
    bool Enter(Found& found, size_t nameStart)
    {
        FolderId id = found.id;
        if (!found.known) {
            const std::optional<FolderId> opened = IdOf(found.dir.get());
            if (!opened)
                throw InOutError::FromSystemError(errno);
            id = *opened;
        } else if (found.idError) {
            throw InOutError::FromSystemError(found.idError);
        }
        if (!entered_.insert(id).second)
            return false;
        if (levels_.empty() || levels_.back().id.dev != id.dev) {
            if (found.known ? found.pseudo : folderio::IsPseudoFileSystem(found.dir.get()))
                return false;
        }
        // A path the system cannot take (PATH_MAX counts the final NUL).
        if (levels_.size() >= kMaxDepth || path_.size() >= PATH_MAX)
            throw InOutError::FromSystemError(ENAMETOOLONG);
        levels_.push_back({id, found.dir.get(), uint32_t(nameStart), uint32_t(path_.size())});
        found.dir.release();
        const size_t depth = levels_.size() - 1;
        if (depth > kHeldLevels)
            CloseLevel(depth - kHeldLevels);
        return true;
    }

    void CloseLevel(size_t level)
    {
        if (levels_[level].fd >= 0) {
            ::close(levels_[level].fd);
            levels_[level].fd = -1;
        }
    }

    // The descriptor of a folder on the descent path, opened again if it was
    // closed: name by name from the nearest held folder above it (the start
    // folder by its path), each folder checked to be the one entered before,
    // keeping the deepest kHeldLevels open for the way back up. -1 when the
    // path no longer leads to it (moved or removed since it was entered).
    int FolderFd(size_t level)
    {
        if (levels_[level].fd >= 0)
            return levels_[level].fd;
        size_t from = level;
        while (from > 0 && levels_[from].fd < 0)
            --from;
        if (levels_[from].fd < 0) {
            Descriptor start(OpenFolder(AT_FDCWD, startPath_.c_str()));
            if (start.get() < 0) {
                if (errno == ENOENT || errno == ENOTDIR)
                    return -1;
                throw InOutError::FromSystemError(errno);
            }
            if (IdOf(start.get()) != levels_[0].id)
                return -1;
            levels_[0].fd = start.release();
        }
        int fd = levels_[from].fd;
        Descriptor passed; // a folder on the way that is not kept
        for (size_t i = from + 1; i <= level; ++i) {
            Level& l = levels_[i];
            name_.assign(path_, l.nameStart, l.nameEnd - l.nameStart);
            Descriptor next(OpenFolder(fd, name_.c_str()));
            if (next.get() < 0) {
                if (errno == ENOENT || errno == ENOTDIR)
                    return -1;
                throw InOutError::FromSystemError(errno);
            }
            if (IdOf(next.get()) != l.id)
                return -1;
            fd = next.get();
            if (i + kHeldLevels > level)
                l.fd = next.release();
            else
                passed = std::move(next);
        }
        return fd;
    }

    // Scans the folder whose (trimmed) path text is in path_, its own name
    // starting at nameStart.
    void ScanFound(Found found, size_t nameStart)
    {
        if (watch_.cancel && watch_.cancel->load(std::memory_order_relaxed))
            throw ScanCancelled{};
        if (!Enter(found, nameStart))
            return;
        const size_t level = levels_.size() - 1;
        const std::shared_ptr<const AheadFolder> ahead =
            ahead_ ? ahead_->Folder(levels_[level].id, watch_.cancel) : nullptr;
        if (ahead && ahead->readError)
            throw InOutError::FromSystemError(ahead->readError);
        if (ahead || ReadOwnListing(level))
            ScanEntries(level, ahead ? ahead->listing : listings_[level], ahead.get());
        if (watch_.found)
            watch_.found->store(list_.size(), std::memory_order_relaxed);
        // The parent's descriptor, if closed, is most cheaply found again as
        // "..", when that is the folder entered (not the parent of a link's
        // target); FolderFd walks down from above otherwise.
        if (!ahead_ && level > 0 && levels_[level].fd >= 0 && levels_[level - 1].fd < 0) {
            Descriptor up(OpenFolder(levels_[level].fd, ".."));
            if (up.get() >= 0 && IdOf(up.get()) == levels_[level - 1].id)
                levels_[level - 1].fd = up.release();
        }
        CloseLevel(level);
        levels_.pop_back();
    }

    // Reads the folder at `level` into listings_[level]; false when it is
    // gone since it was entered.
    bool ReadOwnListing(size_t level)
    {
        // Listings are kept per depth and reused, so a scan allocates little.
        while (listings_.size() <= level)
            listings_.emplace_back();
        const int fd = FolderFd(level);
        if (fd < 0)
            return false;
        if (const int error = listings_[level].Read(fd, buffer_))
            throw InOutError::FromSystemError(error);
        listings_[level].Sort();
        return true;
    }

    // The entries of the folder at `level` in listing order; `ahead` tells
    // what each one is when the read-ahead looked them up.
    void ScanEntries(size_t level, const Listing& listing, const AheadFolder* ahead)
    {
        if (onListed_)
            onListed_(path_);
        for (size_t i = 0; i < listing.items.size(); ++i) {
            const Listing::Item& item = listing.items[i];
            const char* name = listing.Name(item);
            const std::string_view nameView(name, item.length);
            Kind kind;
            Found sub;
            int openError = 0;
            if (ahead) {
                const AheadEntry& entry = ahead->entries[i];
                kind = entry.kind;
                openError = entry.openError;
                if (kind == Kind::Folder && !openError)
                    sub = Found::Known(entry.idError, entry.id, entry.pseudo);
            } else {
                const int fd = FolderFd(level);
                if (fd < 0)
                    break; // the rest of the folder is gone with it
                kind = folderio::KindOf(fd, name, item.type);
                if (kind == Kind::Folder) {
                    sub = Found::Open(Descriptor(OpenFolder(fd, name)));
                    openError = sub.dir.get() < 0 ? errno : 0;
                }
            }
            if (kind == Kind::Folder) {
                if (!openError) {
                    const size_t keep = path_.size();
                    AppendSubFolderName(path_, nameView);
                    ScanFound(std::move(sub), path_.size() - nameView.size());
                    path_.resize(keep);
                    continue;
                }
                if (openError == ENOENT)
                    continue; // removed since the listing was read
                if (openError != ENOTDIR)
                    throw InOutError::FromSystemError(openError);
                kind = Kind::File; // replaced by a file since the listing was read
            }
            if (kind != Kind::File)
                continue;
            const bool tooLong = path_.size() + 1 + nameView.size() >= PATH_MAX;
            if (ExtensionPasses(nameView, filter_)) {
                if (tooLong)
                    throw InOutError::FromSystemError(ENAMETOOLONG);
                list_.push_back(FileEntryPath(path_, nameView));
            }
            if (second_ && !second_->error && ExtensionPasses(nameView, second_->filter)) {
                if (tooLong)
                    second_->error = InOutError::FromSystemError(ENAMETOOLONG);
                else
                    second_->list.push_back(FileEntryPath(path_, nameView));
            }
        }
    }

    std::string_view filter_;
    std::vector<std::string>& list_;
    const FolderListedHook& onListed_;
    ReadAhead* ahead_;
    size_t startIndex_;
    ScanWatch watch_;
    SecondList* second_;
    std::string startPath_; // the start folder as opened
    std::string path_; // folder text of the folder being scanned
    std::string name_; // one name of path_, for the system
    std::vector<Level> levels_; // the descent path, start folder first
    std::unordered_set<FolderId, FolderIdHash> entered_; // every folder entered so far
    std::deque<Listing> listings_; // one per depth; a deque keeps references stable
    std::vector<char> buffer_;
};

}

bool ExtensionPasses(std::string_view fileName, std::string_view filter)
{
    if (fileName.find(PathSeparator) != std::string_view::npos)
        return LowerExtensionPasses(ExtractExtPart(fileName), filter);
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    return LowerExtensionPasses(fileName.substr(dot), filter);
}

bool ScanNameLess(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = folderio::FoldUpper(static_cast<unsigned char>(a[i]));
        const unsigned char cb = folderio::FoldUpper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

void ScanFolder(const std::string& folder, std::string_view filter,
                std::vector<std::string>& list, const FolderListedHook& onListed)
{
    Scanner(filter, list, onListed).Run(folder);
}

std::string ScanStartPath(const std::string& folder)
{
    // A root "/" trims to an empty folder text but is opened as "/".
    const std::string_view trimmed = DropOneTrailingSeparator(folder);
    return (trimmed.empty() && !folder.empty()) ? folder : std::string(trimmed);
}

void ScanFolderAhead(const std::string& folder, std::string_view filter, std::vector<std::string>& list,
                     ReadAhead& ahead, size_t startIndex, const ScanWatch& watch, SecondList* second)
{
    Scanner(filter, list, kNoHook, &ahead, startIndex, watch, second).Run(folder);
}

void ScanPictureFolder(const std::string& folder, std::vector<std::string>& list)
{
    ScanFolder(folder, PictureFilter, list);
}

void ScanMusicFolder(const std::string& folder, std::vector<std::string>& list)
{
    ScanFolder(folder, MusicFilter, list);
}

}
