// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FolderScan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <unordered_set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "catalogue/PathParts.h"

namespace kalvio {

namespace {

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

unsigned char FoldUpper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Owns one open descriptor (or none: -1).
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    // Takes the other's descriptor; the other closes this one's.
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

int OpenFolder(int parent, const char* path)
{
    int fd;
    do {
        fd = ::openat(parent, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Kernel pseudo file systems: their trees are generated, can be endless
// through per-process links, and never hold media.
bool IsPseudoFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<uint32_t>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BINFMTFS_MAGIC:
        return true;
    default:
        return false;
    }
}

enum class Kind : uint8_t { File, Folder, Other };

// A folder as the file system knows it, whatever path led to it.
struct FolderId {
    dev_t dev;
    ino_t ino;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

struct FolderIdHash {
    size_t operator()(const FolderId& id) const noexcept
    {
        return std::hash<uint64_t>()(uint64_t(id.ino) * 0x9E3779B97F4A7C15ull ^ uint64_t(id.dev));
    }
};

std::optional<FolderId> IdOf(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return FolderId{st.st_dev, st.st_ino};
}

// One folder's listing. The names are stored back to back, each followed by
// a NUL so it can be handed to the system, beside a copy with a..z raised to
// A..Z that the sort compares first.
struct Listing {
    struct Item {
        uint32_t offset;
        uint32_t length;
        unsigned char type; // d_type from the listing
    };

    std::string names;
    std::string folded;
    std::vector<Item> items;

    void Clear()
    {
        names.clear();
        folded.clear();
        items.clear();
    }

    void Add(const char* name, unsigned char type)
    {
        const size_t length = std::strlen(name);
        items.push_back({static_cast<uint32_t>(names.size()), static_cast<uint32_t>(length), type});
        names.append(name, length + 1);
        for (size_t i = 0; i <= length; ++i)
            folded.push_back(static_cast<char>(FoldUpper(static_cast<unsigned char>(name[i]))));
    }

    const char* Name(const Item& item) const { return names.data() + item.offset; }

    void Sort()
    {
        std::sort(items.begin(), items.end(), [this](const Item& a, const Item& b) {
            const size_t n = std::min(a.length, b.length);
            if (const int c = std::memcmp(folded.data() + a.offset, folded.data() + b.offset, n))
                return c < 0;
            if (a.length != b.length)
                return a.length < b.length;
            return std::memcmp(names.data() + a.offset, names.data() + b.offset, n) < 0;
        });
    }
};

class Scanner {
public:
    Scanner(std::string_view filter, std::vector<std::string>& list, const FolderListedHook& onListed)
        : filter_(filter), list_(list), onListed_(onListed)
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
        // A root "/" trims to an empty folder text but is opened as "/".
        const std::string openPath = (trimmed.empty() && !folder.empty()) ? folder : std::string(trimmed);
        Descriptor dir(OpenFolder(AT_FDCWD, openPath.c_str()));
        if (dir.get() < 0)
            throw InOutError::FromSystemError(errno);
        path_.assign(trimmed);
        ScanOpen(std::move(dir), path_.size());
    }

private:
    // One folder of the descent path. Its descriptor is closed while it lies
    // more than kHeldLevels above the deepest folder, and opened again when
    // the scan comes back to it.
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

    // Records the open folder on the descent path; false when it must not be
    // scanned: it was entered before in this scan (a second link to it, a
    // link loop) or it belongs to a kernel pseudo file system.
    bool Enter(Descriptor& dir, size_t nameStart)
    {
        const std::optional<FolderId> id = IdOf(dir.get());
        if (!id)
            throw InOutError::FromSystemError(errno);
        if (!entered_.insert(*id).second)
            return false;
        if ((levels_.empty() || levels_.back().id.dev != id->dev) && IsPseudoFileSystem(dir.get()))
            return false;
        // A path the system cannot take (PATH_MAX counts the final NUL).
        if (levels_.size() >= kMaxDepth || path_.size() >= PATH_MAX)
            throw InOutError::FromSystemError(ENAMETOOLONG);
        levels_.push_back({*id, dir.get(), uint32_t(nameStart), uint32_t(path_.size())});
        dir.release();
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
    // closed: name by name from the nearest held folder above it, each folder
    // checked to be the one entered before, keeping the deepest kHeldLevels
    // open for the way back up. -1 when the path no longer leads to it (moved
    // or removed since it was entered).
    int FolderFd(size_t level)
    {
        if (levels_[level].fd >= 0)
            return levels_[level].fd;
        size_t from = level;
        while (levels_[from].fd < 0)
            --from; // the start folder is always held
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

    // Scans the open folder whose (trimmed) path text is in path_, its own
    // name starting at nameStart.
    void ScanOpen(Descriptor dir, size_t nameStart)
    {
        if (!Enter(dir, nameStart))
            return;
        const size_t level = levels_.size() - 1;

        // Listings are kept per depth and reused, so a scan allocates little.
        if (listings_.size() <= level)
            listings_.emplace_back();
        Listing& listing = listings_[level];
        ReadListing(levels_[level].fd, listing);
        listing.Sort();
        if (onListed_)
            onListed_(path_);

        for (const Listing::Item& item : listing.items) {
            const int fd = FolderFd(level);
            if (fd < 0)
                break; // the rest of the folder is gone with it
            const char* name = listing.Name(item);
            const std::string_view nameView(name, item.length);
            Kind kind = KindOf(fd, name, item.type);
            if (kind == Kind::Folder) {
                Descriptor sub(OpenFolder(fd, name));
                if (sub.get() >= 0) {
                    const size_t keep = path_.size();
                    AppendSubFolderName(path_, nameView);
                    ScanOpen(std::move(sub), path_.size() - nameView.size());
                    path_.resize(keep);
                    continue;
                }
                if (errno == ENOENT)
                    continue; // removed since the listing was read
                if (errno != ENOTDIR)
                    throw InOutError::FromSystemError(errno);
                kind = Kind::File; // replaced by a file since the listing was read
            }
            if (kind == Kind::File && ExtensionPasses(nameView, filter_)) {
                if (path_.size() + 1 + nameView.size() >= PATH_MAX)
                    throw InOutError::FromSystemError(ENAMETOOLONG);
                list_.push_back(FileEntryPath(path_, nameView));
            }
        }
        // The parent's descriptor, if closed, is most cheaply found again as
        // "..", when that is the folder entered (not the parent of a link's
        // target); FolderFd walks down from above otherwise.
        if (level > 0 && levels_[level].fd >= 0 && levels_[level - 1].fd < 0) {
            Descriptor up(OpenFolder(levels_[level].fd, ".."));
            if (up.get() >= 0 && IdOf(up.get()) == levels_[level - 1].id)
                levels_[level - 1].fd = up.release();
        }
        CloseLevel(level);
        levels_.pop_back();
    }

    void ReadListing(int fd, Listing& listing)
    {
        listing.Clear();
        buffer_.resize(64 * 1024);
        for (;;) {
            const ssize_t n = ::getdents64(fd, buffer_.data(), buffer_.size());
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw InOutError::FromSystemError(errno);
            }
            for (ssize_t off = 0; off < n;) {
                const auto* d = reinterpret_cast<const struct dirent64*>(buffer_.data() + off);
                off += d->d_reclen;
                const char* name = d->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                listing.Add(name, d->d_type);
            }
        }
    }

    static Kind KindOf(int fd, const char* name, unsigned char type)
    {
        switch (type) {
        case DT_DIR: return Kind::Folder;
        case DT_REG: return Kind::File;
        case DT_LNK:
        case DT_UNKNOWN: break;
        default: return Kind::Other;
        }
        struct stat st;
        if (::fstatat(fd, name, &st, 0) != 0)
            return Kind::File; // a dangling link, or gone: judged by its name
        if (S_ISDIR(st.st_mode))
            return Kind::Folder;
        if (S_ISREG(st.st_mode))
            return Kind::File;
        return Kind::Other;
    }

    std::string_view filter_;
    std::vector<std::string>& list_;
    const FolderListedHook& onListed_;
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
        const unsigned char ca = FoldUpper(static_cast<unsigned char>(a[i]));
        const unsigned char cb = FoldUpper(static_cast<unsigned char>(b[i]));
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

void ScanPictureFolder(const std::string& folder, std::vector<std::string>& list)
{
    ScanFolder(folder, PictureFilter, list);
}

void ScanMusicFolder(const std::string& folder, std::vector<std::string>& list)
{
    ScanFolder(folder, MusicFilter, list);
}

}
