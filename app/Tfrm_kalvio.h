// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/PlaySequence.h"
#include "catalogue/ShowScan.h"
#include "slideshow/ShowState.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QTimer;

namespace kalvio {

class FolderProbe;
class IntervalSpinBox;
class LinkLabel;
class MediaPlayer;
class MusicSequencer;
class ShowScanJob;
class SingleInstanceLock;

// Everything the window asks of the outside world; each empty member
// gets the real one.
struct SettingsServices {
    // Takes the single-copy lock; false when another copy runs.
    std::function<bool()> acquireSingleCopy;
    std::function<void(QWidget* owner)> alreadyRunningBox;
    // The folder browser: the chosen folder, or nothing when cancelled.
    std::function<std::optional<QString>(QWidget* owner, const QString& start)> browseFolder;
    // How long the browser's start folder may take to answer before the
    // browser starts at the home folder instead.
    std::chrono::milliseconds startFolderLimit { 500 };
    std::function<void(QWidget* owner, const QString& text)> warn;
    // Play's folder scans (ScanShowFolders; the music folder given only
    // with music on); runs on a thread of its own.
    std::function<ShowScanResult(const std::string& pictureFolder, const std::optional<std::string>& musicFolder,
                                 ScanProgress* progress)> scanFolders;
    // With music off, the music folder's scan (ScanMusicShowFolder), on a
    // thread of its own beside the pictures', and how long Play waits for
    // it once the pictures are found; past that the show starts without it.
    std::function<ShowScanResult(const std::string& musicFolder, ScanProgress* progress)> scanMusic;
    std::chrono::milliseconds musicOffLimit { 1000 };
    // Creates the slideshow window, sets its timer and shows it modally; the
    // real one keeps the screen awake while it shows.
    std::function<void(ShowState& state, int intervalMs)> runSlideshow;
    std::function<void()> showAbout;
    std::function<void(const QUrl&)> openUrl;
    // GStreamer description of the music output.
    std::string audioSink = "autoaudiosink";
};

// The settings window, the program's main window: picture and music folders,
// music and loop switches, the interval, and the buttons that play a show,
// close the program and open the about window. It owns the music player and
// the music timer that run beside a show. Play scans the folders on a thread
// of its own: meanwhile the window paints and answers, shows the busy pointer
// and the pictures found so far; Esc or a second press of Play abandons the
// scan and the window is as before Play, and Close ends the program at once,
// whatever the scan waits for. The scan abandoned last runs on: a new Play of
// the same folders takes it up again, so pressing Play and Esc over and over
// on a share that does not answer leaves no pile of stuck scans; a Play of
// other folders cancels it. With music on, Play then waits the same way for
// the first track's start, told by the music's worker when it has ended: a
// track that does not open ends Play with its error and no show; a share that
// does not answer within the no-answer limit does not hold the show. The
// folder browser starts at its last folder only when that folder answers in
// time (asked off the GUI thread), else at the home folder.
class Tfrm_kalvio : public QWidget {
    Q_OBJECT
public:
    using Services = SettingsServices;

    explicit Tfrm_kalvio(ShowState& state = TheShowState(), Services services = {});
    ~Tfrm_kalvio() override;

    // True when another copy was running: the window must not be shown and the
    // program ends with exit code 0.
    bool Refused() const { return refused_; }

    QLabel* Panel2;
    QFrame* Panel5;
    QLineEdit* e_imagedir;
    QCheckBox* cb_image_subdir;
    QPushButton* RzButton1;
    QFrame* Panel1;
    QLineEdit* e_musicdir;
    QCheckBox* cb_usemusic;
    QPushButton* RzButton2;
    QCheckBox* cb_music_subdir;
    QLabel* Panel6;
    QCheckBox* cb_circle;
    QLabel* Label1;
    IntervalSpinBox* interupttime;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* RzButton5;
    QPushButton* RzButton3;
    QPushButton* RzButton4;
    QFrame* Panel7;
    QLabel* Label4;
    LinkLabel* l_info;
    QTimer* Timer;
    // The scan's progress, shown only while Play scans.
    QLabel* scanNote;

    void FormCreate();
    void FormClose();
    void RzButton1Click();
    void RzButton2Click();
    void RzButton3Click();
    void RzButton4Click();
    void RzButton5Click();
    void l_infoClick();
    void l_infoMouseEnter();
    void l_infoMouseLeave();
    // Music: start the track at MusicIndex, and the once-a-second check.
    void playmusic();
    void TimerTimer();
    // True while Play searches: its folder scans run, or, with music on, it
    // waits for the first track's start.
    bool Scanning() const { return scan_ != nullptr || startingMusic_; }
    // True from a choose button's press until its box is written.
    bool Browsing() const { return browsing_; }

signals:
    // The window has closed; the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Actions;
    void BuildControls();
    // Asks the browser's start folder, opens the browser and hands `use` the
    // browser's folder; from the event loop.
    void ChooseFolder(std::function<void(const QString& folder)> use);
    MusicSequencer& Music();
    void StartScan(const ShowFolders& folders);
    void ScanFinished(ShowScanJob* job);
    void ShowSearching();
    void StopScanDisplay();
    // Play's wait for the first track, through the event loop: the show
    // starts once the track plays or its share is found asleep.
    void WaitForFirstTrack();
    void CheckFirstTrack();
    // A job of the music's worker has ended (posted from the worker).
    void MusicJobEnded();
    void AbandonScan();
    void ShowScanProgress();

    ShowState& state_;
    Services services_;
    bool refused_ = false;
    bool placed_ = false;
    bool formClosed_ = false;
    QString lastFolder_;
    std::unique_ptr<SingleInstanceLock> lock_;
    std::unique_ptr<kalvio::MediaPlayer> MediaPlayer;
    std::unique_ptr<MusicSequencer> music_;
    std::unique_ptr<ShowScanJob> scan_;
    std::unique_ptr<ShowScanJob> abandoned_; // the one left running, if any
    PlayChoices scanChoices_;
    QTimer* scanPoll_ = nullptr;
    QShortcut* cancelScan_ = nullptr;
    QTimer* firstTrackLimit_ = nullptr;   // when to ask whether its share sleeps
    bool startingMusic_ = false;          // Play waits for the first track
    bool haltedStart_ = false;            // that wait was cancelled: stop the music once its job ends
    FolderProbe* startProbe_ = nullptr;
    bool browsing_ = false;
};

}
