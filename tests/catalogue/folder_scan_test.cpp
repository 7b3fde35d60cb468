// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FolderScan.h"
#include "catalogue/PathParts.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kalvio::InOutError;
using Rows = std::vector<std::string>;

namespace {

enum class Filter { Picture, Music };

void Scan(Filter filter, const std::string& folder, Rows& list)
{
    if (filter == Filter::Picture)
        kalvio::ScanPictureFolder(folder, list);
    else
        kalvio::ScanMusicFolder(folder, list);
}

// What a scan run in a child process gave: the rows appended, and the error
// code when it ended with an InOutError. `skipped` names why the child could
// not set itself up.
struct ChildScan {
    Rows rows;
    std::optional<int> errorCode;
    std::string skipped;
};

// Runs `setup` then a picture scan of `folder` in a forked child, so a test can
// drop privileges, change its root or lower its descriptor limit without
// touching this process. `setup` returns an empty text or why it failed.
ChildScan ScanInChild(const std::string& folder, const std::function<std::string()>& setup)
{
    // The sanitizers' runtime reads /proc the first time it checks an object of a
    // type; let it meet the error type here, before the child runs out of descriptors.
    try {
        throw InOutError::FromSystemError(EMFILE);
    } catch (const InOutError& e) {
        (void)e.Code();
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {{}, {}, "pipe failed"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string out;
        const std::string why = setup();
        if (!why.empty()) {
            out = "S" + why;
        } else {
            Rows rows;
            try {
                kalvio::ScanPictureFolder(folder, rows);
                out = "OK";
            } catch (const InOutError& e) {
                out = "E" + std::to_string(e.Code());
            }
            for (const std::string& r : rows) {
                out.push_back('\0');
                out += r;
            }
        }
        const char* p = out.data();
        size_t left = out.size();
        while (left > 0) {
            const ssize_t n = ::write(pipeFds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string in;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        in.append(buf, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);

    ChildScan result;
    if (!WIFEXITED(status) || in.empty()) {
        ADD_FAILURE() << "scan child died";
        return result;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = in.find('\0', start);
        parts.push_back(in.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (parts[0][0] == 'S') {
        result.skipped = parts[0].substr(1);
        return result;
    }
    if (parts[0][0] == 'E')
        result.errorCode = std::stoi(parts[0].substr(1));
    result.rows.assign(parts.begin() + 1, parts.end());
    return result;
}

std::string Repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// Sets this process's descriptor limit (for a scan child); returns why not.
std::string LimitDescriptors(rlim_t limit)
{
    struct rlimit rl;
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_max < limit)
        return "descriptor limit below " + std::to_string(limit);
    rl.rlim_cur = limit;
    if (::setrlimit(RLIMIT_NOFILE, &rl) != 0)
        return "cannot set the descriptor limit";
    return {};
}

// A temporary tree built from relative paths: "a/1.jpg" makes a file (and its
// folders), "a/b/" makes a folder.
class ScanTree : public ::testing::Test {
protected:
    void SetUp() override { MakeRoot("/tmp"); }

    void MakeRoot(const std::string& base)
    {
        std::string tmpl = base + "/kalvio-scan-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        ::chmod(root_.c_str(), 0755); // readable by the unprivileged child
    }

    // Large trees are built in memory when the machine has /dev/shm: on a
    // busy disk creating 100,000 files takes minutes.
    void MoveRootToMemory()
    {
        if (::access("/dev/shm", W_OK | X_OK) != 0)
            return;
        fs::remove_all(root_);
        MakeRoot("/dev/shm");
    }

    void TearDown() override
    {
        // Removing a deep tree holds a descriptor per level.
        struct rlimit rl;
        if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
            rl.rlim_cur = rl.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &rl);
        }
        const int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            RemoveContent(fd);
            ::close(fd);
        }
        ::rmdir(root_.c_str());
    }

    // Removes everything inside an open folder by descriptor, so trees deeper
    // than PATH_MAX and folders without permissions go too.
    static void RemoveContent(int dir)
    {
        Rows names;
        {
            const int copy = ::dup(dir);
            DIR* listing = ::fdopendir(copy);
            if (!listing)
                return;
            while (const dirent* d = ::readdir(listing)) {
                if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
                    names.push_back(d->d_name);
            }
            ::closedir(listing);
        }
        for (const std::string& name : names) {
            if (::unlinkat(dir, name.c_str(), 0) == 0)
                continue;
            ::fchmodat(dir, name.c_str(), 0755, 0);
            const int sub = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (sub >= 0) {
                RemoveContent(sub);
                ::close(sub);
            }
            ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
        }
    }

    void fill(std::initializer_list<std::string> paths)
    {
        for (const std::string& rel : paths) {
            const fs::path p = fs::path(root_) / rel;
            if (rel.back() == '/') {
                fs::create_directories(p);
            } else {
                fs::create_directories(p.parent_path());
                const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
                ASSERT_GE(fd, 0) << rel;
                ::close(fd);
            }
        }
    }

    // `levels` folders named `name`, each inside the one before, under folder
    // `rel` of the tree; in every one of them `each` is made as fill() makes
    // it ("e/p.jpg", "x/"). Made by descriptor: paths may pass PATH_MAX.
    void chain(const std::string& rel, const std::string& name, int levels,
               std::initializer_list<std::string> each = {})
    {
        fill({rel + "/"});
        int dir = ::open(path(rel).c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(dir, 0);
        for (int i = 0; i < levels; ++i) {
            ASSERT_EQ(::mkdirat(dir, name.c_str(), 0755), 0) << i;
            const int next = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(dir);
            ASSERT_GE(next, 0) << i;
            dir = next;
            for (const std::string& entry : each)
                MakeAt(dir, entry);
        }
        ::close(dir);
    }

    static void MakeAt(int dir, const std::string& rel)
    {
        const size_t slash = rel.find('/');
        if (slash == std::string::npos) {
            const int fd = ::openat(dir, rel.c_str(), O_CREAT | O_WRONLY, 0644);
            ASSERT_GE(fd, 0) << rel;
            ::close(fd);
            return;
        }
        const std::string folder = rel.substr(0, slash);
        ::mkdirat(dir, folder.c_str(), 0755);
        if (slash + 1 == rel.size())
            return;
        const int sub = ::openat(dir, folder.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(sub, 0) << rel;
        MakeAt(sub, rel.substr(slash + 1));
        ::close(sub);
    }

    void link(const std::string& target, const std::string& rel)
    {
        const fs::path p = fs::path(root_) / rel;
        fs::create_directories(p.parent_path());
        ASSERT_EQ(::symlink(target.c_str(), p.c_str()), 0) << rel;
    }

    std::string path(const std::string& rel) const { return root_ + "/" + rel; }

    // The rows with the tree's own path cut off the front.
    Rows Relative(const Rows& rows, const std::string& prefix) const
    {
        Rows out;
        for (const std::string& r : rows) {
            EXPECT_EQ(r.compare(0, prefix.size(), prefix), 0) << r;
            out.push_back(r.substr(prefix.size()));
        }
        return out;
    }

    Rows ScanRel(Filter filter = Filter::Picture)
    {
        Rows rows;
        Scan(filter, root_, rows);
        return Relative(rows, root_ + "/");
    }

    std::string root_;
};

// ---- Path helpers -------------------------------------------------------

TEST(PathParts, ExtractNameAndExtension)
{
    struct Case {
        const char* path;
        const char* name;
        const char* ext;
    };
    const Case cases[] = {
        {"photo.JPG", "photo.JPG", ".JPG"},
        {"a.b.jpeg", "a.b.jpeg", ".jpeg"},
        {"notes", "notes", ""},
        {".hidden", ".hidden", ".hidden"},
        {"name.", "name.", "."},
        {"/home/u/pics/x.jpg", "x.jpg", ".jpg"},
        {"dir.d/file", "file", ""},      // the dot of a folder does not count
        {"dir/sub/", "sub", ""},         // one trailing separator is dropped
        {"/", "", ""},
        {"", "", ""},
        {"a//b.mp3", "b.mp3", ".mp3"},
        {"x.tar.GZ", "x.tar.GZ", ".GZ"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kalvio::ExtractNamePart(c.path), c.name) << c.path;
        EXPECT_EQ(kalvio::ExtractExtPart(c.path), c.ext) << c.path;
    }
}

TEST(PathParts, JoiningFolderAndNames)
{
    struct Case {
        const char* folder;     // as given to the scan
        const char* subFolder;  // path of sub-folder "s"
        const char* file;       // entry of file "f.jpg"
    };
    const Case cases[] = {
        {"/home/u/pics", "/home/u/pics/s", "/home/u/pics/f.jpg"},
        {"/home/u/pics/", "/home/u/pics/s", "/home/u/pics/f.jpg"},
        {"/home/u/pics//", "/home/u/pics/s", "/home/u/pics//f.jpg"},
        {"/", "/s", "/f.jpg"},
        {"//", "/s", "//f.jpg"},
        {"rel", "rel/s", "rel/f.jpg"},
    };
    for (const Case& c : cases) {
        const std::string_view f = kalvio::DropOneTrailingSeparator(c.folder);
        EXPECT_EQ(kalvio::SubFolderPath(f, "s"), c.subFolder) << c.folder;
        EXPECT_EQ(kalvio::FileEntryPath(f, "f.jpg"), c.file) << c.folder;
    }
}

// ---- Filters and order --------------------------------------------------

struct FilterCase {
    const char* name;
    bool picture;
    bool music;
};

const FilterCase kFilterCases[] = {
    {"a.JPG", true, false},      {"b.jpeg", true, false},    {"image.png", false, false},
    {"readme", false, false},    {"x.jp", true, false},      {"x.jpe", true, false},
    {"x.", true, true},          {"x.jpg;", true, false},    {"x.jpeg;", true, false},
    {"x.jpgx", false, false},    {"x.pg", false, false},     {"x.JpEg", true, false},
    {"a.b.jpeg", true, false},   {"x.jpg.png", false, false}, {"x.png.jpg", true, false},
    {".jpg", true, false},       {"x.j", true, false},       {"x.;", false, false},
    {"song.MP3", false, true},   {"clip.mpeg", false, true}, {"tune.mid", false, true},
    {"x.m", false, true},        {"song.ogg", false, false}, {"x.wav", false, true},
    {"x.WMA", false, true},      {"x.asx", false, true},     {"x.av", false, true},
    {"x.a", false, true},        {"x.d", false, true},       {"x.mpe", false, true},
    {"x.dat;", false, true},     {"x.mp4", false, false},    {"x.3", false, false},
    {"x.wmv", false, true},      {"x.mpg", false, true},     {"x.asf", false, true},
    {"x.mpeg;x", false, false},  {"x.J\xC3\xA9", false, false},
};

TEST(FolderScanFilter, ExtensionTable)
{
    for (const FilterCase& c : kFilterCases) {
        EXPECT_EQ(kalvio::ExtensionPasses(c.name, kalvio::PictureFilter), c.picture) << c.name;
        EXPECT_EQ(kalvio::ExtensionPasses(c.name, kalvio::MusicFilter), c.music) << c.name;
    }
}

TEST_F(ScanTree, BothScansKeepExactlyTheFilesTheirFilterPasses)
{
    Rows pictures, music;
    for (const FilterCase& c : kFilterCases) {
        const int fd = ::open(path(c.name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << c.name;
        ::close(fd);
        if (c.picture)
            pictures.push_back(c.name);
        if (c.music)
            music.push_back(c.name);
    }
    auto sorted = [](Rows r) {
        std::sort(r.begin(), r.end(), kalvio::ScanNameLess);
        return r;
    };
    EXPECT_EQ(ScanRel(Filter::Picture), sorted(pictures));
    EXPECT_EQ(ScanRel(Filter::Music), sorted(music));
}

TEST(FolderScanOrder, NamesCompareWithAsciiLettersFolded)
{
    struct Case {
        const char* a;
        const char* b; // a sorts strictly before b
    };
    const Case cases[] = {
        {"a", "B"},        {"B", "c"},    {"A", "a"},          {"B.jpg", "b.jpg"},
        {"Z", "_"},        {"z", "_"},    {"abc", "ABCD"},     {"a", "a.jpg"},
        {"zz", "\xC3\xA9"}, {"9", "a"},   {"-x", "0"},         {"A.JPG", "a.jpg"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(kalvio::ScanNameLess(c.a, c.b)) << c.a << " < " << c.b;
        EXPECT_FALSE(kalvio::ScanNameLess(c.b, c.a)) << c.b << " < " << c.a;
    }
    EXPECT_FALSE(kalvio::ScanNameLess("same", "same"));
}

TEST_F(ScanTree, DepthFirstWithFilesAndFoldersInterleaved)
{
    fill({"a.jpg", "B/x.jpg", "c.jpg", "D/a.jpg", "D/e/z.jpg", "D/f.txt", "Z.jpg", "z.JPG",
          "_u.jpg", "empty/", "E/deeper/still/"});
    EXPECT_EQ(ScanRel(), (Rows{"a.jpg", "B/x.jpg", "c.jpg", "D/a.jpg", "D/e/z.jpg", "Z.jpg",
                               "z.JPG", "_u.jpg"}));
}

TEST_F(ScanTree, HiddenFilesAndFoldersAreScanned)
{
    fill({".h.jpg", ".hid/x.jpg", ".hid/.y.jpeg", "v.jpg"});
    EXPECT_EQ(ScanRel(), (Rows{".h.jpg", ".hid/.y.jpeg", ".hid/x.jpg", "v.jpg"}));
}

TEST_F(ScanTree, AppendsWithoutClearing)
{
    fill({"1.jpg"});
    Rows rows{"earlier"};
    kalvio::ScanPictureFolder(root_, rows);
    kalvio::ScanPictureFolder(root_, rows);
    EXPECT_EQ(rows, (Rows{"earlier", path("1.jpg"), path("1.jpg")}));
}

TEST_F(ScanTree, EmptyFolderAddsNothing)
{
    Rows rows{"earlier"};
    kalvio::ScanPictureFolder(root_, rows);
    EXPECT_EQ(rows, Rows{"earlier"});
}

TEST_F(ScanTree, TrailingSeparatorsFollowTheJoinRule)
{
    fill({"a.jpg", "sub/b.jpg"});
    Rows plain, one, two;
    kalvio::ScanPictureFolder(root_, plain);
    kalvio::ScanPictureFolder(root_ + "/", one);
    kalvio::ScanPictureFolder(root_ + "//", two);
    EXPECT_EQ(plain, (Rows{root_ + "/a.jpg", root_ + "/sub/b.jpg"}));
    EXPECT_EQ(one, plain);
    // Files get a doubled separator, sub-folder paths a single one.
    EXPECT_EQ(two, (Rows{root_ + "//a.jpg", root_ + "/sub/b.jpg"}));
}

TEST_F(ScanTree, NamesComeOutByteForByte)
{
    const std::string odd[] = {"\xff\xfe.jpg", "sp ace.jpg", "new\nline.jpg", "-dash.jpg",
                               "--.jpg", "tab\there.jpg", "\xe5\x9b\xbe.JPG", "back\\slash.jpg"};
    for (const std::string& name : odd) {
        const int fd = ::open(path(name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    fill({"-sub/\x80x.jpg"});
    Rows expected(std::begin(odd), std::end(odd));
    expected.push_back("-sub/\x80x.jpg");
    std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
        // The sub-folder sorts by its own name "-sub".
        return kalvio::ScanNameLess(a.substr(0, a.find('/')), b.substr(0, b.find('/')));
    });
    EXPECT_EQ(ScanRel(), expected);
}

TEST_F(ScanTree, PathsOfPathMaxBytesOrMoreEndTheScanAsPathTooLong)
{
    // A chain of 200-byte names, then a last file or empty folder whose path
    // is exactly `length` bytes long; the system takes paths shorter than
    // PATH_MAX (which counts the final NUL).
    struct Case {
        const char* what;
        size_t length;
        bool folder;
        bool ends;
    };
    const Case cases[] = {
        {"file of PATH_MAX - 1 bytes", PATH_MAX - 1, false, false},
        {"file of PATH_MAX bytes", PATH_MAX, false, true},
        {"folder of PATH_MAX - 1 bytes", PATH_MAX - 1, true, false},
        {"folder of PATH_MAX bytes", PATH_MAX, true, true},
    };
    const std::string part(200, 'd');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(path("t"));
        fill({"t/a.jpg"});
        const size_t base = path("t").size();
        const size_t levels = (c.length - base - 1 - 50) / (part.size() + 1);
        const size_t nameLength = c.length - base - 1 - levels * (part.size() + 1);
        const std::string rel = Repeat(part + "/", int(levels));
        chain("t", part, int(levels));
        const std::string last = c.folder ? std::string(nameLength, 'e') : std::string(nameLength - 4, 'f') + ".jpg";
        const int dir = ::open(path("t").c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(dir, 0);
        MakeAt(dir, rel + last + (c.folder ? "/" : ""));
        ::close(dir);
        ASSERT_EQ(path("t/" + rel + last).size(), c.length);

        Rows rows;
        std::optional<int> code;
        try {
            kalvio::ScanPictureFolder(path("t"), rows);
        } catch (const InOutError& e) {
            code = e.Code();
        }
        Rows expected{"a.jpg"};
        if (!c.folder && !c.ends)
            expected.push_back(rel + last);
        EXPECT_EQ(Relative(rows, path("t/")), expected);
        EXPECT_EQ(code, c.ends ? std::optional<int>(ENAMETOOLONG) : std::nullopt);
    }
}

TEST_F(ScanTree, LongNamesEndTheScanBeforeThePathsPassPathMax)
{
    // 1,000 nested folders with 250-byte names, two pictures in each: only
    // the levels whose pictures have usable paths are listed.
    MoveRootToMemory();
    const std::string part(250, 'n');
    chain("t", part, 1000, {"a.jpg", "b.jpg"});
    const ChildScan got = ScanInChild(path("t"), [] { return std::string(); });
    ASSERT_TRUE(got.errorCode.has_value());
    EXPECT_EQ(*got.errorCode, ENAMETOOLONG);
    Rows expected;
    for (std::string folder = path("t/") + part; folder.size() + 6 < PATH_MAX; folder += "/" + part) {
        expected.push_back(folder + "/a.jpg");
        expected.push_back(folder + "/b.jpg");
    }
    EXPECT_EQ(got.rows, expected);
}

TEST_F(ScanTree, DeepChainNeedsFewDescriptors)
{
    // 1,100 nested folders under the common limit of 1,024 descriptors. Each
    // level's second folder is opened after the scan came back from the
    // deeper ones.
    MoveRootToMemory();
    chain("t", "d", 1100, {"e/p.jpg"});
    const ChildScan got = ScanInChild(path("t"), [] { return LimitDescriptors(1024); });
    if (!got.skipped.empty())
        GTEST_SKIP() << got.skipped;
    EXPECT_FALSE(got.errorCode.has_value());
    Rows expected;
    for (int level = 1100; level >= 1; --level)
        expected.push_back(Repeat("d/", level) + "e/p.jpg");
    EXPECT_TRUE(Relative(got.rows, path("t/")) == expected);
    EXPECT_EQ(got.rows.size(), expected.size());
}

TEST_F(ScanTree, FoldersDeeperThan4096LevelsEndTheScanAsPathTooLong)
{
    MoveRootToMemory();
    fill({"0.jpg", "d/a.jpg"});
    int fd = ::open(path("d").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 4100; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    // The path rule ends it first (two bytes a level), with few descriptors.
    const ChildScan got = ScanInChild(root_, [] { return LimitDescriptors(1024); });
    if (!got.skipped.empty())
        GTEST_SKIP() << got.skipped;
    ASSERT_TRUE(got.errorCode.has_value());
    EXPECT_EQ(*got.errorCode, ENAMETOOLONG);
    EXPECT_EQ(Relative(got.rows, root_ + "/"), (Rows{"0.jpg", "d/a.jpg"}));
}

// ---- Links and changing trees ------------------------------------------------

TEST_F(ScanTree, LinksToFoldersAreFollowedAndLoopsEnd)
{
    // Every folder is listed once, at the first path that reaches it: "real"
    // through "link", "q" through "p/toq".
    fill({"real/x.jpg", "p/1.jpg", "q/2.jpg", "a.jpg"});
    link("real", "link");
    link("..", "real/up");        // back to the root, which is on the descent path
    link(".", "real/self");
    link("../q", "p/toq");        // p and q point at each other
    link("../p", "q/top");
    link("nowhere.jpg", "dead.jpg");  // dangling: judged by its name
    link("a.jpg", "alias.jpg");
    link("loop.jpg", "loop.jpg");     // links to itself
    EXPECT_EQ(ScanRel(), (Rows{"a.jpg", "alias.jpg", "dead.jpg", "link/x.jpg", "loop.jpg",
                               "p/1.jpg", "p/toq/2.jpg"}));
}

TEST_F(ScanTree, LinkLatticeIsScannedOncePerFolder)
{
    // 22 folders, each with a picture and two links to the next: 2^22 paths
    // lead to the last folder, one listing of each folder is kept.
    constexpr int kFolders = 22;
    for (int i = 0; i < kFolders; ++i) {
        const std::string name = "d" + std::to_string(100 + i);
        fill({name + "/p.jpg"});
        if (i + 1 < kFolders) {
            link("../d" + std::to_string(101 + i), name + "/a");
            link("../d" + std::to_string(101 + i), name + "/b");
        }
    }
    Rows expected;
    for (int depth = kFolders - 1; depth >= 0; --depth)
        expected.push_back("d100/" + Repeat("a/", depth) + "p.jpg");
    EXPECT_EQ(ScanRel(), expected);
}

TEST_F(ScanTree, DeepChainOfLinksIsFoundAgainOnTheWayBack)
{
    // 40 folders side by side, each reached through a link in the one before:
    // the scan comes back to folders it no longer holds open through the
    // links. In the second case the first link is pointed at a newcomer while
    // the deepest folder is listed; folders the scan comes back to are those
    // it entered, or none: nothing of the newcomer is listed.
    constexpr int kLevels = 40;
    fill({"e/p.jpg", "top.jpg"});
    link("r101", "d");
    for (int i = 1; i <= kLevels; ++i) {
        const std::string name = "r" + std::to_string(100 + i);
        fill({name + "/e/p.jpg"});
        if (i < kLevels)
            link("../r" + std::to_string(101 + i), name + "/d");
    }
    Rows all;
    for (int level = kLevels; level >= 0; --level)
        all.push_back(Repeat("d/", level) + "e/p.jpg");
    all.push_back("top.jpg");
    const std::string deepest = root_ + Repeat("/d", kLevels);

    for (const bool retarget : {false, true}) {
        SCOPED_TRACE(retarget ? "first link pointed elsewhere" : "unchanged");
        Rows rows;
        kalvio::ScanFolder(root_, kalvio::PictureFilter, rows, [&](const std::string& folder) {
            if (!retarget || folder != deepest)
                return;
            fill({"new/e/new.jpg", "new/d/e/new.jpg"});
            fs::remove(path("d"));
            link("new", "d");
        });
        const Rows got = Relative(rows, root_ + "/");
        if (!retarget) {
            EXPECT_EQ(got, all);
            continue;
        }
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.front(), all.front());
        EXPECT_EQ(got.back(), all.back());
        // Rows of the original tree only, in its order, each once.
        auto next = all.begin();
        for (const std::string& row : got) {
            next = std::find(next, all.end(), row);
            ASSERT_NE(next, all.end()) << row;
            ++next;
        }
    }
}

TEST_F(ScanTree, KernelPseudoFileSystemsAreNotEntered)
{
    fill({"a.jpg"});
    link("/proc", "proc");
    link("/sys", "sys");
    EXPECT_EQ(ScanRel(), Rows{"a.jpg"});
    Rows rows;
    kalvio::ScanMusicFolder("/proc", rows);
    EXPECT_TRUE(rows.empty());
}

TEST_F(ScanTree, PipesAndSocketsAreNotFiles)
{
    fill({"a.jpg"});
    ASSERT_EQ(::mkfifo(path("pipe.jpg").c_str(), 0644), 0);
    link("pipe.jpg", "pipelink.jpg");
    EXPECT_EQ(ScanRel(), Rows{"a.jpg"});
}

TEST_F(ScanTree, EntriesChangedWhileTheScanRunsAreHandled)
{
    // Listed before the change: folder b (then removed), file c.jpg (then a
    // folder), folder d.jpg (then a file).
    fill({"a/1.jpg", "b/2.jpg", "c.jpg", "d.jpg/3.jpg", "e.jpg"});
    bool changed = false;
    Rows rows;
    kalvio::ScanFolder(root_, kalvio::PictureFilter, rows, [&](const std::string& folder) {
        if (folder != path("a"))
            return;
        fs::remove_all(path("b"));
        fs::remove(path("c.jpg"));
        fill({"c.jpg/4.jpg"});
        fs::remove_all(path("d.jpg"));
        fill({"d.jpg"});
        changed = true;
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(Relative(rows, root_ + "/"), (Rows{"a/1.jpg", "c.jpg", "d.jpg", "e.jpg"}));
}

// ---- Errors -------------------------------------------------------------

TEST(InOutErrorText, CodesAndSystemErrors)
{
    struct Case {
        int systemError;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {ENOENT, 2, "File not found"},      {ENOTDIR, 3, "Invalid filename"},
        {EMFILE, 4, "Too many open files"}, {ENFILE, 4, "Too many open files"},
        {EACCES, 5, "File access denied"},  {EPERM, 5, "File access denied"},
        {EIO, EIO, "I/O error 5"},          {ENAMETOOLONG, ENAMETOOLONG, "I/O error 36"},
        {ELOOP, ELOOP, "I/O error 40"},     {EINTR, EINTR, "I/O error 4"},
    };
    for (const Case& c : cases) {
        const InOutError e = InOutError::FromSystemError(c.systemError);
        EXPECT_EQ(e.Code(), c.code) << c.systemError;
        EXPECT_STREQ(e.what(), c.text) << c.systemError;
        EXPECT_EQ(e.SystemError(), c.systemError);
    }
    EXPECT_STREQ(InOutError(2).what(), "File not found");
    EXPECT_STREQ(InOutError(5).what(), "File access denied");
    EXPECT_STREQ(InOutError(1).what(), "I/O error 1");
    EXPECT_STREQ(InOutError(123).what(), "I/O error 123");
    EXPECT_EQ(InOutError(123).Code(), 123);
}

TEST_F(ScanTree, UnopenableStartFoldersEndWithTheirCode)
{
    fill({"file.jpg"});
    struct Case {
        std::string folder;
        int code;
    };
    const Case cases[] = {
        {path("missing"), 2},
        {path("missing/deeper"), 2},
        {"", 2},
        {path("file.jpg"), 3},
        {path("file.jpg/"), 3},
        {path("file.jpg/sub"), 3},
        {std::string(PATH_MAX + 10, 'x'), ENAMETOOLONG},
    };
    for (const Case& c : cases) {
        Rows rows{"earlier"};
        try {
            kalvio::ScanPictureFolder(c.folder, rows);
            ADD_FAILURE() << "no error for " << c.folder.substr(0, 80);
        } catch (const InOutError& e) {
            EXPECT_EQ(e.Code(), c.code) << c.folder.substr(0, 80);
        }
        EXPECT_EQ(rows, Rows{"earlier"});
    }
}

TEST_F(ScanTree, UnreadableSubFolderEndsTheScanAndKeepsEarlierRows)
{
    fill({"a.jpg", "b/x.jpg", "c/locked.jpg", "d.jpg"});
    ASSERT_EQ(::chmod(path("c").c_str(), 0), 0);
    // Root reads every folder, so the scan runs as an unprivileged user.
    const ChildScan got = ScanInChild(root_, [] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            return std::string("cannot drop root");
        return std::string();
    });
    if (!got.skipped.empty())
        GTEST_SKIP() << got.skipped;
    ASSERT_TRUE(got.errorCode.has_value());
    EXPECT_EQ(*got.errorCode, 5);
    EXPECT_EQ(Relative(got.rows, root_ + "/"), (Rows{"a.jpg", "b/x.jpg"}));
}

TEST_F(ScanTree, RunningOutOfDescriptorsEndsTheScanWithCode4)
{
    fill({"0.jpg", "a/1.jpg", "a/b/2.jpg", "a/b/c/3.jpg", "a/b/c/d/4.jpg", "a/b/c/d/e/5.jpg"});
    const ChildScan got = ScanInChild(root_, [] {
        // Lowest limit under which exactly three descriptors are free: the
        // start folder, a and b.
        int free = 0;
        int limit = 0;
        while (free < 3 && limit < 4096) {
            if (::fcntl(limit, F_GETFD) == -1 && errno == EBADF)
                ++free;
            ++limit;
        }
        const struct rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        if (free < 3 || ::setrlimit(RLIMIT_NOFILE, &rl) != 0)
            return std::string("cannot set the descriptor limit");
        return std::string();
    });
    if (!got.skipped.empty())
        GTEST_SKIP() << got.skipped;
    ASSERT_TRUE(got.errorCode.has_value());
    EXPECT_EQ(*got.errorCode, 4);
    EXPECT_EQ(Relative(got.rows, root_ + "/"), (Rows{"0.jpg", "a/1.jpg", "a/b/2.jpg"}));
}

TEST_F(ScanTree, CurrentDirectoryIsUntouched)
{
    fill({"a/1.jpg", "b/2.jpg"});
    const fs::path before = fs::current_path();
    Rows rows;
    kalvio::ScanPictureFolder(root_, rows);
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_THROW(kalvio::ScanPictureFolder(path("nope"), rows), InOutError);
    EXPECT_EQ(fs::current_path(), before);
    // A relative folder is taken from the current directory.
    fs::current_path(root_);
    Rows relative;
    kalvio::ScanPictureFolder("a", relative);
    fs::current_path(before);
    EXPECT_EQ(relative, Rows{"a/1.jpg"});
}

// The root itself, seen from inside a chroot of the tree: entries get a single
// separator and a link back to "/" is not entered again.
TEST_F(ScanTree, RootFolderAndLinkToRoot)
{
    fill({"photo.jpg", "sub/x.jpg", "sub/deep/y.jpg"});
    link("/", "sub/toroot");
    link("/", "up");
    const std::string tree = root_;
    auto inChroot = [tree] {
        if (::geteuid() != 0 && ::unshare(CLONE_NEWUSER) != 0)
            return std::string("no user namespace for chroot");
        if (::chroot(tree.c_str()) != 0 || ::chdir("/") != 0)
            return std::string("chroot failed: ") + std::strerror(errno);
        return std::string();
    };
    const ChildScan fromRoot = ScanInChild("/", inChroot);
    if (!fromRoot.skipped.empty())
        GTEST_SKIP() << fromRoot.skipped;
    EXPECT_FALSE(fromRoot.errorCode.has_value());
    // Both links lead to "/", which is on the descent path.
    EXPECT_EQ(fromRoot.rows, (Rows{"/photo.jpg", "/sub/deep/y.jpg", "/sub/x.jpg"}));

    // From /sub the link enters "/" once, and stops at "/sub" and "/up" there.
    const ChildScan fromSub = ScanInChild("/sub/", inChroot);
    EXPECT_FALSE(fromSub.errorCode.has_value());
    EXPECT_EQ(fromSub.rows, (Rows{"/sub/deep/y.jpg", "/sub/toroot/photo.jpg", "/sub/x.jpg"}));
}

}

namespace {

// 100,000 files in 1,000 folders with awkward names, link loops and links to
// "/", scanned from inside a chroot of the tree so "/" is the tree itself.
TEST_F(ScanTree, LargeHostileTreeGivesTheRightList)
{
    MoveRootToMemory();
    const char* patterns[] = {"p%02d.jpg", "-d%02d.JPG", "s p%02d.jpeg", "n\n%02d.jpg",
                              "\xff%02d.jpg", "%02d.png", "%02d", ".h%02d.jpe"};
    const int root = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(root, 0);
    Rows expected;
    for (int f = 0; f < 1000; ++f) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "f%03d", f);
        ASSERT_EQ(::mkdirat(root, folder, 0755), 0);
        const int dir = ::openat(root, folder, O_RDONLY | O_DIRECTORY);
        ASSERT_GE(dir, 0);
        Rows names;
        for (int i = 0; i < 100; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, patterns[i % 8], i);
            const int fd = ::openat(dir, name, O_CREAT | O_WRONLY, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
            names.push_back(name);
        }
        if (f % 100 == 0) {
            ASSERT_EQ(::symlinkat("/", dir, "root"), 0);
            ASSERT_EQ(::symlinkat("..", dir, "up"), 0);
            ASSERT_EQ(::symlinkat(".", dir, "self"), 0);
        }
        ::close(dir);
        std::sort(names.begin(), names.end(), kalvio::ScanNameLess);
        for (const std::string& n : names) {
            if (kalvio::ExtensionPasses(n, kalvio::PictureFilter))
                expected.push_back("/" + std::string(folder) + "/" + n);
        }
    }
    ASSERT_EQ(::symlinkat("/", root, "zroot"), 0);
    ::close(root);
    ASSERT_EQ(expected.size(), 76000u); // 76 of every 100 names pass

    const std::string tree = root_;
    const ChildScan got = ScanInChild("/", [tree] {
        if (::geteuid() != 0 && ::unshare(CLONE_NEWUSER) != 0)
            return std::string("no user namespace for chroot");
        if (::chroot(tree.c_str()) != 0 || ::chdir("/") != 0)
            return std::string("chroot failed: ") + std::strerror(errno);
        return std::string();
    });
    if (!got.skipped.empty())
        GTEST_SKIP() << got.skipped;
    EXPECT_FALSE(got.errorCode.has_value());
    EXPECT_EQ(got.rows.size(), expected.size());
    EXPECT_TRUE(got.rows == expected);
}

}
