// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FolderIo.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace kalvio::folderio {

int OpenFolder(int parent, const char* path)
{
    int fd;
    do {
        fd = ::openat(parent, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

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

Kind KindOf(int folderFd, const char* name, unsigned char type)
{
    switch (type) {
    case DT_DIR: return Kind::Folder;
    case DT_REG: return Kind::File;
    case DT_LNK:
    case DT_UNKNOWN: break;
    default: return Kind::Other;
    }
    struct stat st;
    if (::fstatat(folderFd, name, &st, 0) != 0)
        return Kind::File;
    if (S_ISDIR(st.st_mode))
        return Kind::Folder;
    if (S_ISREG(st.st_mode))
        return Kind::File;
    return Kind::Other;
}

std::optional<FolderId> IdOf(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return FolderId{st.st_dev, st.st_ino};
}

void Listing::Clear()
{
    names.clear();
    folded.clear();
    items.clear();
}

void Listing::Add(const char* name, unsigned char type)
{
    const size_t length = std::strlen(name);
    items.push_back({static_cast<uint32_t>(names.size()), static_cast<uint32_t>(length), type});
    names.append(name, length + 1);
    for (size_t i = 0; i <= length; ++i)
        folded.push_back(static_cast<char>(FoldUpper(static_cast<unsigned char>(name[i]))));
}

void Listing::Sort()
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

int Listing::Read(int fd, std::vector<char>& buffer)
{
    Clear();
    buffer.resize(64 * 1024);
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer.data() + off);
            off += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            Add(name, d->d_type);
        }
    }
}

}
