// The per-user settings file: location, format, tolerance of bad lines, and atomic replacement.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "settings/linux/file_backend.h"
#include "settings/settings_store.h"
#include "support/memory_backend.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

int entriesIn(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
        }
        closedir(d);
    }
    return n;
}

// Runs body in a child process and waits up to 20 s for it to exit; returns its exit code, or -1
// when it had to be killed (it blocked) or died of a signal.
int runInChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    if (pid < 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(1000);  // polling for the child's exit, not a timed wait
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FileBackend : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orbivane-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        dir = root + "/orbivane";
        path = dir + "/settings";
    }
    void TearDown() override {
        chmod(dir.c_str(), 0700);
        std::system(("rm -rf '" + root + "'").c_str());
    }
    void seed(const std::string& text) {
        mkdir(dir.c_str(), 0700);
        writeFile(path, text);
    }

    std::string root, dir, path;
};

}  // namespace

TEST(FileBackendPath, FollowsXdgConfigHomeThenHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";

    setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    setenv("HOME", "/h/user", 1);
    EXPECT_EQ(FileSettingsBackend::defaultPath(), "/x/conf/orbivane/settings");
    setenv("XDG_CONFIG_HOME", "", 1);  // empty and relative values are ignored
    EXPECT_EQ(FileSettingsBackend::defaultPath(), "/h/user/.config/orbivane/settings");
    setenv("XDG_CONFIG_HOME", "conf", 1);
    EXPECT_EQ(FileSettingsBackend::defaultPath(), "/h/user/.config/orbivane/settings");

    savedXdg ? setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    savedHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
}

TEST_F(FileBackend, ReadsNeverCreateAndWritesRoundTripThroughTheStore) {
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore& store = SettingsStore::instance();

    EXPECT_EQ(store.readDetailLevel(), 1);
    EXPECT_TRUE(store.readQuickDraw());
    struct stat st;
    EXPECT_NE(stat(dir.c_str(), &st), 0) << "a read created the directory";

    store.writeDetailLevel(3);
    store.writeLightDistance(2.5f);
    store.writeImageEnabled(2, false);
    store.writeIntervalOption(INT32_MIN);
    EXPECT_EQ(readFile(path), "detail_level=3\nlight_distance=25\nimage_2=0\ninterval_option=-2147483648\n");
    EXPECT_EQ(store.readDetailLevel(), 3);
    EXPECT_EQ(store.readLightDistance(), 2.5f);
    EXPECT_FALSE(store.readImageEnabled(2));
    EXPECT_EQ(store.readIntervalOption(), INT32_MIN);

    store.writeDetailLevel(0);  // replaced in place, not appended
    EXPECT_EQ(readFile(path), "detail_level=0\nlight_distance=25\nimage_2=0\ninterval_option=-2147483648\n");
    EXPECT_EQ(entriesIn(dir), 1) << "temporary file left behind";
}

TEST_F(FileBackend, MalformedLinesAndOutOfRangeValuesReadAsMissing) {
    seed(
        "# a comment=5\n"
        "detail_level=abc\n"
        "transp_level=\n"
        "monitor_mode 2\n"
        "=7\n"
        "palette_type=1x\n"
        "light_source=2147483648\n"
        "interval_option=-2147483649\n"
        "rotation_speed=99999999999999999999\n"
        "gloss_level=- 3\n"
        "  gloss_random = 1  \r\n"
        "image_1=-2147483648\n"
        "image_2=+0\n"
        "image_3=0\n"
        "image_3=junk\n"  // the last line for a name counts
        "image_4=junk\n"
        "image_4=0\n");
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore& store = SettingsStore::instance();

    EXPECT_EQ(store.readDetailLevel(), 1);
    EXPECT_EQ(store.readTranspLevel(), 10);
    EXPECT_EQ(store.readMonitorMode(), 0);
    EXPECT_EQ(store.readPaletteType(), 2);
    EXPECT_EQ(store.readLightSource(), 2);
    EXPECT_EQ(store.readIntervalOption(), 0);
    EXPECT_EQ(store.readRotationSpeed(), 25.0f);
    EXPECT_EQ(store.readGlossLevel(), 0.0f);
    EXPECT_TRUE(store.readGlossRandom());
    EXPECT_TRUE(store.readImageEnabled(1));
    EXPECT_FALSE(store.readImageEnabled(2));
    EXPECT_TRUE(store.readImageEnabled(3));
    EXPECT_FALSE(store.readImageEnabled(4));
}

