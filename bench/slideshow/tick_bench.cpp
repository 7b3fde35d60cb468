// SPDX-License-Identifier: GPL-3.0-or-later
// From a slideshow tick to the first frame of its transition on a 3840 x 2160
// view, with pictures made at the view's size from a 24-megapixel JPEG file:
// handing the picture to the view, preparing the transition and composing
// and painting the first frame. Mode 0 makes the picture at the tick
// (LoadPictureRendition); mode 1 hands over a picture made before the tick
// (what the decode ahead provides). With idle_ms the thread sleeps that long
// before each tick, as a slideshow does between pictures, so caches and
// clocks may have gone cold.
//
// The time is this thread's processor time; wall time is a counter. After
// every tick the same program copies a 3840 x 2160 frame with memcpy (between
// two bitmaps of its own) and times it too: `memcpy_ratio` is the median of the per-tick ratios.

#include <time.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "fixtures/FrameFixture.h"
#include "fixtures/OffscreenApp.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "transition/TransitionView.h"

namespace {

using namespace kalvio;
using bench::Seconds;

constexpr int32_t kPictureW = 6000, kPictureH = 4000;
constexpr int32_t kScreenW = 3840, kScreenH = 2160;

// A 6000 x 4000 JPEG file tiled from a shared photo (a gradient without them).
const std::string& PictureFile()
{
    static QTemporaryDir dir;
    static std::string path;
    if (!path.empty())
        return path;
    Bitmap picture;
    try {
        picture = bench::TiledPicture(LoadJpegFile(KALVIO_PHOTO_DIR "/Dragonfly_by_Bolly.jpg"), kPictureW, kPictureH);
    } catch (const std::exception&) {
        picture = bench::GradientPicture(kPictureW, kPictureH, 1);
    }
    const QImage image(reinterpret_cast<const uchar*>(picture.bits()), picture.width(), picture.height(),
                       qsizetype(picture.width()) * 4, QImage::Format_RGB32);
    const std::string file = dir.filePath("picture.jpg").toStdString();
    if (image.save(QString::fromStdString(file), "JPEG", 90))
        path = file;
    return path;
}

void BM_TickToFirstFrame(benchmark::State& state)
{
    const bool decodedAhead = state.range(0) != 0;
    const int style = int(state.range(1));
    const auto idle = std::chrono::milliseconds(state.range(2));
    bench::OffscreenApplication();
    const std::string& file = PictureFile();
    if (file.empty()) {
        state.SkipWithError("could not write the test picture");
        return;
    }
    TTransitionView view;
    bench::SetUpShowView(view, kScreenW, kScreenH);
    QCoreApplication::processEvents();
    view.SetStyle(TShowStyle(style));
    auto make = [&] { return LoadPictureRendition(file, kScreenW, kScreenH); };
    // A first transition, so that every measured one starts from a shown picture.
    view.Picture().Assign(make());
    view.SetDelay(0);
    view.Execute();

    double cpuAtFrame = 0, wallAtFrame = 0, wall = 0;
    view.OnProgress = [&](TTransitionView* sender) {
        if (cpuAtFrame == 0) {
            cpuAtFrame = Seconds(CLOCK_THREAD_CPUTIME_ID);
            wallAtFrame = Seconds(CLOCK_MONOTONIC);
            sender->SetManual(true); // no further frames
        }
    };
    // The anchor copies a frame between two bitmaps of its own.
    const Bitmap& copySource = bench::FramePicture(kScreenW, kScreenH, 2);
    Bitmap copy(kScreenW, kScreenH);
    std::vector<double> ratios, copies;
    for (auto _ : state) {
        std::shared_ptr<const Bitmap> ahead;
        if (decodedAhead)
            ahead = std::make_shared<const Bitmap>(make());
        std::this_thread::sleep_for(idle);
        cpuAtFrame = 0;
        const double c0 = Seconds(CLOCK_THREAD_CPUTIME_ID), w0 = Seconds(CLOCK_MONOTONIC);
        if (decodedAhead)
            view.Picture().Assign(std::move(ahead));
        else
            view.Picture().Assign(make());
        view.Execute();
        const double tick = cpuAtFrame > 0 ? cpuAtFrame - c0 : 0;
        state.SetIterationTime(tick);
        wall += wallAtFrame - w0;
        view.Stop();
        view.SetManual(false);

        const double t0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        std::memcpy(copy.bits(), copySource.bits(), copy.pixelCount() * sizeof(Pixel));
        benchmark::DoNotOptimize(copy.bits());
        benchmark::ClobberMemory();
        const double t1 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        if (t1 > t0 && tick > 0) {
            ratios.push_back(tick / (t1 - t0));
            copies.push_back(t1 - t0);
        }
    }
    state.counters["wall_ms"] = benchmark::Counter(1000 * wall, benchmark::Counter::kAvgIterations);
    state.counters["memcpy_ratio"] = bench::Median(ratios);
    state.counters["memcpy_ms"] = 1000 * bench::Median(copies);
}

}

BENCHMARK(BM_TickToFirstFrame)
    ->ArgNames({ "decoded_ahead", "style", "idle_ms" })
    ->Args({ 0, 60, 0 })
    ->Args({ 1, 60, 0 })
    ->Args({ 1, 117, 0 })
    ->Args({ 1, 60, 3000 })
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
