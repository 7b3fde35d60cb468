// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <dirent.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/FuseMount.h"

namespace kalvio::test {

// A read-only network share as a program meets it: a FUSE file system held in
// memory whose every answer comes a set delay after the call, however many
// calls are in flight (the time of a walk is round trips, not the server's
// work). Its listings carry no entry types, so a walker looks every entry up,
// as on the shares where the slow scans were met. Files are empty unless
// given content.
//
// Mounted as FuseMount mounts (root, /dev/fuse, a namespace of the calling
// thread's own); each share is a fresh mount, so nothing of an earlier walk is
// in the kernel's caches.
class DelayedShare {
public:
    // The share's content: files by their path inside it; folders on the way
    // are made. Files may share one content.
    class Tree {
    public:
        Tree() { nodes_.push_back({"", true, {}, {}, {}}); }
        void AddFile(const std::string& path, std::shared_ptr<const std::string> content = {})
        {
            uint64_t at = 0;
            size_t start = 0;
            for (;;) {
                const size_t slash = path.find('/', start);
                const std::string name = path.substr(start, slash == std::string::npos ? slash : slash - start);
                const bool folder = slash != std::string::npos;
                auto found = nodes_[at].byName.find(name);
                if (found == nodes_[at].byName.end()) {
                    nodes_.push_back({name, folder, {}, {}, folder ? nullptr : content});
                    const uint64_t index = nodes_.size() - 1;
                    nodes_[at].children.push_back(index);
                    found = nodes_[at].byName.emplace(name, index).first;
                }
                at = found->second;
                if (!folder)
                    return;
                start = slash + 1;
            }
        }

    private:
        friend class DelayedShare;
        struct Node {
            std::string name;
            bool folder;
            std::vector<uint64_t> children; // in the order made
            std::map<std::string, uint64_t> byName;
            std::shared_ptr<const std::string> content; // a file's; none: empty
        };
        std::vector<Node> nodes_; // node id - 1
    };

    DelayedShare(Tree tree, std::chrono::microseconds delay)
        : tree_(std::move(tree)), delay_(delay), mount_("delayed-share", "default_permissions,allow_other")
    {
        if (!Usable())
            return;
        reader_ = std::thread([this] { Read(); });
        answerer_ = std::thread([this] { Answer(); });
    }
    ~DelayedShare()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            due_.notify_all();
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t woken = write(stop_, &one, sizeof one);
        if (reader_.joinable())
            reader_.join();
        if (answerer_.joinable())
            answerer_.join();
        if (stop_ >= 0)
            close(stop_);
    }
    DelayedShare(const DelayedShare&) = delete;
    DelayedShare& operator=(const DelayedShare&) = delete;