TEST_F(FileBackend, WritingKeepsUnknownNamesCommentsAndBadLines) {
    seed("# kept\nfuture_option=12\ndetail_level=2\nnot a setting\ndetail_level=4\n\nimage_0=0");
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore& store = SettingsStore::instance();

    store.writeDetailLevel(1);
    store.writeQuickDraw(false);
    EXPECT_EQ(readFile(path), "# kept\nfuture_option=12\ndetail_level=1\nnot a setting\n\nimage_0=0\nquick_draw=0\n");
    int32_t v = 0;
    ASSERT_TRUE(file.openRead());
    EXPECT_TRUE(file.query("future_option", &v));
    EXPECT_EQ(v, 12);
    file.close();
}

TEST_F(FileBackend, FailedWriteLeavesTheOldFileIntact) {
    const std::string original = "detail_level=2\nfuture_option=1234567890\nimage_0=0\nimage_1=0\nimage_2=0\n";
    seed(original);
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore& store = SettingsStore::instance();

    // A full disk: the temporary file cannot take the whole content.
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    store.writeDetailLevel(4);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(entriesIn(dir), 1) << "temporary file left behind";
    EXPECT_EQ(store.readDetailLevel(), 2);

    // A directory the user cannot write to (meaningless for a privileged user).
    if (geteuid() != 0) {
        chmod(dir.c_str(), 0500);
        store.writeDetailLevel(4);
        chmod(dir.c_str(), 0700);
        EXPECT_EQ(readFile(path), original);
        EXPECT_EQ(entriesIn(dir), 1);
    }

    // A settings path that is not a file: nothing is read, nothing replaced.
    std::system(("rm -f '" + path + "' && mkdir '" + path + "'").c_str());
    EXPECT_EQ(store.readDetailLevel(), 1);
    store.writeDetailLevel(4);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(FileBackend, WriteCreatesMissingParentDirectories) {
    std::string nested = root + "/a/b/orbivane/settings";
    FileSettingsBackend file(nested);
    ASSERT_TRUE(file.openWrite());
    file.set("monitor_mode", 2);
    file.set("bad=name", 1);  // cannot be represented: ignored
    file.set(
        "\xEF\xBB\xBF"
        "x",
        1);  // as a first line it would read back as a byte order mark
    file.close();
    EXPECT_EQ(readFile(nested), "monitor_mode=2\n");
}

TEST_F(FileBackend, SpecialFilesAtThePathAreNeitherOpenedNorReplaced) {
    // A pipe would block a plain open until a writer came; the saver must go on with its defaults.
    mkdir(dir.c_str(), 0700);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int code = runInChild([this] {
        FileSettingsBackend file(path);
        ScopedSettingsBackend scope(file);
        SettingsStore& store = SettingsStore::instance();
        if (store.readDetailLevel() != 1) return 2;
        store.writeDetailLevel(3);
        return store.readDetailLevel() == 1 ? 0 : 3;
    });
    EXPECT_EQ(code, 0) << "-1: blocked on the pipe";
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";
    EXPECT_EQ(entriesIn(dir), 1);
}

TEST_F(FileBackend, ConcurrentWritersKeepEachOthersValues) {
    // Two processes write different names at the same time: every value must survive.
    constexpr int kNames = 40;
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    auto writer = [&](char who) {
        return [&, who] {
            char c;
            if (read(go[0], &c, 1) != 1) return 2;  // start together
            FileSettingsBackend file(path);
            for (int i = 0; i < kNames; ++i) {
                if (!file.openWrite()) return 3;
                file.set((std::string(1, who) + std::to_string(i)).c_str(), i);
                file.close();
            }
            return 0;
        };
    };
    pid_t a = fork();
    if (a == 0) _exit(writer('a')());
    pid_t b = fork();
    if (b == 0) _exit(writer('b')());
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    int sa = 0, sb = 0;
    waitpid(a, &sa, 0);
    waitpid(b, &sb, 0);
    close(go[0]);
    close(go[1]);
    EXPECT_EQ(sa, 0);
    EXPECT_EQ(sb, 0);

    FileSettingsBackend file(path);
    ASSERT_TRUE(file.openRead());
    int lost = 0;
    for (char who : {'a', 'b'}) {
        for (int i = 0; i < kNames; ++i) {
            int32_t v = -1;
            if (!file.query((std::string(1, who) + std::to_string(i)).c_str(), &v) || v != i) ++lost;
        }
    }
    file.close();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(entriesIn(dir), 1) << "temporary file left behind";
}

TEST_F(FileBackend, LinksAreWrittenThroughAndPermissionsKept) {
    // A dotfile manager's link: the target changes, the link stays.
    std::string store = root + "/dotfiles";
    mkdir(store.c_str(), 0700);
    mkdir(dir.c_str(), 0700);
    writeFile(store + "/settings", "detail_level=2\n");
    chmod((store + "/settings").c_str(), 0640);
    ASSERT_EQ(symlink("../dotfiles/settings", path.c_str()), 0);
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore& settings = SettingsStore::instance();

    settings.writeDetailLevel(4);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    EXPECT_EQ(readFile(store + "/settings"), "detail_level=4\n");
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(settings.readDetailLevel(), 4);

    // A link to a file not made yet: the file is made where the link points.
    std::system(("rm '" + path + "' '" + store + "/settings'").c_str());
    ASSERT_EQ(symlink("../dotfiles/settings", path.c_str()), 0);
    settings.writeTranspLevel(20);
    EXPECT_EQ(readFile(store + "/settings"), "transp_level=20\n");

    // A file made read-only is not overwritten, whoever runs the saver.
    std::string plain = root + "/plain";
    writeFile(plain, "detail_level=2\n");
    chmod(plain.c_str(), 0444);
    FileSettingsBackend readOnly(plain);
    ScopedSettingsBackend readOnlyScope(readOnly);
    settings.writeDetailLevel(0);
    EXPECT_EQ(readFile(plain), "detail_level=2\n");
    ASSERT_EQ(stat(plain.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(FileBackend, LineEndsAndByteOrderMarkSurviveWrites) {
    // A file converted to CRLF twice, and one saved with a byte order mark.
    const std::string twice = "transp_level=5\r\r\n# note\r\r\ndetail_level=2\r\r\n";
    seed(twice);
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore& store = SettingsStore::instance();

    EXPECT_EQ(store.readTranspLevel(), 5);
    store.writeDetailLevel(3);
    store.writeDetailLevel(4);
    EXPECT_EQ(store.readTranspLevel(), 5) << "a write changed what another setting reads";
    EXPECT_EQ(readFile(path), "transp_level=5\r\r\n# note\r\r\ndetail_level=4\r\n");

    seed(
        "\xEF\xBB\xBF"
        "detail_level=3\r\nimage_1=0");
    EXPECT_EQ(store.readDetailLevel(), 3);
    store.writeQuickDraw(false);
    EXPECT_EQ(readFile(path),
              "\xEF\xBB\xBF"
              "detail_level=3\r\nimage_1=0\r\nquick_draw=0\r\n");
    EXPECT_EQ(store.readDetailLevel(), 3);
    EXPECT_FALSE(store.readImageEnabled(1));
}

TEST_F(FileBackend, TemporaryFilesOfKilledWritesAreRemoved) {
    seed("detail_level=2\n");
    writeFile(dir + "/.settings.Ab12Cd", "detail_level=4\n");  // a write killed before its rename
    writeFile(dir + "/.settings.keep", "x");                   // not one of ours
    writeFile(dir + "/other", "y");
    FileSettingsBackend file(path);
    ScopedSettingsBackend scope(file);
    SettingsStore::instance().writeMonitorMode(1);
    struct stat st;
    EXPECT_NE(stat((dir + "/.settings.Ab12Cd").c_str(), &st), 0) << "stale temporary file kept";
    EXPECT_EQ(stat((dir + "/.settings.keep").c_str(), &st), 0);
    EXPECT_EQ(entriesIn(dir), 3);
    EXPECT_EQ(readFile(path), "detail_level=2\nmonitor_mode=1\n");
}
