#pragma once

#include <cstdint>
#include <string>

#include "platform/MediaError.h"

typedef struct _GstElement GstElement;

namespace kalvio {

// An invisible audio player for one track at a time, over GStreamer's playbin.
// Video streams of a file are discarded, never shown. All calls come from one
// thread; the bus is read synchronously, so no GLib main loop is needed.
class MediaPlayer {
public:
    // `audioSink` is a GStreamer bin description for the output, e.g.
    // "fakesink sync=true" in tests. With the default, a machine without a
    // sound device falls back to a silent sink that still keeps time.
    explicit MediaPlayer(std::string audioSink = "autoaudiosink");
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Releases the open track, if any, and waits until it is released.
    void Close();
    // Closes any open track, then opens `path` (a native file path) and waits,
    // for at most openTimeoutMs, until it is ready to play. Throws MediaError
    // naming the file and the decoder's message; no track is open then.
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
    bool IsOpen() const { return open_; }
    // The path of the open track; empty when none is open.
    const std::string& FileName() const { return path_; }

    // How long Open waits for a track to become ready.
    static constexpr int openTimeoutMs = 10000;

private:
    void RequireOpen() const;
    // Reads what the pipeline reported since the last look: end of stream, or
    // an error while playing.
    void DrainBus();
    // Waits (bounded) until a flushing seek has completed.
    void WaitForPreroll();

    std::string sinkDescription_;
    GstElement* playbin_ = nullptr;
    bool open_ = false;
    bool atEnd_ = false;
    // Set once the sound device failed: later tracks go to a silent sink.
    bool silentFallback_ = false;
    int64_t lengthMs_ = 0;
    int64_t positionMs_ = 0;
    std::string path_;
};

}
