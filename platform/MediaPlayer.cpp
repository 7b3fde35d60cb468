#include "platform/MediaPlayer.h"

#include <gst/gst.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

namespace kalvio {

namespace {

constexpr const char* kNoDevice = "No MCI device open";
// playbin's GST_PLAY_FLAG_AUDIO alone: video and subtitle streams are dropped.
constexpr guint kPlayFlagAudioOnly = 1u << 1;
constexpr const char* kSilentSink = "fakesink sync=true";
constexpr GstClockTime kStateWait = 5 * GST_SECOND;

void InitGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The message of an error, with the missing decoders GStreamer names in the
// details (its message alone only says that a plug-in is missing).
std::string ErrorMessageText(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    std::string text = err && err->message ? err->message : "Unknown error code";
    if (debug) {
        std::istringstream lines(debug);
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("Missing ", 0) == 0) text += " (" + line + ")";
    }
    if (err) g_error_free(err);
    g_free(debug);
    return text;
}

// True when the message comes from inside `element` (or from it).
bool ComesFrom(GstMessage* msg, GstElement* element) {
    GstObject* src = GST_MESSAGE_SRC(msg);
    return src && element &&
           (src == GST_OBJECT(element) || gst_object_has_as_ancestor(src, GST_OBJECT(element)));
}

struct OpenAttempt {
    GstElement* playbin = nullptr;
    std::optional<std::string> error;
    bool sinkFailed = false;
    bool silent = false;
};

struct MessageDeleter {
    void operator()(GstMessage* m) const { gst_message_unref(m); }
};
using Message = std::unique_ptr<GstMessage, MessageDeleter>;

Message Pop(GstElement* pipeline, GstClockTime timeout, int types) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, timeout, GstMessageType(types));
    gst_object_unref(bus);
    return Message(m);
}

// Makes every fake sink inside `sink` keep real time: autoaudiosink puts an
// unsynchronised one in place when no sound device can be opened, and a track
// would then "play" in an instant. Returns whether there was one.
bool SyncFakeSinks(GstElement* sink) {
    if (!GST_IS_BIN(sink)) return false;
    bool found = false;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElement* e = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* f = gst_element_get_factory(e);
        if (f && g_strcmp0(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f)), "fakesink") == 0) {
            g_object_set(e, "sync", TRUE, nullptr);
            found = true;
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

// Builds a playbin for `uri` with the given audio output and waits, for at most
// `timeoutMs`, until it has prerolled (ready to play) or failed.
OpenAttempt TryOpen(const char* uri, const std::string& sinkDescription, int timeoutMs) {
    OpenAttempt a;
    GError* err = nullptr;
    GstElement* sink = gst_parse_bin_from_description(sinkDescription.c_str(), TRUE, &err);
    if (!sink || err) {
        a.error = "cannot make the audio output " + Quoted(sinkDescription) + ": " +
                  (err ? err->message : "unknown element");
        if (err) g_error_free(err);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        return a;
    }
    a.playbin = gst_element_factory_make("playbin", nullptr);
    if (!a.playbin) {
        gst_object_unref(gst_object_ref_sink(sink));
        a.error = "GStreamer's playbin element is not installed";
        return a;
    }
    GstElement* videoSink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(a.playbin, "uri", uri, "flags", kPlayFlagAudioOnly, "audio-sink", sink, nullptr);
    if (videoSink) g_object_set(a.playbin, "video-sink", videoSink, nullptr);

    GstStateChangeReturn r = gst_element_set_state(a.playbin, GST_STATE_PAUSED);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!a.error) {
        if (r == GST_STATE_CHANGE_FAILURE) {
            // The failure's reason is on the bus already.
            Message m = Pop(a.playbin, 0, GST_MESSAGE_ERROR);
            a.error = m ? ErrorMessageText(m.get()) : "Unknown error code";
            a.sinkFailed = m && ComesFrom(m.get(), sink);
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            a.error = "not ready after " + std::to_string(timeoutMs / 1000) + " s";
            break;
        }
        Message m = Pop(a.playbin, GstClockTime(left.count()),
                        GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE);
        if (!m) continue;
        if (GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ASYNC_DONE) {
            a.silent = SyncFakeSinks(sink);
            return a;
        }
        a.error = ErrorMessageText(m.get());
        a.sinkFailed = ComesFrom(m.get(), sink);
    }
    gst_element_set_state(a.playbin, GST_STATE_NULL);
    gst_object_unref(a.playbin);
    a.playbin = nullptr;
    return a;
}

}

