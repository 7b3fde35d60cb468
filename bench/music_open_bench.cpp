// What a track change costs the main thread (close, open until ready, play),
// and what the once-a-second check costs (length and position).
#include "platform/MediaPlayer.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kAudio = std::string(KALVIO_SOURCE_DIR) + "/tests/data/audio/";

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

}

BENCHMARK_CAPTURE(TrackChange, wav_msadpcm, std::string("pygame_secosmic_lo_msadpcm.wav"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, mp3, std::string("fc.mp3"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, wma, std::string("fc.wma"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, mpg_video_dropped, std::string("fc_mpeg1_mp2.mpg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TrackChange, mid, std::string("openmsx_train_filled_with_cash.mid"))->Unit(benchmark::kMillisecond);
BENCHMARK(TimerCheck)->Unit(benchmark::kMicrosecond);
