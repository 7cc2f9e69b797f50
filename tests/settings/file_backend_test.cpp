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
#include <unistd.h>

#include "settings/linux/file_backend.h"
#include "settings/memory_backend.h"
#include "settings/settings_store.h"

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
    seed("# a comment=5\n"
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
         "image_3=junk\n"   // the last line for a name counts
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
    file.close();
    EXPECT_EQ(readFile(nested), "monitor_mode=2\n");
}
