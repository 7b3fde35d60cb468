// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/MusicSequencer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/system/JobThread.h"

namespace kalvio {

namespace {

// A share that answers in less than this while the music stops is waited
// for; one that takes longer is left to the worker.
constexpr std::chrono::milliseconds kProbeGrace { 100 };

// Asks the file's share for the file and its first byte, as the player is
// about to: a share asleep holds this call, on the worker, and not a thread
// of the player that would be given up and left stuck. What fails here is
// left to the player to find and name.
void AskShare(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    char byte = 0;
    [[maybe_unused]] const ssize_t got = pread(fd, &byte, 1, 0);
    close(fd);
}

}

// What the worker's job and the GUI thread share, under `mutex`. The job
// owns a reference, so it never outlives it.
struct MusicSequencer::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool busy = false;        // a job is queued or runs
    bool asking = false;      // the job waits on the share (AskShare)
    Clock::time_point askedAt;
    std::string askedPath;
    bool inPlayer = false;    // the job is in a player call
    bool stopped = false;     // no more player calls: the show is over
    // The outcome of the last job.
    int started = -1;         // the entry it started, or -1
    int errorEntry = -1;      // the entry its failure belongs to
    std::exception_ptr error;
    std::function<void()> onJobEnd;
};

MusicSequencer::MusicSequencer(MediaPlayer& player, const std::vector<std::string>& musicList, int& musicIndex,
                               std::chrono::milliseconds noAnswerLimit, ShareOutages& outages)
    : player_(player)
    , MusicList(musicList)
    , MusicIndex(musicIndex)
    , noAnswerLimit_(noAnswerLimit)
    , outages_(outages)
    , shared_(std::make_shared<Shared>())
{
}

MusicSequencer::~MusicSequencer()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopped = true;
        shared_->onJobEnd = nullptr;
    }
    WaitForPlayer();
    // Let go: a job held by a share ends by itself and leaves the player alone.
    worker_.reset();
}

bool MusicSequencer::Busy() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->busy;
}

void MusicSequencer::WaitForPlayer()
{
    // Until the job ends, or it has asked its share for longer than the
    // grace; the job says when it starts asking and when it ends.
    std::unique_lock lock(shared_->mutex);
    while (shared_->busy) {
        if (!shared_->asking) {
            shared_->changed.wait(lock);
            continue;
        }
        const Clock::time_point giveUp = shared_->askedAt + kProbeGrace;
        if (Clock::now() > giveUp)
            return;
        shared_->changed.wait_until(lock, giveUp);
    }
}

void MusicSequencer::playmusic()
{
    failed_.clear();
    gaveUp_ = false;
    currentFailed_ = true;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopped = false;
    }
    if (MusicIndex < 0 || size_t(MusicIndex) >= MusicList.size()) {
        if (!Busy())
            player_.Close();
        return;
    }
    if (Busy()) {
        startPending_ = true;
        return;
    }
    Post(MusicIndex, false);
}

void MusicSequencer::Post(int start, bool checkFirst)
{
    if (!worker_) {
        try {
            worker_ = std::make_unique<JobThread>();
        } catch (const std::system_error& e) {
            throw MediaError(std::string("Cannot play music: ") + e.what());
        }
    }
    const std::string path = MusicList[size_t(start)];
    {
        std::lock_guard lock(shared_->mutex);
        shared_->busy = true;
        shared_->started = -1;
        shared_->errorEntry = -1;
        shared_->error = nullptr;
    }
    const int current = MusicIndex;
    worker_->Post([shared = shared_, &player = player_, start, path, checkFirst, current] {
        std::unique_lock lock(shared->mutex);
        auto end = [&] {
            shared->busy = false;
            shared->changed.notify_all();
            if (shared->onJobEnd)
                shared->onJobEnd();
        };
        // A player call, made with the lock let go; what it throws.
        auto inPlayer = [&](auto call) {
            shared->inPlayer = true;
            lock.unlock();
            std::exception_ptr error;
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            shared->inPlayer = false;
            return error;
        };
        if (shared->stopped)
            return end();
        if (checkFirst) {
            int64_t left = 0;
            if (std::exception_ptr error = inPlayer([&] {
                    if (player.IsOpen())
                        left = player.Length() - player.Position();
                })) {
                shared->errorEntry = current;
                shared->error = error;
                return end();
            }
            // Still playing: nothing to change.
            if (left > 10 || shared->stopped)
                return end();
        }
        // Asks the share, as a tick may see (NoticeIfAsleep); true when it
        // kept the worker waiting, as a share asleep does.
        auto askShare = [&] {
            shared->asking = true;
            shared->askedAt = Clock::now();
            shared->askedPath = path;
            shared->changed.notify_all();
            lock.unlock();
            AskShare(path);
            lock.lock();
            shared->asking = false;
            return Clock::now() - shared->askedAt >= kProbeGrace;
        };
        askShare();
        if (shared->stopped)
            return end();
        // Open closes the track before.
        auto openAndPlay = [&] {
            return inPlayer([&] {
                player.Open(path);
                player.Play();
            });
        };
        std::exception_ptr error = openAndPlay();
        // A share that fell asleep between the question and the open leaves
        // the open without an answer: that is the share's outage, not a broken
        // track. Once the share answers again the track is opened once more.
        // A player that is slow on a share that answers is still its failure.
        if (error && MediaNotReady::Is(error) && askShare() && !shared->stopped)
            error = openAndPlay();
        shared->started = start;
        if (error) {
            shared->errorEntry = start;
            shared->error = error;
        }
        end();
    });
}

