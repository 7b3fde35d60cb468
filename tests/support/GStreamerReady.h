// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/media/AudioPipeline.h"

namespace kalvio::test {

// GStreamer initialised, and its audio decoders loaded, on the calling thread
// before a test opens tracks: building a fresh plug-in registry (a new build
// folder) or loading the FFmpeg plug-in on a busy machine takes seconds, which
// a player's first open would count against its time limit.
inline void GStreamerReady()
{
    PrepareGStreamer();
}

}
