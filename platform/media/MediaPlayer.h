// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/MediaError.h"

namespace kalvio {

class JobThread;

// An invisible audio player for one track at a time, over GStreamer's playbin.
// Video streams of a file are discarded, never shown. Calls come from one
// thread at a time (the music's worker, or the GUI's while the worker is
// idle), and none holds it longer than its limit:
// the track's pipeline lives on a thread of its own, which does the waiting. A
// track whose open, play, stop or query does not finish in time is closed at
// once and its call fails with a MediaError; its pipeline is left to that
// thread, which tears it down whenever it comes unstuck (a file on a mount that
// never answers, a pipeline stuck in a state change). Nothing waits for it.
class MediaPlayer {
public:
    // The longest a call waits for the track's thread, by default: the GUI
    // thread is never held 2 s.
    static constexpr std::chrono::milliseconds defaultWaitLimit { 1800 };
    // The longest an open waits when it is made on a worker of its own, where
    // waiting holds no window: the first open also starts the audio output,
    // which takes seconds on a slow machine (an emulated one: five and more).
    static constexpr std::chrono::milliseconds workerOpenLimit { 10000 };

    // `audioSink` is a GStreamer bin description for the output, e.g.
    // "fakesink sync=true" in tests. With the default, a machine without a
    // sound device falls back to a silent sink that still keeps time.
    // GStreamer's preparation (PrepareGStreamer) starts at once, in the
    // background.
    // An open waits up to `openLimit`, every other call up to `waitLimit`
    // (the open's too when `openLimit` is not given).
    explicit MediaPlayer(std::string audioSink = "autoaudiosink",
                         std::chrono::milliseconds waitLimit = defaultWaitLimit,
                         std::optional<std::chrono::milliseconds> openLimit = std::nullopt);
    // Closes the open track, waiting for it no longer than any other call.
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Releases the open track, if any, and waits until it is released (at most
    // the limit; afterwards its pipeline goes down in the background). No
    // track is open afterwards.
    void Close();
    // Closes any open track, then opens `path` (a native file path) and waits
    // until it is ready to play. Throws MediaError naming the file and the
    // decoder's message, or "not ready after" the limit; no track is open then.
    void Open(const std::string& path);
    // Starts playing from the current position and returns at once; from the
    // end, it first seeks to the start. Throws MediaError when no track is open.
    void Play();
    // Stops (pauses) playing. Throws MediaError when no track is open.
    void Stop();
    // Total length and current position of the open track in milliseconds;
    // a track that reports no length has length 0. A track that has ended, or
    // whose playing stopped on a decoding error, stands at its end (position ==
    // length). Throw MediaError "No MCI device open" when no track is open.
    int64_t Length();
    int64_t Position();
    bool IsOpen() const { return track_ != nullptr; }
    // The path of the open track; empty when none is open.
    const std::string& FileName() const { return path_; }

private:
    struct Track;

    void RequireOpen() const;
    std::chrono::steady_clock::time_point Deadline() const;
    // The limit as messages give it, e.g. "1.8 s".
    static std::string LimitText(std::chrono::milliseconds limit);
    // Closes the open track, waiting for its release until `deadline`.
    void CloseBy(std::chrono::steady_clock::time_point deadline);
    // Runs `job` (given the pipeline and the deadline) on the open track's
    // thread: its result, or nothing when it did not finish in time.
    template <class Job>
    auto Ask(Job job);
    // The track did not answer in time: closes it without waiting and throws
    // the MediaError "<action> "<path>": no answer within" the limit.
    [[noreturn]] void GiveUp(const char* action);

    std::string sinkDescription_;
    std::chrono::milliseconds waitLimit_;
    std::chrono::milliseconds openLimit_;
    // Prepares GStreamer, so that this is under way before the first open.
    std::unique_ptr<JobThread> starter_;
    // The open track's thread; null when none is open.
    std::unique_ptr<JobThread> thread_;
    // The open track, used on its thread only; null when none is open.
    std::shared_ptr<Track> track_;
    // Set once the sound device failed: later tracks go to a silent sink.
    bool silentFallback_ = false;
    std::string path_;
};

}
