// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <atomic>

namespace kalvio::test {

// An audio output whose state changes can be made to hang, as a sink stuck on
// its device does: the element "kalviostall", a bin around a "fakesink
// sync=true". Arm(change) makes the next such change of any of these outputs
// block until Release(); the ones after pass. Process-wide.
// A hang ends by itself after selfReleaseS seconds, so that code waiting for it
// fails a test's time bound instead of hanging the test.
class StallingSink {
public:
    // The output's description for a player; registers the element.
    static const char* Description()
    {
        Register();
        return "kalviostall";
    }
    static constexpr int selfReleaseS = 30;

    static void Arm(GstStateChange change)
    {
        Register();
        State& s = state();
        s.released = false;
        s.entered = 0;
        s.change = change;
        s.armed = true;
    }
    static void Release() { state().released = true; }
    // How many times an armed change has started blocking.
    static int Entered() { return state().entered; }

private:
    struct State {
        std::atomic<int> change { 0 };
        std::atomic<bool> armed { false };
        std::atomic<bool> released { true };
        std::atomic<int> entered { 0 };
    };

    static State& state()
    {
        static State s;
        return s;
    }
    static GstElementClass*& parentClass()
    {
        static GstElementClass* parent = nullptr;
        return parent;
    }

    static GstStateChangeReturn ChangeState(GstElement* element, GstStateChange change)
    {
        State& s = state();
        if (int(change) == s.change && s.armed.exchange(false)) {
            ++s.entered;
            const gint64 end = g_get_monotonic_time() + gint64(selfReleaseS) * G_USEC_PER_SEC;
            while (!s.released && g_get_monotonic_time() < end)
                g_usleep(5000);
        }
        return parentClass()->change_state(element, change);
    }

    static void ClassInit(gpointer klass, gpointer)
    {
        parentClass() = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
        GstElementClass* element = GST_ELEMENT_CLASS(klass);
        element->change_state = ChangeState;
        gst_element_class_set_static_metadata(element, "Stalling sink", "Sink/Audio",
                                              "A fake sink whose state changes can hang", "Kalvio tests");
    }

    static void InstanceInit(GTypeInstance* instance, gpointer)
    {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        gst_bin_add(GST_BIN(instance), sink);
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        gst_element_add_pad(GST_ELEMENT(instance), gst_ghost_pad_new("sink", pad));
        gst_object_unref(pad);
    }

    static void Register()
    {
        static const bool registered = [] {
            gst_init(nullptr, nullptr);
            GTypeInfo info {};
            info.class_size = sizeof(GstBinClass);
            info.class_init = ClassInit;
            info.instance_size = sizeof(GstBin);
            info.instance_init = InstanceInit;
            const GType type = g_type_register_static(GST_TYPE_BIN, "KalvioStallingSink", &info, GTypeFlags(0));
            return gst_element_register(nullptr, "kalviostall", GST_RANK_NONE, type) != FALSE;
        }();
        (void)registered;
    }
};

}
