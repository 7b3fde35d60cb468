// SPDX-License-Identifier: GPL-3.0-or-later
// Play on a network share, through the real settings window (Tfrm_kalvio with
// its real scan, slideshow window and music player; offscreen), on the share
// of fixtures/PhotoShare.h (1 ms a call, 20,000 pictures in 200 folders, 2,000
// tracks) beside `fdfind -j 16` and `find` walking it in the same run:
//
// - BM_SharePlay/music:M: Play pressed to the slideshow window shown; music
//   off (the music folder the picture folder, as it defaults), or on with the
//   separate music folder. Counters: the event loop's latency during the
//   scan, `timer_late_ms` (worst lateness of a precise 10 ms timer) and
//   `repaint_ms` (worst time from asking for a repaint of the window to its
//   paint), and beside them `sleeper_late_ms`, a thread that only sleeps:
//   what the machine did to every thread meanwhile.
// - BM_ShareCloseInScan/how:H: a Close posted half-way through the scan (the
//   close box's event, or a click of the Close button) to the window closed.
//   Times are means of the iterations, `worst_ms` the worst one; here and
//   below.
// - BM_StuckWorkerEnd/at:A: Close during a scan of a share that never answers
//   (StalledMount), or Esc while the show waits for a picture on it, to the
//   end of the process, whose workers are stuck in calls on the share. Each
//   runs in a program of its own (this one, started again), which ends as the
//   real one does when its settings window has closed.
//
// Needs root and /dev/fuse; skipped otherwise.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
#include "fixtures/OffscreenApp.h"
#include "platform/media/AudioPipeline.h"
#include "slideshow/SlideSequencer.h"
#include "slideshow/Tfrm_slide.h"
#include "fixtures/PhotoShare.h"
#include "support/StalledMount.h"

extern char** environ;

namespace {

using namespace kalvio;
using bench::DelayedShare;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Outer limit of one Play; only a hang reaches it.
constexpr int kPlayLimitMs = 120000;

// The services the real program has, but: no single-copy lock (a Kalvio
// running on this machine must not refuse the benchmark), warnings written
// out instead of shown in a box nobody closes, music to a sink without a sound
// device.
SettingsServices Services(std::vector<std::string>& warnings)
{
    SettingsServices s;
    s.acquireSingleCopy = [] { return true; };
    s.warn = [&warnings](QWidget*, const QString& text) {
        warnings.push_back(text.toStdString());
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    };
    s.audioSink = "fakesink";
    return s;
}

// Posts a Close as the desktop delivers it: the close box's close event, or a
// press and release of the Close button.
void PostClose(Tfrm_kalvio& window, bool button)
{
    if (!button) {
        QCoreApplication::postEvent(window.windowHandle(), new QCloseEvent);
        return;
    }
    const QPointF at = QRectF(window.RzButton4->rect()).center();
    const QPointF global = window.RzButton4->mapToGlobal(at);
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
        QCoreApplication::postEvent(window.RzButton4,
                                    new QMouseEvent(type, at, global, Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    Qt::NoModifier));
    }
}

// How late the window's thread is while Play scans: a precise 10 ms timer's
// worst lateness, and every fifth tick a repaint of the settings window asked
// for and the time to its paint. `onTick` runs at every tick.
//
// Beside it, the worst lateness of a thread that only sleeps 10 ms at a time
// over the same span: what the machine does to any thread of the process
// meanwhile (other load; a virtual machine's processors taken away for tens
// of milliseconds), which the window's thread cannot do better than.
class LoopWatch : public QObject {
public:
    explicit LoopWatch(Tfrm_kalvio& window) : window_(window)
    {
        window.installEventFilter(this);
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kPeriod);
        connect(&timer_, &QTimer::timeout, this, &LoopWatch::Tick);
        last_ = Clock::now();
        timer_.start();
        sleeper_ = std::thread([this] { Sleep(); });
    }
    ~LoopWatch() override
    {
        stop_ = true;
        sleeper_.join();
    }

    std::function<void()> onTick;
    Clock::duration worstLate{};
    Clock::duration worstRepaint{};
    int repaints = 0;
    Clock::duration SleeperLate() const { return Clock::duration(sleeperLate_.load()); }

