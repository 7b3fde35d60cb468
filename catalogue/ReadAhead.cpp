// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>

namespace kalvio {

using folderio::Descriptor;
using folderio::FolderId;
using folderio::Kind;

namespace {

// Entries a thread looks up in one go: a large folder's look-ups are spread
// over the pool, a small folder's need few hand-offs.
constexpr size_t kEntriesPerTask = 16;
// Descriptors of sub-folders opened and waiting to be read; beyond these a
// sub-folder is opened again by its path when its turn comes.
constexpr int kHeldFolders = 32;
// Folders read and not yet taken by the scan: the threads wait beyond these,
// so the read-ahead's memory stays bounded however large the tree.
constexpr size_t kWindow = 256;
// How often a waiting scan looks at its cancel flag.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);

// The place of a folder in the depth-first walk: the listing positions from
// the start folder down. Lower comes first.
using WalkKey = std::vector<uint32_t>;

WalkKey Child(const WalkKey& parent, size_t index)
{
    WalkKey key;
    key.reserve(parent.size() + 1);
    key = parent;
    key.push_back(static_cast<uint32_t>(index));
    return key;
}

bool SetsDescriptorsApart(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

// A folder read and its entries being looked up.
struct Lookups {
    std::shared_ptr<AheadFolder> folder;
    Descriptor fd;
    WalkKey key;
    std::string path;
    std::vector<uint32_t> pending; // indices of entries that need a system call
    size_t tasksLeft = 0;          // guarded by the state's mutex
    std::atomic<bool> failed = false; // a look-up ran out of descriptors or memory
};

struct Task {
    enum class Type : uint8_t { Start, Read, Look };
    Task() = default;
    Task(Type type, WalkKey key) : type(type), key(std::move(key)) {}

    Type type = Type::Start;
    WalkKey key;
    uint64_t order = 0; // ties: first queued first
    size_t start = 0; // Start: its index; Look: first of `pending`
    std::string path; // Start, Read: the folder's path
    std::shared_ptr<Descriptor> fd; // Read: open already, or empty
    FolderId id {}; // Read
    std::shared_ptr<Lookups> lookups; // Look
};

bool Later(const Task& a, const Task& b)
{
    if (a.key != b.key)
        return a.key > b.key;
    return a.order > b.order;
}

}

struct ReadAhead::State {
    struct Slot {
        std::shared_ptr<AheadFolder> folder; // set once read
        bool done = false;
        bool unavailable = false;
        bool taken = false;
    };

    explicit State(AfterUse afterUse) : afterUse(afterUse) {}
    const AfterUse afterUse;

    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable resultReady;
    std::vector<Task> queue; // a heap, the lowest key on top
    uint64_t queued = 0;
    unsigned busy = 0;
    bool stopped = false;
    int heldFolders = 0;
    size_t untaken = 0; // folders read and not yet taken
    std::vector<std::optional<AheadStart>> starts;
    std::unordered_map<FolderId, Slot, folderio::FolderIdHash> folders;
    std::vector<char> helperBuffer; // the waiting scan's, when it helps

    // Cannot fail once Reserve made room.
    void Push(Task task)
    {
        task.order = queued++;
        queue.push_back(std::move(task));
        std::push_heap(queue.begin(), queue.end(), Later);
        workReady.notify_one();
    }

    // Claims a folder for reading; false when it is claimed already, or when
    // no slot can be made for it (the scan then reads it itself). A folder
    // claimed must be published, or the scan waits for it for ever: what can
    // fail is done before the claim.
    bool Claim(FolderId id) noexcept
    {
        try {
            return folders.try_emplace(id).second;
        } catch (...) { // out of memory; the map is as it was
            return false;
        }
    }

    // Makes room in the queue for `count` more tasks, so that pushing them
    // cannot fail.
    void Reserve(size_t count) { queue.reserve(queue.size() + count); }

    void Publish(FolderId id, std::shared_ptr<AheadFolder> folder)
    {
        std::lock_guard lock(mutex);
        Slot& slot = folders[id];
        slot.done = true;
        slot.unavailable = !folder;
        untaken += folder != nullptr;
        slot.folder = std::move(folder);
        resultReady.notify_all();
    }