void MusicSequencer::NoticeIfAsleep()
{
    std::string path;
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->asking || waitingShare_ || Clock::now() - shared_->askedAt < noAnswerLimit_)
            return;
        path = shared_->askedPath;
    }
    waitingShare_ = true;
    asleepShare_ = ShareOf(path);
    if (outages_.Begin(asleepShare_))
        throw ShareNotAnswering(asleepShare_);
}

void MusicSequencer::TakeOutcome()
{
    int started = -1, errorEntry = -1;
    std::exception_ptr error;
    {
        std::lock_guard lock(shared_->mutex);
        started = std::exchange(shared_->started, -1);
        errorEntry = std::exchange(shared_->errorEntry, -1);
        error = std::exchange(shared_->error, nullptr);
    }
    if (waitingShare_) {
        // The share answered, with the track or a failure.
        waitingShare_ = false;
        outages_.End(asleepShare_);
    }
    if (started >= 0) {
        MusicIndex = started;
        currentFailed_ = false;
    }
    if (!error)
        return;
    // Remember the failure: the next tick moves on instead of asking the
    // player for a length, and later rounds pass over this entry instead of
    // reporting it again.
    currentFailed_ = true;
    failed_.insert(errorEntry);
    if (failed_.size() >= MusicList.size())
        gaveUp_ = true;
    std::rethrow_exception(error);
}

void MusicSequencer::Settle()
{
    {
        std::unique_lock lock(shared_->mutex);
        shared_->changed.wait(lock, [&] { return !shared_->busy; });
    }
    TakeOutcome();
}

void MusicSequencer::OnJobEnd(std::function<void()> hook)
{
    std::lock_guard lock(shared_->mutex);
    shared_->onJobEnd = std::move(hook);
}

MusicSequencer::Start MusicSequencer::StartProgress(std::chrono::milliseconds& checkAgainIn)
{
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->busy) {
            // Not asking yet: the share is asked within a full limit from now.
            Clock::duration left = noAnswerLimit_;
            if (shared_->asking)
                left = noAnswerLimit_ - (Clock::now() - shared_->askedAt);
            if (left <= Clock::duration::zero())
                return Start::ShareAsleep;
            checkAgainIn = std::chrono::ceil<std::chrono::milliseconds>(left);
            return Start::Pending;
        }
    }
    if (startPending_) {
        // Asked for while a job before was under way, which has now ended.
        startPending_ = false;
        if (MusicIndex >= 0 && size_t(MusicIndex) < MusicList.size()) {
            // What the job before met belongs to a start no longer asked
            // for: Post forgets it.
            Post(MusicIndex, false);
            checkAgainIn = noAnswerLimit_;
            return Start::Pending;
        }
    }
    return Start::Ended;
}

void MusicSequencer::TakeStart()
{
    if (!Busy())
        TakeOutcome();
}

void MusicSequencer::Halt()
{
    std::lock_guard lock(shared_->mutex);
    shared_->stopped = true;
}

void MusicSequencer::TimerTimer()
{
    if (gaveUp_ || MusicList.empty())
        return;
    if (Busy()) {
        NoticeIfAsleep();
        return;
    }
    const bool shareWoke = waitingShare_;
    TakeOutcome();
    // A track that started the moment its share woke is checked at the next
    // tick, as one started within a tick is: so soon after its start its
    // length may not be known yet.
    if (shareWoke)
        return;
    if (startPending_) {
        startPending_ = false;
        if (MusicIndex >= 0 && size_t(MusicIndex) < MusicList.size()) {
            Post(MusicIndex, false);
            return;
        }
    }
    const int next = NextEntry();
    if (currentFailed_ || !player_.IsOpen())
        Post(next, false);
    else
        Post(next, true);
}

void MusicSequencer::Stop()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopped = true;
    }
    WaitForPlayer();
    if (Busy())
        return;
    try {
        TakeOutcome();
    } catch (...) {
        // The show is over: what the last change of track met no longer matters.
    }
    if (!player_.IsOpen())
        return;
    try {
        player_.Stop();
    } catch (...) {
        failed_.insert(MusicIndex);
        currentFailed_ = true;
        throw;
    }
}

int MusicSequencer::NextEntry() const
{
    int index = MusicIndex;
    for (size_t tried = 0; tried < MusicList.size(); ++tried) {
        ++index;
        if (index < 0 || size_t(index) >= MusicList.size())
            index = 0;
        if (!failed_.contains(index))
            return index;
    }
    return index;
}

}
