// SPDX-License-Identifier: GPL-3.0-or-later
// long_show: drives a long slideshow through the real slideshow window, as a
// person would leave it running: a short interval, real pictures of several
// sizes, pauses and resumes at random moments (often in the middle of a
// transition), the show ended mid-transition now and then and a new one
// started where it stopped, and music on a silent sink. It samples the
// resident memory and fails when an error was reported or memory grew too much.
//
//   long_show [--pictures N] [--interval MS] [--sample-at K] [--max-growth-kb KB]
//             [--seed S] [--system-malloc] FOLDER...
//
// Unless --system-malloc is given, blocks of 1 MB and more (every picture and
// frame buffer) are mapped and returned to the system when freed, so that the
// resident memory follows the memory in use instead of the heap's free space.
// Under AddressSanitizer, whose quarantine holds freed memory, memory is
// reported but not bounded: LeakSanitizer checks for leaks at the end instead.
//
// Prints the resident memory at picture K and at the end, each the peak over
// the pictures just before (two rounds of the list, at least 10, at most K). Exit status 0 when
// no error report fired and the growth from K to the end stayed within KB.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/ErrorReport.h"
#include "catalogue/FolderScan.h"
#include "platform/media/MediaPlayer.h"
#include "slideshow/MusicSequencer.h"
#include "slideshow/SlideSequencer.h"
#include "slideshow/Tfrm_slide.h"
#include "support/GStreamerReady.h"
#include "support/WavWriter.h"
#include "transition/TransitionView.h"

using namespace kalvio;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct Options {
    int pictures = 100;
    int intervalMs = 150;
    int sampleAt = 50;
    long maxGrowthKb = -1; // no bound
    unsigned seed = 1;
    bool systemMalloc = false;
    std::vector<std::string> folders;
};

// Resident memory of this process in KB, from /proc/self/status.
long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--pictures" && (v = value()))
            o.pictures = std::atoi(v);
        else if (a == "--interval" && (v = value()))
            o.intervalMs = std::atoi(v);
        else if (a == "--sample-at" && (v = value()))
            o.sampleAt = std::atoi(v);
        else if (a == "--max-growth-kb" && (v = value()))
            o.maxGrowthKb = std::atol(v);
        else if (a == "--seed" && (v = value()))
            o.seed = unsigned(std::strtoul(v, nullptr, 10));
        else if (a == "--system-malloc")
            o.systemMalloc = true;
        else if (!a.empty() && a[0] != '-')
            o.folders.push_back(a);
        else
            return false;
    }
    return o.pictures > 0 && o.intervalMs > 0 && o.sampleAt > 0 && o.sampleAt <= o.pictures && !o.folders.empty();
}

// Counts the slideshow's ticks (one picture each) and notes the resident
// memory before each.
class TickCounter : public QObject {
public:
    int ticks = 0;
    std::vector<long> residentKb;

