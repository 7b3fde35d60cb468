// From a slideshow tick to the first frame of its transition, for a
// 24-megapixel picture on a 3840 x 2160 view: loading the picture into the
// view, preparing the transition and composing and painting the first frame.
// Mode 0 decodes the picture at the tick; mode 1 hands over a picture decoded
// before the tick (what a decoder running ahead on a worker thread provides).
// With idle_ms the thread sleeps that long before each tick, as a slideshow
// does between pictures, so caches and clocks may have gone cold.
// The time is this thread's processor time; wall time is a counter.

#include <time.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "FrameFixture.h"
#include "OffscreenApp.h"
#include "platform/JpegLoader.h"
#include "transition/TransitionView.h"

namespace {

using namespace kalvio;
using bench::Seconds;

constexpr int32_t kPictureW = 6000, kPictureH = 4000;

// A 6000 x 4000 JPEG file tiled from a shared photo (a gradient without them).
const std::string& PictureFile()
{
    static QTemporaryDir dir;
    static std::string path;
    if (!path.empty())
        return path;
    Bitmap picture;
    try {
        picture = bench::TiledPicture(LoadJpegFile("/work/shared/data/photos/Dragonfly_by_Bolly.jpg"), kPictureW, kPictureH);
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
    bench::SetUpShowView(view, 3840, 2160);
    QCoreApplication::processEvents();
    view.SetStyle(TShowStyle(style));
    // A first transition, so that every measured one starts from a shown picture.
    view.Picture().LoadFromFile(file);
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
    for (auto _ : state) {
        std::shared_ptr<const Bitmap> ahead;
        if (decodedAhead)
            ahead = std::make_shared<const Bitmap>(LoadPictureFile(file));
        std::this_thread::sleep_for(idle);
        cpuAtFrame = 0;
        const double c0 = Seconds(CLOCK_THREAD_CPUTIME_ID), w0 = Seconds(CLOCK_MONOTONIC);
        if (decodedAhead)
            view.Picture().Assign(std::move(ahead));
        else
            view.Picture().LoadFromFile(file);
        view.Execute();
        state.SetIterationTime(cpuAtFrame > 0 ? cpuAtFrame - c0 : 0);
        wall += wallAtFrame - w0;
        view.Stop();
        view.SetManual(false);
    }
    state.counters["wall_ms"] = benchmark::Counter(1000 * wall, benchmark::Counter::kAvgIterations);
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
