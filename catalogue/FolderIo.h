// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

// The system calls behind the folder scans, shared by the sequential walk and
// the threads that read folders ahead of it.
namespace kalvio::folderio {

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

inline unsigned char FoldUpper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// openat() of a folder, retried when interrupted; -1 and errno on failure.
int OpenFolder(int parent, const char* path);

// Kernel pseudo file systems: their trees are generated, can be endless
// through per-process links, and never hold media.
bool IsPseudoFileSystem(int fd);

enum class Kind : uint8_t { File, Folder, Other };

// What an entry is, from its listing type, looked up when the listing does
// not say (or it is a link, followed). A dangling link or an entry gone since
// the listing is judged by its name: a file.
Kind KindOf(int folderFd, const char* name, unsigned char type);

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

// The folder's identity; nullopt and errno on failure.
std::optional<FolderId> IdOf(int fd);

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

    void Clear();
    void Add(const char* name, unsigned char type);
    const char* Name(const Item& item) const { return names.data() + item.offset; }
    // Into the scans' name order.
    void Sort();
    // Replaces the content with the folder's entries, "." and ".." left out,
    // unsorted; `buffer` is scratch space. 0, or the errno that stopped it.
    int Read(int fd, std::vector<char>& buffer);
};

}
