// SPDX-License-Identifier: GPL-3.0-or-later
// What a track change costs the main thread (close, open until ready, play),
// what the once-a-second check costs (length and position), and how long a
// call holds the main thread when the track hangs: an output stuck in a state
// change, or a file on a mount that never answers (root only). The hung calls
// report wall time (the caller waits, it does not work), beside the ordinary
// track changes timed in the same run.
#include "platform/media/MediaPlayer.h"
#include "support/StalledMount.h"
#include "support/StallingSink.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <string>

namespace {

const std::string kAudio = std::string(KALVIO_SOURCE_DIR) + "/tests/data/audio/";
const std::string kTone = kAudio + "pygame_secosmic_lo_msadpcm.wav";

void TrackChange(benchmark::State& state, const std::string& file) {
    kalvio::MediaPlayer player("fakesink sync=true");
    const std::string path = kAudio + file;
    for (auto _ : state) {
        player.Close();
        player.Open(path);
        player.Play();
    }
    player.Close();
}

void TimerCheck(benchmark::State& state) {
    kalvio::MediaPlayer player("fakesink sync=true");
    player.Open(kAudio + "openmsx_train_filled_with_cash.mid");
    player.Play();
    for (auto _ : state) {
        benchmark::DoNotOptimize(player.Length() - player.Position());
    }
}

// Times `call` alone, errors included, as the iteration's time.
void TimeCall(benchmark::State& state, const std::function<void()>& call) {
    const auto t0 = std::chrono::steady_clock::now();
    try {
        call();
    } catch (const kalvio::MediaError&) {
        // A call that gives up fails; its time is what counts here.
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

// The call that meets an output stuck in the state change `hang`.
void HungOutput(benchmark::State& state, GstStateChange hang) {
    using kalvio::test::StallingSink;
    for (auto _ : state) {
        kalvio::MediaPlayer player(StallingSink::Description());
        StallingSink::Arm(hang);
        if (hang != GST_STATE_CHANGE_READY_TO_PAUSED) player.Open(kTone);
        if (hang == GST_STATE_CHANGE_PLAYING_TO_PAUSED || hang == GST_STATE_CHANGE_PAUSED_TO_READY) player.Play();
        TimeCall(state, [&] {
            switch (hang) {
            case GST_STATE_CHANGE_READY_TO_PAUSED: player.Open(kTone); break;
            case GST_STATE_CHANGE_PAUSED_TO_PLAYING: player.Play(); break;
            case GST_STATE_CHANGE_PLAYING_TO_PAUSED: player.Stop(); break;
            default: player.Close(); break;
            }
        });
        StallingSink::Release();
    }
}

void OpenOnStalledMount(benchmark::State& state) {
    kalvio::test::StalledMount mount;
    if (!mount.Usable()) {
        state.SkipWithError(("no FUSE mount: " + mount.Why()).c_str());
        return;
    }
    for (auto _ : state) {
        kalvio::MediaPlayer player("fakesink sync=true");
        TimeCall(state, [&] { player.Open(mount.Path("x.mp3")); });
    }
}

}

BENCHMARK_CAPTURE(TrackChange, wav_msadpcm, std::string("pygame_secosmic_lo_msadpcm.wav"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, mp3, std::string("fc.mp3"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, wma, std::string("fc.wma"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, mpg_video_dropped, std::string("fc_mpeg1_mp2.mpg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, mid, std::string("openmsx_train_filled_with_cash.mid"))->Unit(benchmark::kMillisecond);
BENCHMARK(TimerCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(HungOutput, open, GST_STATE_CHANGE_READY_TO_PAUSED)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HungOutput, play, GST_STATE_CHANGE_PAUSED_TO_PLAYING)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HungOutput, stop, GST_STATE_CHANGE_PLAYING_TO_PAUSED)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HungOutput, close, GST_STATE_CHANGE_PAUSED_TO_READY)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenOnStalledMount)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
