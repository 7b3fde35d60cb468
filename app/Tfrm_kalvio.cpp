// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Tfrm_kalvio.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <cstdio>

#include "slideshow/Fonts.h"
#include "app/desktop/DesktopIdleInhibitor.h"
#include "app/HomePage.h"
#include "app/IntervalSpinBox.h"
#include "app/LinkLabel.h"
#include "app/WindowPlacement.h"
#include "app/MessageBoxes.h"
#include "app/PlaySequence.h"
#include "app/ErrorReport.h"
#include "app/FolderProbe.h"
#include "app/ShowScanJob.h"
#include "app/Tfrm_about.h"
#include "platform/media/MediaPlayer.h"
#include "platform/system/SingleInstanceLock.h"
#include "slideshow/MusicSequencer.h"
#include "slideshow/Tfrm_slide.h"

namespace kalvio {

namespace {

std::string NativePath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

template <typename Widget, typename... Args>
Widget* Place(QWidget* parent, const char* name, QRect place, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    widget->setGeometry(place);
    return widget;
}

// A title over a framed panel: no bevel, opaque, text centred.
QLabel* CaptionPanel(QWidget* parent, const char* name, QRect place, const char* text)
{
    auto* panel = Place<QLabel>(parent, name, place, QString::fromUtf8(text));
    panel->setAlignment(Qt::AlignCenter);
    panel->setAutoFillBackground(true);
    return panel;
}

QFrame* FramedPanel(QWidget* parent, const char* name, QRect place)
{
    auto* panel = Place<QFrame>(parent, name, place);
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken);   // an etched frame
    panel->setLineWidth(1);
    panel->setMidLineWidth(0);
    return panel;
}

QLineEdit* PathBox(QWidget* parent, const char* name, QRect place)
{
    auto* box = Place<QLineEdit>(parent, name, place);
    box->setReadOnly(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    box->setPalette(palette);
    return box;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, QRect place, const char* text, bool checked)
{
    auto* box = Place<QCheckBox>(parent, name, place, QString::fromUtf8(text));
    box->setChecked(checked);
    return box;
}

QPushButton* Button(QWidget* parent, const char* name, QRect place, const char* text)
{
    auto* button = Place<QPushButton>(parent, name, place, QString::fromUtf8(text));
    button->setFocusPolicy(Qt::StrongFocus);   // takes the focus when clicked
    button->setAutoDefault(false);
    return button;
}

QLabel* Label(QWidget* parent, const char* name, QRect place, const char* text)
{
    return Place<QLabel>(parent, name, place, QString::fromUtf8(text));
}

void SetTextColour(QWidget* widget, QColor colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

}

// Play's view of the world, over the window's services and music.
class Tfrm_kalvio::Actions : public PlayActions {
public:
    explicit Actions(Tfrm_kalvio& window) : w_(window) { }

    void Warn(const std::string& text) override
    {
        w_.services_.warn(&w_, QString::fromStdString(text));
    }
    void StartMusic() override { w_.playmusic(); }
    void TakeFirstTrack() override { w_.Music().TakeStart(); }
    void SetMusicTimer(bool enabled) override
    {
        if (enabled)
            w_.Timer->start();
        else
            w_.Timer->stop();
    }
    void StopMusic() override
    {
        try {
            w_.Music().Stop();
        } catch (const MediaError& e) {
            // A track that would not stop is reported here, once, so that the
            // program still ends after the show.
            if (KalvioApplication* app = KalvioApplication::Instance())
                app->ReportError(e.what());
        }
    }
    void RunSlideshow(int intervalMs) override { w_.services_.runSlideshow(w_.state_, intervalMs); }
    void CloseSettings() override { w_.close(); }

private:
    Tfrm_kalvio& w_;
};

Tfrm_kalvio::Tfrm_kalvio(ShowState& state, Services services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , state_(state)
    , services_(std::move(services))
{
    if (!services_.acquireSingleCopy) {
        services_.acquireSingleCopy = [this] {
            lock_ = std::make_unique<SingleInstanceLock>("kalvio");
            try {
                return lock_->Acquire() == SingleInstanceLock::Result::Acquired;
            } catch (const std::exception& e) {
                // No usable lock file: run without the guard rather than not at
                // all, and say why.
                std::fprintf(stderr, "kalvio: %s; starting without the single-copy guard\n", e.what());
                return true;
            }
        };
    }
    if (!services_.alreadyRunningBox)
        services_.alreadyRunningBox = ShowAlreadyRunningBox;
    if (!services_.browseFolder) {
        services_.browseFolder = [](QWidget* owner, const QString& start) -> std::optional<QString> {
            const QString folder = QFileDialog::getExistingDirectory(owner, QString(), start);
            if (folder.isEmpty())
                return std::nullopt;
            return folder;
        };
    }
    if (!services_.warn)
        services_.warn = ShowWarningBox;
    if (!services_.scanFolders)
        services_.scanFolders = ScanShowFolders;
    if (!services_.scanMusic)
        services_.scanMusic = [](const std::string& folder, ScanProgress* progress) {
            return ScanMusicShowFolder(folder, progress);
        };
    if (!services_.runSlideshow) {
        // The show covers the screen that holds this window.
        services_.runSlideshow = [this](ShowState& show, int intervalMs) {
            DesktopIdleInhibitor awake;
            Tfrm_slide slide(show, screen(), &awake);
            slide.Timer->setInterval(intervalMs);
            slide.exec();
        };
    }
    if (!services_.showAbout)
        services_.showAbout = [] { ShowAboutBox(); };
    if (!services_.openUrl)
        services_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    setObjectName("frm_kalvio");
    setWindowTitle("Kalvio");
    setFixedSize(637, 303);
    setFont(SansFont(11));
    BuildControls();
    FormCreate();
}

Tfrm_kalvio::~Tfrm_kalvio()
{
    scan_.reset();
    abandoned_.reset();
    // The music stops and the track is released before the window goes.
    music_.reset();
    MediaPlayer.reset();
}

void Tfrm_kalvio::BuildControls()
{
    Panel5 = FramedPanel(this, "Panel5", { 8, 16, 608, 73 });
    e_imagedir = PathBox(Panel5, "e_imagedir", { 12, 18, 470, 21 });
    cb_image_subdir = CheckBox(Panel5, "cb_image_subdir", { 12, 45, 97, 17 }, "包含子文件夹", true);
    RzButton1 = Button(Panel5, "RzButton1", { 491, 16, 102, 25 }, "选择文件夹...");

    Panel1 = FramedPanel(this, "Panel1", { 8, 108, 608, 73 });
    e_musicdir = PathBox(Panel1, "e_musicdir", { 12, 18, 470, 21 });
    cb_usemusic = CheckBox(Panel1, "cb_usemusic", { 12, 45, 97, 17 }, "开启背景音乐", false);
    RzButton2 = Button(Panel1, "RzButton2", { 491, 16, 102, 25 }, "选择文件夹...");
    cb_music_subdir = CheckBox(Panel1, "cb_music_subdir", { 115, 45, 97, 17 }, "包含子文件夹", true);

    // The titles sit on the top edges of the frames, above them.
    Panel2 = CaptionPanel(this, "Panel2", { 18, 8, 189, 17 }, "选择要播放的图片所在的文件夹：");
    Panel6 = CaptionPanel(this, "Panel6", { 18, 100, 207, 17 }, "选择要播放的背景音乐所在的文件夹：");

    cb_circle = CheckBox(this, "cb_circle", { 20, 192, 85, 17 }, "循环播放", false);
    Label1 = Label(this, "Label1", { 117, 195, 84, 13 }, "图片切换间隔：");
    interupttime = Place<IntervalSpinBox>(this, "interupttime", { 203, 191, 65, 21 });
    interupttime->setRange(6, 60);
    interupttime->setValue(6);
    interupttime->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    Label2 = Label(this, "Label2", { 278, 195, 12, 13 }, "秒");
    Label3 = Label(this, "Label3", { 20, 233, 307, 13 }, "播放期间按空格键暂停，ESC键退出。也可右键菜单控制。");
    SetTextColour(Label3, Qt::red);

    RzButton5 = Button(this, "RzButton5", { 344, 227, 85, 25 }, "关于");
    RzButton3 = Button(this, "RzButton3", { 438, 227, 85, 25 }, "播放");
    RzButton4 = Button(this, "RzButton4", { 531, 227, 85, 25 }, "关闭");

    Panel7 = FramedPanel(this, "Panel7", { 0, 266, 637, 37 });
    Label4 = Label(Panel7, "Label4", { 11, 11, 60, 13 }, "软件主页：");
    l_info = Place<LinkLabel>(Panel7, "l_info", { 77, 11, 90, 13 }, HomePageCaption());
    SetTextColour(l_info, QColor(0x80, 0x00, 0x00));

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setInterval(1000);

    // Over the free right-hand part of the bottom panel, hidden but while
    // Play scans, so the window is as it was once the scan is over.
    scanNote = Place<QLabel>(Panel7, "scanNote", { 300, 11, 325, 13 });
    scanNote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    scanNote->hide();
    scanPoll_ = new QTimer(this);
    scanPoll_->setInterval(100);
    connect(scanPoll_, &QTimer::timeout, this, &Tfrm_kalvio::ShowScanProgress);
    // Esc abandons a scan, as a second press of Play does.
    cancelScan_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelScan_->setEnabled(false);
    connect(cancelScan_, &QShortcut::activated, this, &Tfrm_kalvio::AbandonScan);
    startProbe_ = new FolderProbe(this);
    firstTrackLimit_ = new QTimer(this);
    firstTrackLimit_->setSingleShot(true);
    connect(firstTrackLimit_, &QTimer::timeout, this, &Tfrm_kalvio::CheckFirstTrack);

    // Keyboard order: the picture frame, the music frame, loop, play, close,
    // about, then the interval.
    QWidget* order[] = { e_imagedir, cb_image_subdir, RzButton1, e_musicdir, cb_usemusic, RzButton2,
                         cb_music_subdir, cb_circle, RzButton3, RzButton4, RzButton5, interupttime };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(RzButton1, &QPushButton::clicked, this, &Tfrm_kalvio::RzButton1Click);
    connect(RzButton2, &QPushButton::clicked, this, &Tfrm_kalvio::RzButton2Click);
    connect(RzButton3, &QPushButton::clicked, this, &Tfrm_kalvio::RzButton3Click);
    connect(RzButton4, &QPushButton::clicked, this, &Tfrm_kalvio::RzButton4Click);
    connect(RzButton5, &QPushButton::clicked, this, &Tfrm_kalvio::RzButton5Click);
    connect(l_info, &LinkLabel::clicked, this, &Tfrm_kalvio::l_infoClick);
    connect(l_info, &LinkLabel::mouseEntered, this, &Tfrm_kalvio::l_infoMouseEnter);
    connect(l_info, &LinkLabel::mouseLeft, this, &Tfrm_kalvio::l_infoMouseLeave);
    connect(Timer, &QTimer::timeout, this, &Tfrm_kalvio::TimerTimer);
    // Music switched on: the player is made now and prepares GStreamer in the
    // background, so that the first track's open does not have to.
    connect(cb_usemusic, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            Music();
    });
}

void Tfrm_kalvio::FormCreate()
{
    if (!services_.acquireSingleCopy()) {
        refused_ = true;
        services_.alreadyRunningBox(this);
        return;
    }
    state_.PictureList.clear();
    state_.MusicList.clear();
}

void Tfrm_kalvio::FormClose()
{
    if (formClosed_)
        return;
    formClosed_ = true;
    // Whatever the scans wait for, the program does not.
    StopScanDisplay();
    startingMusic_ = false;
    firstTrackLimit_->stop();
    scan_.reset();
    abandoned_.reset();
    state_.PictureList.clear();
    state_.MusicList.clear();
}

void Tfrm_kalvio::ChooseFolder(std::function<void(const QString& folder)> use)
{
    if (browsing_)
        return; // pressed again while the start folder is asked
    browsing_ = true;
    // The browser reads its start folder on this thread, and on a share that
    // no longer answers it would never return: the folder is asked first, on
    // a thread of its own. Without a last folder the browser starts at the
    // working folder.
    const QString start = lastFolder_;
    const QString asked = start.isEmpty() ? QDir::currentPath() : start;
    startProbe_->Ask(NativePath(asked), services_.startFolderLimit, [this, start, use](bool answered) {
        struct Done {
            bool& browsing;
            ~Done() { browsing = false; }
        } done { browsing_ };
        if (std::optional<QString> chosen = services_.browseFolder(this, answered ? start : QDir::homePath()))
            lastFolder_ = *chosen;
        // Confirmed or not, the box gets the browser's folder.
        use(lastFolder_);
    });
}

void Tfrm_kalvio::RzButton1Click()
{
    ChooseFolder([this](const QString& folder) {
        e_imagedir->setText(folder);
        if (TrimText(NativePath(e_musicdir->text())).empty())
            e_musicdir->setText(folder);
    });
}

void Tfrm_kalvio::RzButton2Click()
{
    ChooseFolder([this](const QString& folder) { e_musicdir->setText(folder); });
}

void Tfrm_kalvio::RzButton3Click()
{
    if (scan_) {
        AbandonScan(); // pressed again while scanning
        return;
    }
    interupttime->interpretText();
    PlayChoices choices;
    choices.ImageDir = NativePath(e_imagedir->text());
    choices.MusicDir = NativePath(e_musicdir->text());
    choices.UseMusic = cb_usemusic->isChecked();
    choices.Loop = cb_circle->isChecked();
    choices.IntervalSeconds = interupttime->value();
    Actions actions(*this);
    if (const std::optional<ShowFolders> folders = PlaySequence(state_, actions).Begin(choices)) {
        scanChoices_ = choices;
        StartScan(*folders);
    }
}

void Tfrm_kalvio::StartScan(const ShowFolders& folders)
{
    if (abandoned_ && abandoned_->Folders() == folders) {
        scan_ = std::move(abandoned_);
    } else {
        // Cancelled; its threads, wherever they wait, end by themselves.
        abandoned_.reset();
        scan_ = std::make_unique<ShowScanJob>(services_.scanFolders, services_.scanMusic, folders,
                                              services_.musicOffLimit);
        // Queued: the job is dropped in ScanFinished, not inside its own
        // signal; the guard drops the call of a job already gone.
        connect(scan_.get(), &ShowScanJob::finished, this,
                [this, job = QPointer<ShowScanJob>(scan_.get())] {
                    if (job)
                        ScanFinished(job);
                },
                Qt::QueuedConnection);
    }
    ShowSearching();
    ShowScanProgress();
    scanPoll_->start();
}

void Tfrm_kalvio::ShowSearching()
{
    cancelScan_->setEnabled(true);
    setCursor(Qt::BusyCursor);
    scanNote->show();
}

void Tfrm_kalvio::ShowScanProgress()
{
    if (scan_)
        scanNote->setText(QString::fromUtf8("正在查找图片，已找到 %1 张...").arg(scan_->PicturesFound()));
}

void Tfrm_kalvio::StopScanDisplay()
{
    scanPoll_->stop();
    scanNote->hide();
    scanNote->clear();
    unsetCursor();
    cancelScan_->setEnabled(false);
}

void Tfrm_kalvio::AbandonScan()
{
    if (startingMusic_) {
        startingMusic_ = false;
        firstTrackLimit_->stop();
        StopScanDisplay();
        // The track may still start while its job ends: it is stopped then.
        Music().Halt();
        haltedStart_ = true;
        return;
    }
    if (!scan_)
        return;
    StopScanDisplay();
    // Left running for a new Play of the same folders; the one abandoned
    // before is cancelled.
    abandoned_ = std::move(scan_);
}

void Tfrm_kalvio::ScanFinished(ShowScanJob* job)
{
    if (job == abandoned_.get()) {
        // Ended while nobody waited: its result may be stale by the next Play.
        abandoned_.reset();
        return;
    }
    if (job != scan_.get())
        return;
    StopScanDisplay();
    ShowScanResult result;
    {
        // Dropped before the show: a music scan past its limit is cancelled.
        const std::unique_ptr<ShowScanJob> done = std::move(scan_);
        result = done->TakeResult();
    }
    // From here on as if the scans had run in the click: the same warnings,
    // errors (to the general error report) and show.
    Actions actions(*this);
    if (PlaySequence(state_, actions).Finish(scanChoices_, std::move(result))
        == PlaySequence::Outcome::StartingMusic)
        WaitForFirstTrack();
}

void Tfrm_kalvio::WaitForFirstTrack()
{
    startingMusic_ = true;
    haltedStart_ = false;
    scanNote->setText(QString::fromUtf8("正在打开背景音乐..."));
    ShowSearching();
    // The end of the start's job comes through MusicJobEnded; this timer
    // comes back for a share that holds it.
    CheckFirstTrack();
}

void Tfrm_kalvio::CheckFirstTrack()
{
    if (!startingMusic_)
        return;
    std::chrono::milliseconds checkAgainIn {};
    if (Music().StartProgress(checkAgainIn) == MusicSequencer::Start::Pending) {
        firstTrackLimit_->start(checkAgainIn);
        return;
    }
    // Played, failed, or held by a share asleep: Play goes on.
    startingMusic_ = false;
    firstTrackLimit_->stop();
    StopScanDisplay();
    Actions actions(*this);
    PlaySequence(state_, actions).Show(scanChoices_);
}

void Tfrm_kalvio::MusicJobEnded()
{
    if (startingMusic_) {
        CheckFirstTrack();
    } else if (haltedStart_ && !Music().Busy()) {
        haltedStart_ = false;
        Actions(*this).StopMusic();
    }
}

void Tfrm_kalvio::RzButton4Click()
{
    close();
}

void Tfrm_kalvio::RzButton5Click()
{
    services_.showAbout();
}

void Tfrm_kalvio::l_infoClick()
{
    services_.openUrl(QUrl(QString::fromUtf8(HomePageAddress)));
}

void Tfrm_kalvio::l_infoMouseEnter()
{
    UnderlineOnEnter(*l_info);
}

void Tfrm_kalvio::l_infoMouseLeave()
{
    PlainOnLeave(*l_info);
}

MusicSequencer& Tfrm_kalvio::Music()
{
    if (!music_) {
        // Tracks are opened on the music's worker: an open may take as long
        // as a slow machine needs, the GUI's calls keep the short limit.
        MediaPlayer = std::make_unique<kalvio::MediaPlayer>(services_.audioSink, kalvio::MediaPlayer::defaultWaitLimit,
                                                            kalvio::MediaPlayer::workerOpenLimit);
        music_ = std::make_unique<MusicSequencer>(*MediaPlayer, state_.MusicList, state_.MusicIndex);
        // Posted: the hook runs on the music's worker. The sequencer goes
        // before the window and takes its hook with it.
        music_->OnJobEnd([this] {
            QMetaObject::invokeMethod(this, &Tfrm_kalvio::MusicJobEnded, Qt::QueuedConnection);
        });
    }
    return *music_;
}

void Tfrm_kalvio::playmusic()
{
    Music().playmusic();
}

void Tfrm_kalvio::TimerTimer()
{
    Music().TimerTimer();
}

void Tfrm_kalvio::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    CentreOnFirstShow(*this, placed_);
}

void Tfrm_kalvio::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    FormClose();
    emit closed();
}

}
