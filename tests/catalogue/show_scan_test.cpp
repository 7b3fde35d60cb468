// SPDX-License-Identifier: GPL-3.0-or-later
// The scan of both show folders (one concurrent walk) against the sequential
// picture and music scans it stands for.
#include "catalogue/FolderScan.h"
#include "catalogue/ShowScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <future>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "support/StalledMount.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;
using kalvio::InOutError;
using kalvio::ShowScanResult;
using Rows = std::vector<std::string>;

namespace {

// The music folder's scan alone, into r.
void SequentialMusicScan(const std::string& music, ShowScanResult& r)
{
    try {
        kalvio::ScanMusicFolder(music, r.music);
    } catch (const InOutError& e) {
        r.musicError = e;
    }
}

// The two scans one after the other, as Play made them before.
ShowScanResult SequentialScans(const std::string& pictures, const std::string& music)
{
    ShowScanResult r;
    try {
        kalvio::ScanPictureFolder(pictures, r.pictures);
    } catch (const InOutError& e) {
        r.pictureError = e;
    }
    if (!r.pictureError)
        SequentialMusicScan(music, r);
    return r;
}

std::optional<int> CodeOf(const std::optional<InOutError>& e)
{
    return e ? std::optional<int>(e->Code()) : std::nullopt;
}

std::string Describe(const ShowScanResult& r)
{
    std::ostringstream out;
    auto rows = [&](const char* what, const Rows& list, const std::optional<InOutError>& e) {
        out << what << " (" << list.size() << ", error " << (e ? std::to_string(e->Code()) : "none") << "):\n";
        for (const std::string& row : list)
            out << "  " << row << "\n";
    };
    rows("pictures", r.pictures, r.pictureError);
    rows("music", r.music, r.musicError);
    return out.str();
}

// Every list, error code and partial list the same.
bool Same(const ShowScanResult& a, const ShowScanResult& b)
{
    return a.pictures == b.pictures && CodeOf(a.pictureError) == CodeOf(b.pictureError) &&
           a.music == b.music && CodeOf(a.musicError) == CodeOf(b.musicError);
}

// Root reads every folder whatever its mode. While one of these lives, this
// thread (and the threads it starts) does without that power, so modes count
// as they do for a user; nothing changes for a process that never had it.
class WithoutOverride {
public:
    WithoutOverride()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~WithoutOverride()
    {
        if (lowered_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutOverride(const WithoutOverride&) = delete;
    WithoutOverride& operator=(const WithoutOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] {};
    bool lowered_ = false;
};

// A tree made on disk from a seed, described line by line as it is made so a
// failing case can show it.
class RandomTree {
public:
    RandomTree(const std::string& root, unsigned seed) : root_(root), random_(seed)
    {
        fs::create_directories(root_);
        Fill(root_, 0);
        // The two folders the disjoint case scans.
        for (const char* top : {"x", "y"}) {
            if (!fs::exists(root_ + "/" + top)) {
                Folder(root_ + "/" + top);
                Fill(root_ + "/" + top, 1);
            }
        }
        if (Chance(30))
            LongChain();
        // Modes last, so the tree could be made.
        for (const std::string& folder : folders_) {
            const int pick = Pick(20);
            const mode_t mode = pick == 0 ? 0 : pick == 1 ? 0111 : pick == 2 ? 0444 : 0755;
            if (mode != 0755 && folder != root_ + "/x" && folder != root_ + "/y") {
                ::chmod(folder.c_str(), mode);
                log_ << "mode " << std::oct << mode << std::dec << " " << Rel(folder) << "\n";
            }
        }
    }
    ~RandomTree()
    {
        for (const std::string& folder : folders_)
            ::chmod(folder.c_str(), 0755);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // A folder of the tree other than its root, by the seed.
    std::string SomeFolder()
    {
        return folders_.empty() ? root_ + "/x" : folders_[Pick(int(folders_.size()))];
    }
    const std::string& Root() const { return root_; }
    std::string Log() const { return log_.str(); }

private:
    // Names that sort next to each other: case, prefixes, separators.
    static constexpr const char* kNames[] = {"a.jpg", "A.JPG", "a.mp3", "a", "A", "a_b.jpeg", "ab.wav",
                                             "b.jpeg", "B.mid", "b", "_c.jpg", "c.txt", "C.Mp3", "z.jpe"};

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool Chance(int percent) { return Pick(100) < percent; }
    std::string Rel(const std::string& path) const { return path.substr(root_.size()); }

    void Folder(const std::string& path)
    {
        ::mkdir(path.c_str(), 0755);
        folders_.push_back(path);
        log_ << "dir  " << Rel(path) << "\n";
    }

    void Fill(const std::string& folder, int depth)
    {
        const int entries = Pick(7);
        for (int i = 0; i < entries; ++i) {
            const std::string path = folder + "/" + kNames[Pick(std::size(kNames))];
            if (fs::symlink_status(path).type() != fs::file_type::not_found)
                continue;
            const int what = Pick(100);
            if (what < 55) {
                const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd >= 0)
                    ::close(fd);
                log_ << "file " << Rel(path) << "\n";
            } else if (what < 85 && depth < 5) {
                Folder(path);
                Fill(path, depth + 1);
            } else {
                // Up, to itself, to the root, to a folder made before, to
                // nothing, to a file, to a pseudo file system.
                const std::string targets[] = {"..", ".", root_, SomeFolder(), "nowhere", "a.jpg", "/proc"};
                const std::string target = targets[Pick(std::size(targets))];
                if (::symlink(target.c_str(), path.c_str()) == 0)
                    log_ << "link " << Rel(path) << " -> " << target << "\n";
            }
        }
    }

    // Folders of 200-byte names, a picture and a track with a longer name at
    // each level. The chain ends where the tracks' paths pass PATH_MAX (often
    // a level before the pictures'), or well past it: each list ends at its
    // own file.
    void LongChain()
    {
        const std::string folder = root_ + "/x";
        const std::string part(200, 'n');
        const std::string track = std::string(150, 't') + ".mp3";
        const size_t end = Chance(50) ? PATH_MAX + 300 : PATH_MAX - track.size() - 1;
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int at = dir;
        for (size_t length = folder.size(); length < end;) {
            ::mkdirat(at, part.c_str(), 0755);
            const int next = ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (at != dir)
                ::close(at);
            at = next;
            if (at < 0)
                break;
            length += part.size() + 1;
            for (const std::string& name : {std::string("p.jpg"), track})
                ::close(::openat(at, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
        if (at >= 0 && at != dir)
            ::close(at);
        ::close(dir);
        log_ << "long chain under /x\n";
    }

    std::string root_;
    std::mt19937 random_;
    std::vector<std::string> folders_;
    std::ostringstream log_;
};

TEST(ShowScan, GivesTheSequentialScansListsOnRandomTrees)
{
    const kalvio::test::TempFolder temp("kalvio-show-scan");
    bool errorsMet = false;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        RandomTree tree(temp.File(std::to_string(seed)), seed);
        const std::string& root = tree.Root();
        struct Relation {
            const char* name;
            std::string pictures;
            std::string music;
        };
        const std::string inner = tree.SomeFolder();
        const Relation relations[] = {
            {"same folder", root, root},
            {"same folder spelt otherwise", root + "/", root + "/x/.."},
            {"music inside pictures", root, inner},
            {"pictures inside music", inner, root},
            {"disjoint", root + "/x", root + "/y"},
        };
        for (const Relation& r : relations) {
            // Both scans, and the music scan alone (as beside the pictures).
            ShowScanResult expected, got, expectedMusic, gotMusic;
            {
                WithoutOverride asAUser;
                expected = SequentialScans(r.pictures, r.music);
                got = kalvio::ScanShowFolders(r.pictures, r.music);
                SequentialMusicScan(r.music, expectedMusic);
                gotMusic = kalvio::ScanMusicShowFolder(r.music);
            }
            errorsMet |= expected.pictureError || expected.musicError;
            EXPECT_TRUE(Same(got, expected))
                << "seed " << seed << ", " << r.name << ": pictures " << r.pictures << ", music " << r.music
                << "\nexpected " << Describe(expected) << "got " << Describe(got) << "tree:\n" << tree.Log();
            EXPECT_TRUE(Same(gotMusic, expectedMusic))
                << "seed " << seed << ", music alone " << r.music << "\nexpected " << Describe(expectedMusic)
                << "got " << Describe(gotMusic) << "tree:\n" << tree.Log();
        }
    }
    EXPECT_TRUE(errorsMet) << "no tree made a scan fail";
}

// More folders than the threads read ahead of the scan before they wait for
// it, walked once for both lists and twice (the music folder inside).
TEST(ShowScan, TreesLargerThanTheReadAheadGiveTheSameLists)
{
    const kalvio::test::TempFolder temp("kalvio-show-large");
    const std::string root = temp.path().string();
    for (int top = 0; top < 30; ++top) {
        for (int sub = 0; sub < 20; ++sub) {
            const std::string folder = root + "/t" + std::to_string(top) + "/s" + std::to_string(sub);
            fs::create_directories(folder);
            for (const char* name : {"/p.jpg", "/m.mp3"})
                ::close(::open((folder + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
    }
    for (const std::string& music : {root, root + "/t7"}) {
        const ShowScanResult expected = SequentialScans(root, music);
        const ShowScanResult got = kalvio::ScanShowFolders(root, music);
        ASSERT_EQ(expected.pictures.size(), 600u);
        EXPECT_TRUE(Same(got, expected)) << "music " << music << "\nexpected " << Describe(expected) << "got "
                                         << Describe(got);
    }
}

// A small tree with one fault at a time, in the part only the picture scan
// walks, only the music scan walks, or both.
TEST(ShowScan, OneWalkForBothListsKeepsEachScansError)
{
    struct Case {
        const char* fault; // a folder made unreadable, or none
        const char* pictures;
        const char* music;
        bool pictureFails;
        bool musicFails;
    };
    const Case cases[] = {
        {nullptr, "", "", false, false},
        {nullptr, "", "m", false, false},
        {nullptr, "m", "", false, false},
        {nullptr, "p", "m", false, false},
        {"m/k", "", "", true, false},     // met by both: the picture scan's ends Play
        {"m/k", "", "m", true, false},
        {"m/k", "p", "m", false, true},   // only the music scan meets it
        {"m/k", "m", "", true, false},
        {"p/k", "", "m", true, false},    // only the picture scan meets it
        {"p/k", "m", "", false, true},
        {"p/k", "p", "m", true, false},
        {"z", "", "m", true, false},      // after the music folder in the picture walk
    };
    const kalvio::test::TempFolder temp("kalvio-show-relations");
    const std::string root = temp.path().string();
    for (const char* rel : {"a.jpg", "a.mp3", "m/s.mp3", "m/x.jpg", "m/k/deep.mp3", "m/l.jpg", "p/q.JPG",
                            "p/k/in.jpg", "p/r.wav", "y.jpeg", "z/last.mp3"}) {
        fs::create_directories(fs::path(root + "/" + rel).parent_path());
        ::close(::open((root + "/" + rel).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
    for (const Case& c : cases) {
        const std::string trace = std::string("fault ") + (c.fault ? c.fault : "none") + ", pictures /" +
                                  c.pictures + ", music /" + c.music;
        SCOPED_TRACE(trace);
        const std::string faulty = c.fault ? root + "/" + c.fault : "";
        if (c.fault)
            ::chmod(faulty.c_str(), 0);
        ShowScanResult expected, got;
        kalvio::ScanProgress progress;
        {
            WithoutOverride asAUser;
            expected = SequentialScans(root + "/" + c.pictures, root + "/" + c.music);
            got = kalvio::ScanShowFolders(root + "/" + c.pictures, root + "/" + c.music, &progress);
        }
        if (c.fault)
            ::chmod(faulty.c_str(), 0755);
        if (c.fault && ::geteuid() == 0 && !expected.pictureError && !expected.musicError)
            GTEST_SKIP() << "root reads unreadable folders here";
        EXPECT_EQ(expected.pictureError.has_value(), c.pictureFails) << Describe(expected);
        EXPECT_EQ(expected.musicError.has_value(), c.musicFails) << Describe(expected);
        EXPECT_TRUE(Same(got, expected)) << "expected " << Describe(expected) << "got " << Describe(got);
        EXPECT_EQ(progress.picturesFound.load(), got.pictures.size());
    }
}

// The music scan alone fails on an empty folder text and a missing folder
// as the sequential scan does, and finds the tracks of a folder that answers.
TEST(ShowScan, MusicScanAloneFailsAsTheSequentialScan)
{
    const kalvio::test::TempFolder temp("kalvio-show-music-alone");
    const std::string root = temp.path().string();
    fs::create_directories(root + "/sub");
    ::close(::open((root + "/sub/a.mp3").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    for (const std::string& music : {std::string(), root + "/gone", root}) {
        SCOPED_TRACE("music '" + music + "'");
        ShowScanResult expected;
        SequentialMusicScan(music, expected);
        const ShowScanResult got = kalvio::ScanMusicShowFolder(music);
        EXPECT_EQ(expected.musicError.has_value(), music != root) << Describe(expected);
        EXPECT_TRUE(Same(got, expected)) << "expected " << Describe(expected) << "got " << Describe(got);
    }
}

// A cancelled scan of a share that never answers returns without waiting for
// its threads, stuck in calls there. (A scan cancelled later may be in such a
// call itself: its caller leaves it behind.)
TEST(ShowScan, CancelledScanOfAStalledShareReturns)
{
    kalvio::test::StalledMount mount;
    if (!mount.Usable())
        GTEST_SKIP() << mount.Why();
    auto progress = std::make_shared<kalvio::ScanProgress>();
    progress->cancel = true;
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> done = ended->get_future();
    std::thread([progress, ended, folder = mount.Path("photos")] {
        kalvio::ScanShowFolders(folder, folder, progress.get());
        ended->set_value();
    }).detach();
    // Only a scan that waits for the share reaches this bound.
    EXPECT_EQ(done.wait_for(std::chrono::seconds(kalvio::test::StalledMount::selfReleaseS / 2)),
              std::future_status::ready);
}

}