private:
    static constexpr std::chrono::milliseconds kPeriod{10};

    void Sleep()
    {
        Clock::time_point due = Clock::now() + kPeriod;
        while (!stop_) {
            std::this_thread::sleep_until(due);
            const Clock::time_point now = Clock::now();
            if (counting_)
                sleeperLate_ = std::max(sleeperLate_.load(), (now - due).count());
            due = now + kPeriod;
        }
    }

    void Tick()
    {
        const Clock::time_point now = Clock::now();
        counting_ = window_.Scanning();
        if (window_.Scanning()) {
            worstLate = std::max(worstLate, now - last_ - kPeriod);
            if (!asked_ && ++ticks_ % 5 == 0) {
                asked_ = now;
                window_.update();
            }
        }
        last_ = now;
        if (onTick)
            onTick();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && asked_) {
            worstRepaint = std::max(worstRepaint, Clock::now() - *asked_);
            asked_.reset();
            ++repaints;
        }
        return QObject::eventFilter(watched, event);
    }

    Tfrm_kalvio& window_;
    QTimer timer_;
    Clock::time_point last_;
    std::optional<Clock::time_point> asked_;
    int ticks_ = 0;
    std::thread sleeper_;
    std::atomic<bool> stop_{false}, counting_{false};
    std::atomic<Clock::rep> sleeperLate_{0};
};

// Calls `shown` once a slideshow window shows.
class SlideShown : public QObject {
public:
    explicit SlideShown(std::function<void(Tfrm_slide&)> shown) : shown_(std::move(shown))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

private:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* slide = qobject_cast<Tfrm_slide*>(watched))
                shown_(*slide);
        return QObject::eventFilter(watched, event);
    }
    std::function<void(Tfrm_slide&)> shown_;
};

// A settings window on the share, shown and painted once: the picture folder
// and, with `music`, music on and the separate music folder; otherwise the
// music folder is the picture folder, as choosing the picture folder leaves
// it.
struct SettingsOnShare {
    SettingsOnShare(const DelayedShare& share, bool music)
        : window(state, Services(warnings))
    {
        window.e_imagedir->setText(QString::fromStdString(share.Path("Pictures")));
        window.e_musicdir->setText(QString::fromStdString(share.Path(music ? "Music" : "Pictures")));
        window.cb_usemusic->setChecked(music);
        window.show();
        QCoreApplication::processEvents();
    }

    // Runs the event loop until the window has closed, or Stop; false when
    // it is still open.
    bool RunUntilClosed()
    {
        QObject::connect(&window, &Tfrm_kalvio::closed, &loop, &QEventLoop::quit);
        QTimer::singleShot(kPlayLimitMs, &loop, &QEventLoop::quit); // only a hang gets here
        loop.exec();
        return !window.isVisible();
    }
    void Stop() { loop.quit(); }

    std::vector<std::string> warnings;
    ShowState state;
    Tfrm_kalvio window;
    QEventLoop loop;
};

// The application, made before any window; its error reports go to `onReport`.
KalvioApplication& App(std::function<void(const std::string&)> onReport)
{
    KalvioApplication& app = bench::OffscreenApplication<KalvioApplication>();
    app.setStyle("Fusion");
    app.SetReportHook([onReport = std::move(onReport)](const QString& text, const QString&) {
        std::fprintf(stderr, "report: %s\n", qPrintable(text));
        if (onReport)
            onReport(text.toStdString());
    });
    return app;
}

