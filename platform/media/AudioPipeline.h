// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

typedef struct _GstElement GstElement;

namespace kalvio {

// Initialises GStreamer once per process. The first call can take seconds (the
// plug-in registry is rebuilt after a change); later calls return at once.
void InitialiseGStreamer();
// Initialises GStreamer and loads the plug-ins of all its audio decoders, once
// per process, so that the first track of a kind does not spend its open's time
// on loading them: the FFmpeg plug-in alone takes 0.3 s on an idle machine and
// 3 s on a busy one.
void PrepareGStreamer();

// One track in GStreamer's playbin, audio only: video streams are dropped. The
// bus is read synchronously, so no GLib main loop is needed. Every call waits as
// long as GStreamer makes it, bounded by a deadline where GStreamer allows one,
// without bound where it does not (state changes, the stop when destroyed):
// MediaPlayer makes these calls on a thread of the track's own.
class AudioPipeline {
public:
    using Clock = std::chrono::steady_clock;

    struct Failure {
        std::string text;
        // The audio output failed, not the file: another output may do.
        bool outputFailed = false;
    };

    // Builds the pipeline for `uri`, playing to the bin `sinkDescription`, and
    // waits until it is ready to play or failed. At `deadline` it fails with
    // `lateText`.
    AudioPipeline(const char* uri, const std::string& sinkDescription, Clock::time_point deadline,
                  const std::string& lateText);
    // Stops the pipeline, waiting for its streaming threads, and releases it.
    ~AudioPipeline();
    AudioPipeline(const AudioPipeline&) = delete;
    AudioPipeline& operator=(const AudioPipeline&) = delete;

    const std::optional<Failure>& Failed() const { return failure_; }
    // The output found no sound device and plays to a silent sink that keeps time.
    bool Silent() const { return silent_; }

    // Starts playing from the current position; from the end, it first seeks to
    // the start and waits until the track is ready again. False when that wait
    // reached `deadline`.
    bool Play(Clock::time_point deadline);
    // Pauses and waits until paused; false when that reached `deadline`.
    bool Stop(Clock::time_point deadline);
    // Milliseconds; as MediaPlayer's Length and Position.
    int64_t Length();
    int64_t Position();

private:
    // Reads what the pipeline reported since the last look: end of stream, or
    // an error while playing.
    void DrainBus();

    GstElement* playbin_ = nullptr;
    std::optional<Failure> failure_;
    bool silent_ = false;
    bool atEnd_ = false;
    int64_t lengthMs_ = 0;
    int64_t positionMs_ = 0;
};

}
