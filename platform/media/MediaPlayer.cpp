// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/media/MediaPlayer.h"

#include <gst/gst.h>
#include <sys/stat.h>

#include <optional>
#include <system_error>

#include "platform/media/AudioPipeline.h"
#include "platform/system/JobThread.h"

namespace kalvio {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNoDevice = "No MCI device open";
constexpr const char* kSilentSink = "fakesink sync=true";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

struct Opened {
    std::optional<std::string> error;
    // Later tracks are to go straight to the silent sink.
    bool goSilent = false;
};

}

// The open track. Used on its thread only, where its pipeline is also made and
// torn down.
struct MediaPlayer::Track {
    std::unique_ptr<AudioPipeline> pipeline;

    Opened Open(const std::string& path, const std::string& sink, bool silentIfNoDevice,
                Clock::time_point deadline, const std::string& lateText) {
        InitialiseGStreamer();
        // Opening a pipe or a device for reading can wait for ever (for a
        // writer), and this thread with it; only regular files are music.
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            return {"not a regular file"};
        GError* err = nullptr;
        gchar* uri = gst_filename_to_uri(path.c_str(), &err);
        if (!uri) {
            std::string why = err ? err->message : "not a file path";
            if (err) g_error_free(err);
            return {why};
        }
        Opened opened;
        pipeline = std::make_unique<AudioPipeline>(uri, sink, deadline, lateText);
        if (pipeline->Failed() && pipeline->Failed()->outputFailed && silentIfNoDevice) {
            // No usable sound device: the show goes on in silence, keeping time.
            opened.goSilent = true;
            pipeline.reset();
            pipeline = std::make_unique<AudioPipeline>(uri, kSilentSink, deadline, lateText);
        }
        g_free(uri);
        if (pipeline->Failed())
            opened.error = pipeline->Failed()->text;
        else if (pipeline->Silent())
            // The default output found no device and went silent: later tracks
            // skip the search for one.
            opened.goSilent = true;
        return opened;
    }
};

MediaPlayer::MediaPlayer(std::string audioSink, std::chrono::milliseconds waitLimit,
                         std::optional<std::chrono::milliseconds> openLimit)
    : sinkDescription_(std::move(audioSink)), waitLimit_(waitLimit), openLimit_(openLimit.value_or(waitLimit)) {
    try {
        starter_ = std::make_unique<JobThread>();
        starter_->Post(PrepareGStreamer);
    } catch (const std::system_error&) {
        // The first open initialises GStreamer instead, and loads what it needs.
    }
}

MediaPlayer::~MediaPlayer() {
    const auto deadline = Deadline();
    CloseBy(deadline);
    // GStreamer's preparation is not torn away from under it at the end of the
    // process, unless it takes too long.
    if (starter_) starter_->Finish([] {}, deadline);
}

void MediaPlayer::Close() { CloseBy(Deadline()); }

void MediaPlayer::CloseBy(Clock::time_point deadline) {
    if (!track_) return;
    // The pipeline goes down on its own thread; a stuck one is left there.
    thread_->Finish([track = std::move(track_)] { track->pipeline.reset(); }, deadline);
    thread_.reset();
    path_.clear();
}

void MediaPlayer::Open(const std::string& path) {
    CloseBy(Deadline());
    const auto deadline = Clock::now() + openLimit_;
    const std::string late = "not ready after " + LimitText(openLimit_);
    try {
        thread_ = std::make_unique<JobThread>();
    } catch (const std::system_error& e) {
        throw MediaError("Cannot open " + Quoted(path) + ": " + e.what());
    }
    auto track = std::make_shared<Track>();
    const bool silent = silentFallback_;
    std::optional<Opened> opened = thread_->Call(
        [track, path, sink = silent ? std::string(kSilentSink) : sinkDescription_, silent, deadline, late] {
            return track->Open(path, sink, !silent, deadline, late);
        },
        deadline);
    if (opened && opened->goSilent) silentFallback_ = true;
    if (!opened || opened->error) {
        // Whatever was built goes down on the track's thread; nothing waits.
        thread_->Finish([track] { track->pipeline.reset(); }, Clock::now());
        thread_.reset();
        const std::string text = "Cannot open " + Quoted(path) + ": " + (opened ? *opened->error : late);
        if (!opened || *opened->error == late)
            throw MediaNotReady(text);
        throw MediaError(text);
    }
    track_ = std::move(track);
    path_ = path;
}

Clock::time_point MediaPlayer::Deadline() const { return Clock::now() + waitLimit_; }

std::string MediaPlayer::LimitText(std::chrono::milliseconds limit) {
    const auto ms = limit.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000) {
        text += '.';
        text += std::to_string(ms % 1000 / 100);
    }
    return text + " s";
}

void MediaPlayer::RequireOpen() const {
    if (!track_) throw MediaError(kNoDevice);
}

template <class Job>
auto MediaPlayer::Ask(Job job) {
    RequireOpen();
    const auto deadline = Deadline();
    return thread_->Call([track = track_, job, deadline] { return job(*track->pipeline, deadline); }, deadline);
}

void MediaPlayer::GiveUp(const char* action) {
    const std::string what = std::string(action) + " " + Quoted(path_) + ": no answer within " + LimitText(waitLimit_);
    CloseBy(Clock::now());
    throw MediaError(what);
}

void MediaPlayer::Play() {
    std::optional<bool> done = Ask([](AudioPipeline& p, Clock::time_point deadline) { return p.Play(deadline); });
    if (!done || !*done) GiveUp("Cannot play");
}

void MediaPlayer::Stop() {
    std::optional<bool> done = Ask([](AudioPipeline& p, Clock::time_point deadline) { return p.Stop(deadline); });
    if (!done || !*done) GiveUp("Cannot stop");
}

int64_t MediaPlayer::Length() {
    std::optional<int64_t> ms = Ask([](AudioPipeline& p, Clock::time_point) { return p.Length(); });
    if (!ms) GiveUp("Cannot play");
    return *ms;
}

int64_t MediaPlayer::Position() {
    std::optional<int64_t> ms = Ask([](AudioPipeline& p, Clock::time_point) { return p.Position(); });
    if (!ms) GiveUp("Cannot play");
    return *ms;
}

}