    // The highest resident memory over the `window` ticks up to `tick`: what
    // the show holds depends on which pictures are in flight at the moment,
    // so single samples swing by several pictures' worth; the peak over a few
    // rounds of the list does not.
    long PeakUpTo(int tick, int window) const
    {
        long peak = -1;
        for (int i = std::max(0, tick - window); i < tick && i < int(residentKb.size()); ++i)
            peak = std::max(peak, residentKb[size_t(i)]);
        return peak;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer) {
            ++ticks;
            residentKb.push_back(ResidentKb());
        }
        return QObject::eventFilter(watched, event);
    }
};

}

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
            "usage: long_show [--pictures N] [--interval MS] [--sample-at K] [--max-growth-kb KB] [--seed S] "
            "FOLDER...\n");
        return 2;
    }
    if (!options.systemMalloc)
        mallopt(M_MMAP_THRESHOLD, 1 << 20);
    KalvioApplication app(argc, argv);
    app.setStyle("Fusion");
    int reports = 0;
    app.SetReportHook([&](const QString& text, const QString&) {
        ++reports;
        std::fprintf(stderr, "error report: %s\n", text.toLocal8Bit().constData());
    });

    ShowState state;
    for (const std::string& folder : options.folders)
        ScanPictureFolder(folder, state.PictureList);
    if (state.PictureList.empty()) {
        std::fprintf(stderr, "long_show: no pictures in the folders given\n");
        return 2;
    }
    state.LoopPlayback = true;

    // Music: short tones, so that tracks change every few seconds.
    const fs::path musicDir = fs::temp_directory_path() / ("kalvio-long-show-" + std::to_string(getpid()));
    fs::create_directories(musicDir);
    for (int i = 0; i < 3; ++i) {
        const std::string path = (musicDir / ("tone" + std::to_string(i) + ".wav")).string();
        kalvio::test::WriteToneWav(path, 1500 + 700 * i);
        state.MusicList.push_back(path);
    }
    int tracks = 0;
    {
        kalvio::test::GStreamerReady();
        // A busy machine may take seconds to bring a track up: a limit that
        // never turns that into an error report.
        MediaPlayer player("fakesink sync=true", std::chrono::seconds(60));
        MusicSequencer music(player, state.MusicList, state.MusicIndex);
        music.playmusic();
        QTimer musicTimer;
        musicTimer.setInterval(1000);
        QObject::connect(&musicTimer, &QTimer::timeout, [&] {
            const int index = state.MusicIndex;
            music.TimerTimer();
            tracks += state.MusicIndex != index;
        });
        musicTimer.start();

        std::mt19937 rng(options.seed);
        const int window = std::min(options.sampleAt, std::max(10, 2 * int(state.PictureList.size())));
        TickCounter counter;
        long sampledKb = -1;
        int shows = 0, pauses = 0, stopsMidTransition = 0;
        QElapsedTimer clock;
        clock.start();

        while (counter.ticks < options.pictures) {
            // One show: a window until it is ended mid-transition, then a new one
            // that goes on with the next entry.
            ++shows;
            auto slide = std::make_unique<Tfrm_slide>(state);
            slide->View->SetDelay(4);
            slide->Timer->setInterval(options.intervalMs);
            slide->Timer->installEventFilter(&counter);
            const int endAt = counter.ticks + 20 + int(rng() % 60);
            bool ended = false;

            // At random moments: pause (stopping a running transition), continue
            // a little later, and end the show in the middle of a transition.
            QTimer chaos;
            chaos.setSingleShot(true);
            std::function<void()> act = [&] {
                if (counter.ticks >= options.pictures || ended)
                    return;
                if (counter.ticks >= endAt && slide->View->Busy()) {
                    ++stopsMidTransition;
                    slide->N4Click();
                    ended = true;
                    return;
                }
                if (slide->N1->isEnabled()) {
                    if (rng() % 4 == 0) {
                        pauses += slide->View->Busy();
                        slide->N1Click();
                    }
                } else {
                    slide->N2Click();
                }
                chaos.start(int(rng() % options.intervalMs));
            };
            QObject::connect(&chaos, &QTimer::timeout, act);
            chaos.start(int(rng() % options.intervalMs));
            slide->show();

            while (slide->isVisible() && counter.ticks < options.pictures) {
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
                if (sampledKb < 0 && counter.ticks >= options.sampleAt) {
                    sampledKb = counter.PeakUpTo(options.sampleAt, window);
                    std::printf("picture %d: resident %ld KB (peak over the last %d pictures)\n", options.sampleAt,
                        sampledKb, window);
                    std::fflush(stdout);
                }
            }
            chaos.stop();
            if (slide->isVisible())
                slide->N4Click();
            slide.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        musicTimer.stop();
        music.Stop();
        player.Close();

        const long endKb = counter.PeakUpTo(counter.ticks, window);
        const long growth = endKb - sampledKb;
        std::printf("picture %d: resident %ld KB (peak over the last %d pictures)\n", counter.ticks, endKb, window);
        std::printf("long show: %d pictures in %.1f s, %d shows, %d pauses mid-transition, %d shows ended "
                    "mid-transition, %d track changes, %d error reports, resident growth from picture %d: %ld KB\n",
            counter.ticks, clock.elapsed() / 1000.0, shows, pauses, stopsMidTransition, tracks, reports,
            options.sampleAt, growth);
        fs::remove_all(musicDir);

        bool ok = reports == 0;
        if (kSanitized)
            std::printf("long show: memory not bounded under AddressSanitizer\n");
        else if (options.maxGrowthKb >= 0 && growth > options.maxGrowthKb) {
            std::fprintf(stderr, "long show: resident memory grew by %ld KB, more than %ld KB\n", growth,
                options.maxGrowthKb);
            ok = false;
        }
        if (tracks == 0) {
            std::fprintf(stderr, "long show: the music never moved on\n");
            ok = false;
        }
        return ok ? 0 : 1;
    }
}
