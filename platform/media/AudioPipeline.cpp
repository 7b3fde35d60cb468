// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/media/AudioPipeline.h"

#include <gst/gst.h>

#include <memory>
#include <mutex>
#include <sstream>

namespace kalvio {

namespace {

// playbin's GST_PLAY_FLAG_AUDIO alone: video and subtitle streams are dropped.
constexpr guint kPlayFlagAudioOnly = 1u << 1;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Nanoseconds left until `deadline`, none when it has passed.
GstClockTime Left(AudioPipeline::Clock::time_point deadline) {
    const auto left = deadline - AudioPipeline::Clock::now();
    return left.count() > 0 ? GstClockTime(std::chrono::nanoseconds(left).count()) : 0;
}

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

}

void InitialiseGStreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

void PrepareGStreamer() {
    static std::once_flag once;
    std::call_once(once, [] {
        InitialiseGStreamer();
        GList* decoders = gst_element_factory_list_get_elements(
            GST_ELEMENT_FACTORY_TYPE_DECODER | GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO, GST_RANK_MARGINAL);
        for (GList* d = decoders; d; d = d->next)
            if (GstPluginFeature* loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(d->data)))
                gst_object_unref(loaded);
        gst_plugin_feature_list_free(decoders);
    });
}

AudioPipeline::AudioPipeline(const char* uri, const std::string& sinkDescription,
                             Clock::time_point deadline, const std::string& lateText) {
    InitialiseGStreamer();
    GError* err = nullptr;
    GstElement* sink = gst_parse_bin_from_description(sinkDescription.c_str(), TRUE, &err);
    if (!sink || err) {
        failure_ = Failure{"cannot make the audio output " + Quoted(sinkDescription) + ": " +
                           (err ? err->message : "unknown element")};
        if (err) g_error_free(err);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        return;
    }
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (!playbin_) {
        gst_object_unref(gst_object_ref_sink(sink));
        failure_ = Failure{"GStreamer's playbin element is not installed"};
        return;
    }
    GstElement* videoSink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(playbin_, "uri", uri, "flags", kPlayFlagAudioOnly, "audio-sink", sink, nullptr);
    if (videoSink) g_object_set(playbin_, "video-sink", videoSink, nullptr);

    if (gst_element_set_state(playbin_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // The failure's reason is on the bus already.
        Message m = Pop(playbin_, 0, GST_MESSAGE_ERROR);
        failure_ = Failure{m ? ErrorMessageText(m.get()) : "Unknown error code", m && ComesFrom(m.get(), sink)};
        return;
    }
    for (;;) {
        const GstClockTime left = Left(deadline);
        if (left == 0) {
            failure_ = Failure{lateText};
            return;
        }
        Message m = Pop(playbin_, left, GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE);
        if (!m) continue;
        if (GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ASYNC_DONE) {
            silent_ = SyncFakeSinks(sink);
            return;
        }
        failure_ = Failure{ErrorMessageText(m.get()), ComesFrom(m.get(), sink)};
        return;
    }
}

AudioPipeline::~AudioPipeline() {
    if (!playbin_) return;
    // Going to NULL is synchronous: streaming threads are stopped on return.
    gst_element_set_state(playbin_, GST_STATE_NULL);
    gst_object_unref(playbin_);
}

void AudioPipeline::DrainBus() {
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

bool AudioPipeline::Play(Clock::time_point deadline) {
    if (Position() == Length()) {
        atEnd_ = false;
        positionMs_ = 0;
        if (gst_element_seek_simple(playbin_, GST_FORMAT_TIME,
                                    GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0)) {
            // Ready again, or ended or failed at once.
            Message m = Pop(playbin_, Left(deadline),
                            GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_EOS);
            if (!m) return false;
            if (GST_MESSAGE_TYPE(m.get()) != GST_MESSAGE_ASYNC_DONE) atEnd_ = true;
        }
    }
    gst_element_set_state(playbin_, GST_STATE_PLAYING);
    return true;
}

bool AudioPipeline::Stop(Clock::time_point deadline) {
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    return gst_element_get_state(playbin_, nullptr, nullptr, Left(deadline)) != GST_STATE_CHANGE_ASYNC;
}

int64_t AudioPipeline::Length() {
    gint64 ns = 0;
    if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &ns) && ns >= 0)
        lengthMs_ = ns / GST_MSECOND;
    return lengthMs_;
}

int64_t AudioPipeline::Position() {
    DrainBus();
    if (atEnd_) return Length();
    gint64 ns = 0;
    if (gst_element_query_position(playbin_, GST_FORMAT_TIME, &ns) && ns >= 0)
        positionMs_ = ns / GST_MSECOND;
    return positionMs_;
}

}
