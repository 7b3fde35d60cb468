#pragma once

#include <gst/gst.h>

namespace kalvio::test {

// Initialises GStreamer on the calling thread before a test opens tracks. The
// first process to use a fresh plug-in registry (a new build folder) spends
// seconds building it, which a player's first open would count against its
// time limit.
inline void GStreamerReady()
{
    gst_init(nullptr, nullptr);
}

}
