#include "catalogue/FolderScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
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

// Owns one open descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

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

    void Run(const std::string& folder)
    {
        const std::string_view trimmed = DropOneTrailingSeparator(folder);
        // A root "/" trims to an empty folder text but is opened as "/".
        const std::string openPath = (trimmed.empty() && !folder.empty()) ? folder : std::string(trimmed);
        const int fd = OpenFolder(AT_FDCWD, openPath.c_str());
        if (fd < 0)
            throw InOutError::FromSystemError(errno);
        Descriptor dir(fd);
        path_.assign(trimmed);
        ScanOpen(dir.get());
    }

private:
    struct Visit {
        dev_t dev;
        ino_t ino;
    };

    // Deeper folders end the scan as a path too long. Every level holds a
    // descriptor and a stack frame, so the depth needs a bound of its own.
    static constexpr size_t kMaxDepth = 4096;

    // Records the open folder on the descent path; false when it must not be
    // scanned: it is already on the path (a link loop) or it belongs to a
    // kernel pseudo file system.
    bool Enter(int fd)
    {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            throw InOutError::FromSystemError(errno);
        for (const Visit& v : descent_) {
            if (v.dev == st.st_dev && v.ino == st.st_ino)
                return false;
        }
        if ((descent_.empty() || descent_.back().dev != st.st_dev) && IsPseudoFileSystem(fd))
            return false;
        if (descent_.size() >= kMaxDepth)
            throw InOutError::FromSystemError(ENAMETOOLONG);
        descent_.push_back({st.st_dev, st.st_ino});
        return true;
    }

    // Scans the open folder whose (trimmed) path text is in path_.
    void ScanOpen(int fd)
    {
        if (!Enter(fd))
            return;

        // Listings are kept per depth and reused, so a scan allocates little.
        if (listings_.size() < descent_.size())
            listings_.emplace_back();
        Listing& listing = listings_[descent_.size() - 1];
        ReadListing(fd, listing);
        listing.Sort();
        if (onListed_)
            onListed_(path_);

        for (const Listing::Item& item : listing.items) {
            const char* name = listing.Name(item);
            const std::string_view nameView(name, item.length);
            Kind kind = KindOf(fd, name, item.type);
            if (kind == Kind::Folder) {
                const int child = OpenFolder(fd, name);
                if (child >= 0) {
                    Descriptor sub(child);
                    const size_t keep = path_.size();
                    AppendSubFolderName(path_, nameView);
                    ScanOpen(sub.get());
                    path_.resize(keep);
                    continue;
                }
                if (errno == ENOENT)
                    continue; // removed since the listing was read
                if (errno != ENOTDIR)
                    throw InOutError::FromSystemError(errno);
                kind = Kind::File; // replaced by a file since the listing was read
            }
            if (kind == Kind::File && ExtensionPasses(nameView, filter_))
                list_.push_back(FileEntryPath(path_, nameView));
        }
        descent_.pop_back();
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
    std::vector<Visit> descent_;
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