MediaPlayer::MediaPlayer(std::string audioSink) : sinkDescription_(std::move(audioSink)) {
    InitGstreamer();
}

MediaPlayer::~MediaPlayer() { Close(); }

void MediaPlayer::Close() {
    if (!playbin_) return;
    // Going to NULL is synchronous: streaming threads are stopped on return.
    gst_element_set_state(playbin_, GST_STATE_NULL);
    gst_object_unref(playbin_);
    playbin_ = nullptr;
    open_ = false;
    atEnd_ = false;
    lengthMs_ = 0;
    positionMs_ = 0;
    path_.clear();
}

void MediaPlayer::Open(const std::string& path) {
    Close();
    // Opening a pipe or a device for reading can block for ever, before any
    // time limit applies; only regular files are music.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw MediaError("Cannot open " + Quoted(path) + ": not a regular file");
    GError* err = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &err);
    if (!uri) {
        std::string why = err ? err->message : "not a file path";
        if (err) g_error_free(err);
        throw MediaError("Cannot open " + Quoted(path) + ": " + why);
    }
    OpenAttempt a = TryOpen(uri, silentFallback_ ? kSilentSink : sinkDescription_, openTimeoutMs);
    if (a.error && a.sinkFailed && !silentFallback_) {
        // No usable sound device: the show goes on in silence, keeping time.
        silentFallback_ = true;
        a = TryOpen(uri, kSilentSink, openTimeoutMs);
    }
    g_free(uri);
    if (a.error) throw MediaError("Cannot open " + Quoted(path) + ": " + *a.error);
    // The default output found no device and went silent: later tracks skip
    // the search for one.
    if (a.silent) silentFallback_ = true;
    playbin_ = a.playbin;
    open_ = true;
    path_ = path;
}

void MediaPlayer::RequireOpen() const {
    if (!open_) throw MediaError(kNoDevice);
}

void MediaPlayer::DrainBus() {
    GstBus* bus = gst_element_get_bus(playbin_);
    while (GstMessage* m = gst_bus_pop(bus)) {
        // A track that hits a decoding error while playing has stopped for
        // good: it counts as ended, so the music can move on.
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS || GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR)
            atEnd_ = true;
        gst_message_unref(m);
    }
    gst_object_unref(bus);
}

void MediaPlayer::WaitForPreroll() {
    Message m = Pop(playbin_, GstClockTime(openTimeoutMs) * GST_MSECOND,
                    GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_EOS);
    if (m && GST_MESSAGE_TYPE(m.get()) != GST_MESSAGE_ASYNC_DONE) atEnd_ = true;
}

void MediaPlayer::Play() {
    RequireOpen();
    if (Position() == Length()) {
        atEnd_ = false;
        positionMs_ = 0;
        if (gst_element_seek_simple(playbin_, GST_FORMAT_TIME,
                                    GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0))
            WaitForPreroll();
    }
    gst_element_set_state(playbin_, GST_STATE_PLAYING);
}

void MediaPlayer::Stop() {
    RequireOpen();
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    gst_element_get_state(playbin_, nullptr, nullptr, kStateWait);
}

int64_t MediaPlayer::Length() {
    RequireOpen();
    gint64 ns = 0;
    if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &ns) && ns >= 0)
        lengthMs_ = ns / GST_MSECOND;
    return lengthMs_;
}

int64_t MediaPlayer::Position() {
    RequireOpen();
    DrainBus();
    if (atEnd_) return Length();
    gint64 ns = 0;
    if (gst_element_query_position(playbin_, GST_FORMAT_TIME, &ns) && ns >= 0)
        positionMs_ = ns / GST_MSECOND;
    return positionMs_;
}

}