    void Run(const std::shared_ptr<State>& self);
    // Runs the first task of the queue, the lock held on entry and exit.
    void RunFirst(std::unique_lock<std::mutex>& lock, std::vector<char>& buffer);
    // Waits until `ready` holds, meanwhile running queued tasks: the first
    // one is most often what the waiting scan needs next.
    template <typename Ready>
    void HelpUntil(std::unique_lock<std::mutex>& lock, const std::atomic<bool>* cancel, Ready ready);
    void RunStart(Task& task, std::vector<char>& buffer);
    void RunRead(Task& task, std::vector<char>& buffer);
    void RunLook(Task& task);
    // Reads a claimed folder and queues the look-ups of its entries; it is
    // published then, or once they are done.
    void Read(Descriptor fd, FolderId id, const WalkKey& key, std::string path, std::vector<char>& buffer);
    void ReadListing(Descriptor fd, FolderId id, const WalkKey& key, std::string path, std::vector<char>& buffer);
    void Look(Lookups& lookups, size_t index);
};

void ReadAhead::State::Run(const std::shared_ptr<State>& self)
{
    (void)self; // keeps the state alive while this thread runs
    std::vector<char> buffer;
    std::unique_lock lock(mutex);
    for (;;) {
        workReady.wait(lock, [this] { return stopped || (queue.empty() ? busy == 0 : untaken < kWindow); });
        if (stopped || queue.empty())
            break; // stopped, or nothing left to do and nobody to make more
        RunFirst(lock, buffer);
    }
}

void ReadAhead::State::RunFirst(std::unique_lock<std::mutex>& lock, std::vector<char>& buffer)
{
    std::pop_heap(queue.begin(), queue.end(), Later);
    Task task = std::move(queue.back());
    queue.pop_back();
    ++busy;
    lock.unlock();
    switch (task.type) {
    case Task::Type::Start: RunStart(task, buffer); break;
    case Task::Type::Read: RunRead(task, buffer); break;
    case Task::Type::Look: RunLook(task); break;
    }
    task = Task();
    lock.lock();
    --busy;
    if (busy == 0 && queue.empty()) {
        workReady.notify_all();
        resultReady.notify_all();
    }
}

template <typename Ready>
void ReadAhead::State::HelpUntil(std::unique_lock<std::mutex>& lock, const std::atomic<bool>* cancel, Ready ready)
{
    while (!ready()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw ScanCancelled{};
        if (!stopped && !queue.empty())
            RunFirst(lock, helperBuffer);
        else
            resultReady.wait_for(lock, kCancelPoll);
    }
}

void ReadAhead::State::RunStart(Task& task, std::vector<char>& buffer)
{
    AheadStart start;
    Descriptor fd(folderio::OpenFolder(AT_FDCWD, task.path.c_str()));
    if (fd.get() < 0) {
        start.openError = errno;
    } else if (const auto id = folderio::IdOf(fd.get())) {
        start.id = *id;
        start.pseudo = folderio::IsPseudoFileSystem(fd.get());
    } else {
        start.idError = errno;
    }
    bool read = false;
    {
        std::lock_guard lock(mutex);
        starts[task.start] = start;
        read = fd.get() >= 0 && !start.idError && !start.pseudo && Claim(start.id);
        resultReady.notify_all();
    }
    if (read)
        Read(std::move(fd), start.id, task.key, std::move(task.path), buffer);
}

void ReadAhead::State::RunRead(Task& task, std::vector<char>& buffer)
{
    Descriptor fd;
    if (task.fd) {
        fd = std::move(*task.fd);
        std::lock_guard lock(mutex);
        --heldFolders;
    } else {
        // Opened again by its path: it must still be the folder met.
        fd = Descriptor(folderio::OpenFolder(AT_FDCWD, task.path.c_str()));
        if (fd.get() < 0 || folderio::IdOf(fd.get()) != task.id) {
            Publish(task.id, nullptr);
            return;
        }
    }
    Read(std::move(fd), task.id, task.key, std::move(task.path), buffer);
}

void ReadAhead::State::Read(Descriptor fd, FolderId id, const WalkKey& key, std::string path,
                            std::vector<char>& buffer)
{
    try {
        ReadListing(std::move(fd), id, key, std::move(path), buffer);
    } catch (...) { // out of memory, with nothing queued: the scan reads the folder itself
        Publish(id, nullptr);
    }
}

void ReadAhead::State::ReadListing(Descriptor fd, FolderId id, const WalkKey& key, std::string path,
                                   std::vector<char>& buffer)
{
    auto folder = std::make_shared<AheadFolder>();
    folder->id = id;
    folder->readError = folder->listing.Read(fd.get(), buffer);
    if (folder->readError) {
        if (SetsDescriptorsApart(folder->readError))
            folder = nullptr;
        Publish(id, std::move(folder));
        return;
    }
    folder->listing.Sort();
    const auto& items = folder->listing.items;
    folder->entries.resize(items.size());
    auto lookups = std::make_shared<Lookups>();
    for (size_t i = 0; i < items.size(); ++i) {
        const unsigned char type = items[i].type;
        if (type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN)
            lookups->pending.push_back(static_cast<uint32_t>(i));
        else
            folder->entries[i].kind = folderio::KindOf(fd.get(), folder->listing.Name(items[i]), type);
    }
    if (lookups->pending.empty()) {
        Publish(id, std::move(folder));
        return;
    }
    lookups->key = key;
    lookups->path = std::move(path);
    std::vector<Task> tasks;
    for (size_t first = 0; first < lookups->pending.size(); first += kEntriesPerTask) {
        Task task(Task::Type::Look, Child(key, lookups->pending[first]));
        task.start = first;
        task.lookups = lookups;
        tasks.push_back(std::move(task));
    }
    lookups->folder = std::move(folder);
    lookups->fd = std::move(fd);
    // All or none queued: the folder is published by its last look-up.
    std::lock_guard lock(mutex);
    if (stopped)
        return;
    Reserve(tasks.size());
    lookups->tasksLeft = tasks.size();
    for (Task& task : tasks)
        Push(std::move(task));
}

void ReadAhead::State::RunLook(Task& task)
{
    Lookups& lookups = *task.lookups;
    const size_t end = std::min(task.start + kEntriesPerTask, lookups.pending.size());
    try {
        for (size_t i = task.start; i < end; ++i)
            Look(lookups, lookups.pending[i]);
    } catch (...) { // out of memory: the scan looks the folder up itself
        lookups.failed = true;
    }
    bool last;
    {
        std::lock_guard lock(mutex);
        last = --lookups.tasksLeft == 0;
    }
    if (last) {
        AheadFolder& folder = *lookups.folder;
        Publish(folder.id, lookups.failed ? nullptr : lookups.folder);
    }
}

// Looks entry `index` up as the walk does: its kind, and for a folder, its
// opening, identity and file system; a new folder is queued for reading.
void ReadAhead::State::Look(Lookups& lookups, size_t index)
{
    AheadFolder& folder = *lookups.folder;
    const auto& item = folder.listing.items[index];
    const char* name = folder.listing.Name(item);
    AheadEntry& entry = folder.entries[index];
    entry.kind = folderio::KindOf(lookups.fd.get(), name, item.type);
    if (entry.kind != Kind::Folder)
        return;
    Descriptor sub(folderio::OpenFolder(lookups.fd.get(), name));
    if (sub.get() < 0) {
        entry.openError = errno;
        if (SetsDescriptorsApart(errno))
            lookups.failed = true;
        return;
    }
    const auto id = folderio::IdOf(sub.get());
    if (!id) {
        entry.idError = errno;
        return;
    }
    entry.id = *id;
    if (id->dev != folder.id.dev)
        entry.pseudo = folderio::IsPseudoFileSystem(sub.get());
    if (entry.pseudo)
        return;
    // The task is made whole before the claim: once claimed, the folder is
    // queued for certain.
    Task task(Task::Type::Read, Child(lookups.key, index));
    task.path = lookups.path;
    task.path += '/';
    task.path.append(name, item.length);
    task.id = *id;
    auto held = std::make_shared<Descriptor>(std::move(sub));
    std::lock_guard lock(mutex);
    if (stopped)
        return;
    Reserve(1);
    if (!Claim(*id))
        return;
    if (heldFolders < kHeldFolders) {
        ++heldFolders;
        task.fd = std::move(held);
    }
    Push(std::move(task));
}

ReadAhead ReadAhead::Launch(std::vector<std::string> startPaths, unsigned threads, AfterUse afterUse)
{
    auto state = std::make_shared<State>(afterUse);
    state->starts.resize(startPaths.size());
    for (size_t i = 0; i < startPaths.size(); ++i) {
        Task task(Task::Type::Start, WalkKey{static_cast<uint32_t>(i)});
        task.start = i;
        task.path = std::move(startPaths[i]);
        state->Push(std::move(task));
    }
    try {
        for (unsigned i = 0; i < threads; ++i)
            std::thread([state] { state->Run(state); }).detach();
    } catch (const std::system_error&) {
        // Fewer threads, or none: the waiting scan runs the reads itself.
    }
    return ReadAhead(std::move(state));
}

AheadStart ReadAhead::StartFolder(size_t index, const std::atomic<bool>* cancel)
{
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    s.HelpUntil(lock, cancel, [&] { return s.starts[index].has_value(); });
    return *s.starts[index];
}

std::shared_ptr<const AheadFolder> ReadAhead::Folder(FolderId id, const std::atomic<bool>* cancel)
{
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    const auto found = s.folders.find(id);
    if (found == s.folders.end())
        return nullptr;
    // Slots stay where they are: the map is only added to.
    State::Slot& slot = found->second;
    s.HelpUntil(lock, cancel, [&] { return slot.done; });
    if (!slot.taken) {
        slot.taken = true;
        if (slot.folder && s.untaken-- == kWindow)
            s.workReady.notify_one(); // room again for one more folder
    }
    std::shared_ptr<const AheadFolder> folder = slot.folder;
    if (s.afterUse == AfterUse::Drop)
        slot.folder = nullptr;
    return folder;
}

void ReadAhead::Stop()
{
    if (!state_)
        return;
    std::lock_guard lock(state_->mutex);
    state_->stopped = true;
    state_->queue.clear();
    state_->workReady.notify_all();
    state_->resultReady.notify_all();
}

ReadAhead::~ReadAhead()
{
    Stop();
}

}
