// Peak resident memory of a show of 24-megapixel pictures on a 3840 x 2160
// screen: the view set up as the slideshow sets it up, several transitions
// between 6000 x 4000 pictures decoded from JPEG files. Mode 0 loads each
// picture when its transition starts, as the slideshow's tick does; mode 1
// also decodes the next picture on a worker thread during each transition,
// which is what a picture decoded ahead adds.
//
// The peak is read from /proc/self/status (VmHWM), reset before each run.

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

constexpr int32_t kPictureW = 6000, kPictureH = 4000;
constexpr int kTransitions = 6;

// A status line of this process in kB ("VmHWM", "VmRSS").
double StatusMegabytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::stod(line.substr(key.size() + 1)) * 1024 / 1e6;
    return 0;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// JPEG files of 6000 x 4000 pictures tiled from the shared photos, written
// once; the photos' memory is freed before anything is measured.
const std::vector<std::string>& PictureFiles()
{
    static QTemporaryDir dir;
    static std::vector<std::string> files;
    if (!files.empty())
        return files;
    const char* const photos[] = {
        "/work/shared/data/photos/picosdeeuropa_by_Aitzol_Berasategi.jpg",
        "/work/shared/data/photos/Dragonfly_by_Bolly.jpg",
        "/work/shared/data/photos/seeding_by_Clements_Engelhardt.jpg",
    };
    int variant = 0;
    for (const char* photo : photos) {
        Bitmap picture;
        try {
            picture = bench::TiledPicture(LoadJpegFile(photo), kPictureW, kPictureH);
        } catch (const std::exception&) {
            picture = bench::GradientPicture(kPictureW, kPictureH, variant);
        }
        const QImage image(reinterpret_cast<const uchar*>(picture.bits()), picture.width(), picture.height(),
                           qsizetype(picture.width()) * 4, QImage::Format_RGB32);
        const std::string path = dir.filePath(QString("picture%1.jpg").arg(variant++)).toStdString();
        if (!image.save(QString::fromStdString(path), "JPEG", 90))
            return files;
        files.push_back(path);
    }
    return files;
}

void BM_ShowMemory(benchmark::State& state)
{
    const bool decodeAhead = state.range(0) != 0;
    bench::OffscreenApplication();
    const std::vector<std::string>& files = PictureFiles();
    if (files.empty()) {
        state.SkipWithError("could not write the test pictures");
        return;
    }
    double peak = 0, before = 0;
    for (auto _ : state) {
        ResetPeak();
        before = StatusMegabytes("VmRSS");
        {
            TTransitionView view;
            bench::SetUpShowView(view, 3840, 2160);
            QCoreApplication::processEvents();
            std::shared_ptr<const Bitmap> ahead;
            if (decodeAhead)
                ahead = std::make_shared<const Bitmap>(LoadPictureFile(files[0]));
            for (int i = 0; i < kTransitions; ++i) {
                view.SetStyle(TShowStyle(1 + (i * 37) % 117));
                const std::string& next = files[size_t(i + 1) % files.size()];
                if (decodeAhead) {
                    view.Picture().Assign(std::move(ahead));
                    std::thread worker([&] { ahead = std::make_shared<const Bitmap>(LoadPictureFile(next)); });
                    view.Execute();
                    worker.join();
                } else {
                    view.Picture().LoadFromFile(files[size_t(i) % files.size()]);
                    view.Execute();
                }
            }
        }
        peak = StatusMegabytes("VmHWM");
    }
    const double picture = double(kPictureW) * kPictureH * 4 / 1e6;
    state.counters["peak_rss_mb"] = peak;
    state.counters["start_rss_mb"] = before;
    state.counters["picture_mb"] = picture;
    state.counters["limit_mb"] = 5.5 * picture + 100;
    state.counters["peak_in_pictures"] = (peak - 100) / picture;
}

}

BENCHMARK(BM_ShowMemory)->ArgName("decode_ahead")->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