void BM_SharePlay(benchmark::State& state)
{
    const bool music = state.range(0) != 0;
    // GStreamer and its decoders loaded, as the player does in the background
    // once music is switched on, seconds before Play is pressed.
    PrepareGStreamer();
    double late = 0, repaint = 0, sleeper = 0;
    int repaints = 0;
    size_t pictures = 0, tracks = 0;
    bench::OnShare(state, [&](const DelayedShare& share) -> bench::WalkTime {
        std::vector<std::string> reports;
        std::optional<Clock::time_point> shownAt;
        SettingsOnShare* running = nullptr;
        App([&](const std::string& text) {
            reports.push_back(text);
            if (!shownAt && running)
                running->Stop(); // Play failed
        });
        SettingsOnShare settings(share, music);
        running = &settings;
        LoopWatch watch(settings.window);
        // The show is ended at once: its pictures are empty files.
        SlideShown shown([&](Tfrm_slide& slide) {
            if (shownAt)
                return;
            shownAt = Clock::now();
            pictures = settings.state.PictureList.size();
            tracks = settings.state.MusicList.size();
            QCoreApplication::postEvent(&slide, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        });
        const Clock::time_point pressed = Clock::now();
        settings.window.RzButton3->click();
        const bool closed = settings.RunUntilClosed();
        App({});
        if (!shownAt || !closed) {
            const std::string why = "no show: " + (reports.empty() ? std::string("no report") : reports.front());
            state.SkipWithError(why.c_str());
            return std::nullopt;
        }
        late = std::max(late, Ms(watch.worstLate));
        sleeper = std::max(sleeper, Ms(watch.SleeperLate()));
        repaint = std::max(repaint, Ms(watch.worstRepaint));
        repaints += watch.repaints;
        return *shownAt - pressed;
    });
    state.counters["timer_late_ms"] = late;
    state.counters["sleeper_late_ms"] = sleeper;
    state.counters["repaint_ms"] = repaint;
    state.counters["repaints"] = repaints;
    state.counters["pictures"] = double(pictures);
    state.counters["music"] = double(tracks);
}
BENCHMARK(BM_SharePlay)->ArgName("music")->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The number in the window's scan note: pictures found so far.
int PicturesFound(const Tfrm_kalvio& window)
{
    const QRegularExpressionMatch m = QRegularExpression("(\\d+)").match(window.scanNote->text());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

void BM_ShareCloseInScan(benchmark::State& state)
{
    const bool button = state.range(0) != 0;
    double late = 0, sleeper = 0, worst = 0;
    bench::OnShare(state, [&](const DelayedShare& share) -> bench::WalkTime {
        App({});
        SettingsOnShare settings(share, false);
        LoopWatch watch(settings.window);
        std::optional<Clock::time_point> posted, closedAt;
        QObject::connect(&settings.window, &Tfrm_kalvio::closed, [&] { closedAt = Clock::now(); });
        watch.onTick = [&] {
            if (!posted && settings.window.Scanning() && PicturesFound(settings.window) >= 10000) {
                posted = Clock::now();
                PostClose(settings.window, button);
            }
        };
        settings.window.RzButton3->click();
        settings.RunUntilClosed();
        if (!posted || !closedAt) {
            state.SkipWithError(posted ? "Close did nothing" : "the scan ended before half of it was seen");
            return std::nullopt;
        }
        late = std::max(late, Ms(watch.worstLate));
        sleeper = std::max(sleeper, Ms(watch.SleeperLate()));
        worst = std::max(worst, Ms(*closedAt - *posted));
        return *closedAt - *posted;
    });
    state.counters["worst_ms"] = worst;
    state.counters["timer_late_ms"] = late;
    state.counters["sleeper_late_ms"] = sleeper;
}
BENCHMARK(BM_ShareCloseInScan)->ArgName("how")->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- the end of the process with a worker stuck on a dead share ----------

constexpr char kChildFlag[] = "--kalvio-stuck-worker";
constexpr int kChildLimitMs = 20000; // before the dead share cuts itself off
enum StuckAt { CloseInScan = 0, EscInShow = 1 };

int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The child: the real program's window and ending, with Play on `path` (a
// folder on the dead share, or a picture on it at the start of the show's
// list). Writes the moment of the Close or Esc (the clock is the machine's,
// the parent's too) to its output, then ends as the real program does.
int RunChild(StuckAt at, const std::string& path)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "kalvio-bench-child";
    char* argv[] = { name, nullptr };
    KalvioApplication app(argc, argv);
    app.setStyle("Fusion");
    app.SetReportHook([](const QString& text, const QString&) { std::fprintf(stderr, "report: %s\n", qPrintable(text)); });
    std::vector<std::string> warnings;
    SettingsServices s = Services(warnings);
    if (at == EscInShow) {
        s.scanFolders = [path](const std::string&, const std::optional<std::string>&, ScanProgress*) {
            ShowScanResult r;
            r.pictures = { path, KALVIO_TEST_DATA "/show/testorig.jpg" };
            return r;
        };
    }
    ShowState show;
    Tfrm_kalvio window(show, s);
    QObject::connect(&window, &Tfrm_kalvio::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    window.e_imagedir->setText(QString::fromStdString(path));
    window.e_musicdir->setText(window.e_imagedir->text());
    window.RzButton3->click();

    auto told = [](const char* what) {
        std::printf("%lld %s\n", (long long)Now(), what);
        std::fflush(stdout);
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (at == CloseInScan && window.Scanning()) {
            poll.stop();
            told("close");
            PostClose(window, true);
        }
        auto* slide = qobject_cast<Tfrm_slide*>(QApplication::activeModalWidget());
        if (at == EscInShow && slide && slide->Sequencer().Waiting()) {
            poll.stop();
            told("esc");
            QCoreApplication::postEvent(slide, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
    });
    poll.start(10);
    QTimer::singleShot(kChildLimitMs, [] { std::_Exit(3); });
    app.exec();
    return 0;
}

// Waits up to `ms` for `fd` to be readable (or closed); false on time out.
bool Ready(int fd, int ms)
{
    pollfd p{ fd, POLLIN, 0 };
    return poll(&p, 1, ms) > 0;
}

// The time from the child's Close or Esc to its end; nothing (and the
// reason on `state`) when it did not end, or failed.
bench::WalkTime ChildEnd(benchmark::State& state, StuckAt at, const std::string& path)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        state.SkipWithError("pipe");
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string self = "/proc/self/exe", flag = kChildFlag, which = std::to_string(int(at)), where = path;
    char* argv[] = { self.data(), flag.data(), which.data(), where.data(), nullptr };
    pid_t pid = -1;
    const bool started = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (!started) {
        close(out[0]);
        state.SkipWithError("cannot start the child");
        return std::nullopt;
    }
    const int process = int(syscall(SYS_pidfd_open, pid, 0));
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos && Ready(out[0], kChildLimitMs) && read(out[0], &c, 1) == 1)
        line += c;
    close(out[0]);
    const bool ended = process >= 0 && Ready(process, kChildLimitMs);
    const Clock::time_point end = Clock::now();
    if (!ended)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (process >= 0)
        close(process);
    const char* why = process < 0                                        ? "no pidfd_open"
                      : !ended                                           ? "the process did not end"
                      : !WIFEXITED(status) || WEXITSTATUS(status) != 0   ? "the child failed"
                      : line.empty()                                     ? "the child said nothing"
                                                                         : nullptr;
    if (why) {
        state.SkipWithError(why);
        return std::nullopt;
    }
    return end - Clock::time_point(std::chrono::nanoseconds(std::atoll(line.c_str())));
}

void BM_StuckWorkerEnd(benchmark::State& state)
{
    const StuckAt at = StuckAt(state.range(0));
    double worst = 0;
    for (auto _ : state) {
        test::StalledMount dead;
        if (!dead.Usable()) {
            state.SkipWithError(("no FUSE mount: " + dead.Why()).c_str());
            return;
        }
        const bench::WalkTime time = ChildEnd(state, at, dead.Path(at == CloseInScan ? "photos" : "gone.jpg"));
        if (!time)
            return;
        state.SetIterationTime(std::chrono::duration<double>(*time).count());
        worst = std::max(worst, Ms(*time));
    }
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_StuckWorkerEnd)->ArgName("at")->Arg(CloseInScan)->Arg(EscInShow)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

using bench::BM_ShareFd;
using bench::BM_ShareFind;
BENCHMARK(BM_ShareFd)->ArgName("folders")->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShareFind)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0)
        return RunChild(StuckAt(std::atoi(argv[2])), argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