    bool Usable() const { return mount_.Usable() && stop_ >= 0; }
    std::string Why() const
    {
        return mount_.Usable() ? std::string("eventfd: ") + std::strerror(stopError_) : mount_.Why();
    }
    std::string Path(const std::string& inside) const { return mount_.Dir() + "/" + inside; }
    // Calls answered so far.
    uint64_t Calls() const { return calls_.load(); }
    // From now on the share opens files but sends none of their data, as a
    // server that stopped in the middle: reads wait until the share stops.
    void WithholdReads() { withhold_ = true; }
    // Files whose data was asked for and withheld.
    size_t FilesWithheld() const
    {
        std::lock_guard lock(mutex_);
        return withheld_.size();
    }
    // Waits until the data of `files` files has been asked for and withheld,
    // for at most `limit`; true when it has.
    bool AwaitWithheld(size_t files, std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex_);
        return withheldGrew_.wait_for(lock, limit, [&] { return withheld_.size() >= files; });
    }
    // The share goes to sleep, as a NAS does: from now on every answer is
    // held, so the calls on the share wait. Wake() sends what was held, each
    // answer no earlier than its delay, and the share answers again.
    void Sleep()
    {
        std::lock_guard lock(mutex_);
        asleep_ = true;
    }
    void Wake()
    {
        std::lock_guard lock(mutex_);
        asleep_ = false;
        due_.notify_all();
    }
    // Calls waiting for their answer (while asleep: the calls held).
    size_t Waiting()
    {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }
    // Waits until `calls` calls wait for their answer, for at most `limit`;
    // true when they do.
    bool AwaitWaiting(size_t calls, std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex_);
        return queued_.wait_for(lock, limit, [&] { return queue_.size() >= calls; });
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr double kCacheSeconds = 1.0; // how long the kernel may keep an answer

    struct Pending {
        Clock::time_point due;
        std::vector<char> bytes;
    };

    const Tree::Node* NodeOf(uint64_t nodeId) const
    {
        return nodeId >= 1 && nodeId <= tree_.nodes_.size() ? &tree_.nodes_[nodeId - 1] : nullptr;
    }

    static fuse_attr AttrOf(uint64_t nodeId, const Tree::Node& node)
    {
        fuse_attr attr{};
        attr.ino = nodeId;
        attr.mode = node.folder ? (S_IFDIR | 0555) : (S_IFREG | 0444);
        attr.nlink = node.folder ? 2 : 1;
        attr.size = node.content ? node.content->size() : 0;
        attr.blksize = 4096;
        return attr;
    }

    template <typename T>
    static void Append(std::vector<char>& out, const T& value)
    {
        const char* p = reinterpret_cast<const char*>(&value);
        out.insert(out.end(), p, p + sizeof value);
    }

    // The answer to one request (empty: none is due).
    std::vector<char> Handle(const char* request, size_t length)
    {
        fuse_in_header in;
        std::memcpy(&in, request, sizeof in);
        const char* body = request + sizeof in;
        const size_t bodyLength = length - sizeof in;
        std::vector<char> out(sizeof(fuse_out_header));
        int error = 0;
        const Tree::Node* node = NodeOf(in.nodeid);
        switch (in.opcode) {
        case FUSE_FORGET:
        case FUSE_BATCH_FORGET:
        case FUSE_INTERRUPT:
            return {};
        case FUSE_INIT: {
            fuse_init_in init{};
            std::memcpy(&init, body, std::min(bodyLength, sizeof init));
            fuse_init_out reply{};
            reply.major = FUSE_KERNEL_VERSION;
            reply.minor = std::min<uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
            reply.max_readahead = init.max_readahead;
            // Look-ups in one folder run side by side, as on a real share.
            reply.flags = init.flags & FUSE_PARALLEL_DIROPS;
            reply.max_background = 64;
            reply.congestion_threshold = 48;
            reply.max_write = 4096;
            reply.time_gran = 1;
            Append(out, reply);
            break;
        }
        case FUSE_LOOKUP: {
            const std::string name(body, strnlen(body, bodyLength));
            if (!node || !node->folder) {
                error = ENOTDIR;
                break;
            }
            const auto found = node->byName.find(name);
            if (found == node->byName.end()) {
                error = ENOENT;
                break;
            }
            fuse_entry_out entry{};
            entry.nodeid = found->second + 1;
            entry.entry_valid = entry.attr_valid = uint64_t(kCacheSeconds);
            entry.attr = AttrOf(entry.nodeid, tree_.nodes_[found->second]);
            Append(out, entry);
            break;
        }
        case FUSE_GETATTR: {
            if (!node) {
                error = ENOENT;
                break;
            }
            fuse_attr_out attr{};
            attr.attr_valid = uint64_t(kCacheSeconds);
            attr.attr = AttrOf(in.nodeid, *node);
            Append(out, attr);
            break;
        }
        case FUSE_OPEN:
        case FUSE_OPENDIR: {
            fuse_open_out open{};
            Append(out, open);
            break;
        }
        case FUSE_READDIR: {
            fuse_read_in read{};
            std::memcpy(&read, body, std::min(bodyLength, sizeof read));
            if (!node || !node->folder) {
                error = ENOTDIR;
                break;
            }
            // Entry i is ".", "..", then the children; `off` is where the next starts.
            const size_t count = node->children.size() + 2;
            for (uint64_t i = read.offset; i < count; ++i) {
                const std::string name = i == 0 ? "." : i == 1 ? ".." : tree_.nodes_[node->children[i - 2]].name;
                const size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + name.size());
                if (out.size() - sizeof(fuse_out_header) + size > read.size)
                    break;
                fuse_dirent dirent{};
                dirent.ino = i < 2 ? in.nodeid : node->children[i - 2] + 1;
                dirent.off = i + 1;
                dirent.namelen = uint32_t(name.size());
                dirent.type = DT_UNKNOWN;
                const size_t at = out.size();
                out.resize(at + size, 0);
                std::memcpy(out.data() + at, &dirent, FUSE_NAME_OFFSET);
                std::memcpy(out.data() + at + FUSE_NAME_OFFSET, name.data(), name.size());
            }
            break;
        }
        case FUSE_READ: {
            fuse_read_in read{};
            std::memcpy(&read, body, std::min(bodyLength, sizeof read));
            if (!node || node->folder) {
                error = EISDIR;
                break;
            }
            const std::string none;
            const std::string& content = node->content ? *node->content : none;
            if (read.offset < content.size())
                out.insert(out.end(), content.begin() + ptrdiff_t(read.offset),
                           content.begin() + ptrdiff_t(std::min<uint64_t>(content.size(), read.offset + read.size)));
            break;
        }
        case FUSE_RELEASE:
        case FUSE_RELEASEDIR:
        case FUSE_FLUSH:
        case FUSE_DESTROY:
            break;
        case FUSE_STATFS: {
            fuse_statfs_out statfs{};
            statfs.st.bsize = statfs.st.frsize = 4096;
            statfs.st.namelen = 255;
            Append(out, statfs);
            break;
        }
        default:
            error = ENOSYS;
            break;
        }
        if (error)
            out.resize(sizeof(fuse_out_header));
        fuse_out_header header{uint32_t(out.size()), -error, in.unique};
        std::memcpy(out.data(), &header, sizeof header);
        return out;
    }

    // Takes the requests as they come and queues their answers for later.
    void Read()
    {
        std::vector<char> buffer(FUSE_MIN_READ_BUFFER + 128 * 1024);
        pollfd watch[2] = {{mount_.Connection(), POLLIN, 0}, {stop_, POLLIN, 0}};
        for (;;) {
            if (poll(watch, 2, -1) <= 0)
                continue;
            if (watch[1].revents)
                return; // stopping
            const ssize_t n = read(mount_.Connection(), buffer.data(), buffer.size());
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == ENOENT))
                continue; // ENOENT: the call was interrupted meanwhile
            if (n < ssize_t(sizeof(fuse_in_header)))
                return; // the connection is gone
            const auto received = Clock::now();
            if (Withheld(buffer.data()))
                continue;
            std::vector<char> answer = Handle(buffer.data(), size_t(n));
            if (answer.empty())
                continue;
            std::lock_guard lock(mutex_);
            queue_.push_back({received + delay_, std::move(answer)});
            due_.notify_one();
            queued_.notify_all();
        }
    }

    bool Withheld(const char* request)
    {
        fuse_in_header in;
        std::memcpy(&in, request, sizeof in);
        if (in.opcode != FUSE_READ || !withhold_)
            return false;
        std::lock_guard lock(mutex_);
        withheld_.insert(in.nodeid);
        withheldGrew_.notify_all();
        return true;
    }

    // Sends each answer when it is due; one delay for all, so first in is
    // first due.
    void Answer()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            due_.wait(lock, [this] { return stopping_ || (!asleep_ && !queue_.empty()); });
            if (stopping_)
                return;
            const Clock::time_point due = queue_.front().due;
            if (Clock::now() < due) {
                due_.wait_until(lock, due);
                continue;
            }
            Pending next = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            [[maybe_unused]] const ssize_t written = write(mount_.Connection(), next.bytes.data(), next.bytes.size());
            ++calls_;
            lock.lock();
        }
    }

    Tree tree_;
    std::chrono::microseconds delay_;
    FuseMount mount_;
    mutable std::mutex mutex_;
    std::condition_variable due_;
    std::condition_variable queued_; // a call joined queue_
    std::deque<Pending> queue_;
    bool stopping_ = false;
    bool asleep_ = false;
    // An eventfd, readable once the share stops: wakes the reader from its
    // wait for requests.
    const int stop_ = eventfd(0, EFD_CLOEXEC);
    const int stopError_ = stop_ < 0 ? errno : 0;
    std::atomic<uint64_t> calls_{0};
    std::atomic<bool> withhold_{false};
    std::set<uint64_t> withheld_; // node ids; guarded by mutex_
    std::condition_variable withheldGrew_;
    std::thread reader_;
    std::thread answerer_;
};

}
