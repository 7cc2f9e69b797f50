// Runs orbivane under its real hosts on a private Xvfb: the XScreenSaver daemon (one monitor and two)
// and xsecurelock. Each case skips when its host is not installed.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "private_xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(30);     // for anything to start or draw
constexpr auto kGoneTimeout = std::chrono::seconds(5);  // for the saver to end after the host says so

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

bool onPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        if (access((std::string(dir) + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One process as /proc shows it.
struct ProcessInfo {
    pid_t pid = 0;
    pid_t parent = 0;
    char state = '?';  // R, S, Z, ...
    std::string name;  // the command name (comm)
};

std::vector<ProcessInfo> allProcesses() {
    std::vector<ProcessInfo> list;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return list;
    while (dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::string stat = readFile(std::string("/proc/") + e->d_name + "/stat");
        size_t open = stat.find('(');
        size_t close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) continue;
        ProcessInfo p;
        p.pid = std::atoi(e->d_name);
        p.name = stat.substr(open + 1, close - open - 1);
        p.state = stat[close + 2];
        p.parent = std::atoi(stat.c_str() + close + 4);
        list.push_back(p);
    }
    closedir(proc);
    return list;
}

// The living (not zombie) processes below `root`, `root` excluded.
std::vector<ProcessInfo> descendants(pid_t root) {
    std::vector<ProcessInfo> all = allProcesses();
    std::set<pid_t> family{root};
    std::vector<ProcessInfo> found;
    for (bool grew = true; grew;) {
        grew = false;
        for (const ProcessInfo& p : all) {
            if (family.count(p.parent) != 0 && family.count(p.pid) == 0) {
                family.insert(p.pid);
                if (p.state != 'Z') found.push_back(p);
                grew = true;
            }
        }
    }
    return found;
}

// "name (pid), ..." for messages.
std::string describe(const std::vector<ProcessInfo>& list) {
    std::string text;
    for (const ProcessInfo& p : list) text += p.name + " (" + std::to_string(p.pid) + ") ";
    return text;
}

std::vector<pid_t> named(const std::vector<ProcessInfo>& list, const std::string& name) {
    std::vector<pid_t> pids;
    for (const ProcessInfo& p : list) {
        if (p.name == name) pids.push_back(p.pid);
    }
    return pids;
}

// True when `pid` has ended: no such process, or only its zombie is left.
bool ended(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
}

// Reaps every ended child, ours or orphans handed to us as subreaper.
void reapChildren() {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {}
}

// The account the hosts run under: XScreenSaver refuses to run as root, so root tests use nobody.
struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
};

Account hostAccount() {
    Account a;
    if (geteuid() != 0) {
        a.uid = geteuid();
        a.gid = getegid();
        passwd* self = getpwuid(a.uid);
        a.name = self != nullptr ? self->pw_name : "";
        return a;
    }
    passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) return a;
    a.uid = nobody->pw_uid;
    a.gid = nobody->pw_gid;
    a.name = "nobody";
    return a;
}

class HostsOnX : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Orphaned savers come to us, so that they can be reaped and never linger.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    void TearDown() override {
        for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
            if (*it > 0 && !ended(*it)) kill(*it, SIGKILL);
        }
        for (pid_t pid : started_) waitpid(pid, nullptr, 0);
        reapChildren();
        if (display_ != nullptr) XCloseDisplay(display_);
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            waitpid(xvfb_, nullptr, 0);
        }
        if (!home_.empty()) std::system(("rm -rf '" + home_ + "'").c_str());
    }

    // Starts Xvfb with one screen of `width` x `height`, and lets the host account use it.
    bool startServer(int width, int height) {
        xvfb_ = startPrivateXvfb(width, height, &displayName_, &serverReasons_);
        if (xvfb_ > 0) display_ = XOpenDisplay(displayName_.c_str());
        if (display_ == nullptr) return false;
        if (account_.uid != geteuid()) {
            // Let the unprivileged account in (server-interpreted "localuser:NAME").
            XServerInterpretedAddress si;
            char type[] = "localuser";
            si.type = type;
            si.typelength = static_cast<int>(std::strlen(type));
            si.value = const_cast<char*>(account_.name.c_str());
            si.valuelength = static_cast<int>(account_.name.size());
            XHostAddress host;
            host.family = FamilyServerInterpreted;
            host.length = sizeof si;
            host.address = reinterpret_cast<char*>(&si);
            XAddHost(display_, &host);
            XSync(display_, False);
        }
        return true;
    }

    // Splits the screen into monitors side by side, as the RandR monitor list (which the server's
    // Xinerama answers from) describes them.
    void splitIntoMonitors(int count, int width, int height) {
        for (int i = 0; i < count; ++i) {
            std::string geometry =
                std::to_string(width) + "/200x" + std::to_string(height) + "/150+" + std::to_string(i * width) + "+0";
            std::string command = "xrandr -display " + displayName_ + " --setmonitor orbivane-test-" +
                                  std::to_string(i) + " " + geometry + " " + (i == 0 ? "screen" : "none") +
                                  " >/dev/null";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
    }

    // A home for the host account with a copy of the saver in it (the build tree may not be
    // readable by that account).
    void makeHome() {
        char dir[] = "/tmp/orbivane-hosts-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        home_ = dir;
        chmod(dir, 0755);
        saver_ = home_ + "/orbivane";
        std::string copy = "cp '" ORBIVANE_PATH "' '" + saver_ + "'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        ASSERT_EQ(chown(dir, account_.uid, account_.gid), 0);
    }

    void writeHomeFile(const std::string& name, const std::string& text) {
        std::string path = home_ + "/" + name;
        std::ofstream(path) << text;
        ASSERT_EQ(chown(path.c_str(), account_.uid, account_.gid), 0);
    }

    // Runs `argv` as the host account in its home, on our display, with a clean environment.
    // Standard error goes to `logName` in the home. `extraEnv`: NAME=value entries.
    pid_t spawn(const std::vector<std::string>& argv, const std::string& logName,
                const std::vector<std::string>& extraEnv = {}) {
        std::string log = home_ + "/" + logName;
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            if (chdir(home_.c_str()) != 0) _exit(126);
            if (account_.uid != geteuid()) {
                if (setgroups(0, nullptr) != 0 || setgid(account_.gid) != 0 || setuid(account_.uid) != 0) _exit(126);
            }
            std::vector<std::string> env{"HOME=" + home_, "DISPLAY=" + displayName_, "PATH=/usr/bin:/bin",
                                         "XDG_CONFIG_HOME=" + home_ + "/.config", "LANG=C.UTF-8"};
            env.insert(env.end(), extraEnv.begin(), extraEnv.end());
            std::vector<char*> envp;
            for (std::string& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            std::vector<std::string> args = argv;
            std::vector<char*> argp;
            for (std::string& a : args) argp.push_back(a.data());
            argp.push_back(nullptr);
            std::string program = args[0];
            if (program.find('/') == std::string::npos) program = "/usr/bin/" + program;
            execve(program.c_str(), argp.data(), envp.data());
            _exit(127);
        }
        started_.push_back(pid);
        return pid;
    }

    // Runs an xscreensaver-command to its end; its exit status, or -1.
    int command(const std::string& what) {
        pid_t pid = spawn({"xscreensaver-command", what}, "command.log");
        int status = 0;
        auto deadline = Clock::now() + kTimeout;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            sleepMs(10);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // True when the `width` x `height` rectangle at (x, y) of the screen shows a picture: a fair share
    // of non-black pixels in many colours.
    bool pictureAt(int x, int y, int width, int height) {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, width, height, AllPlanes, ZPixmap);
        if (image == nullptr) return false;
        int drawn = 0;
        std::set<unsigned long> colours;
        for (int row = 0; row < height; row += 2) {
            for (int col = 0; col < width; col += 2) {
                unsigned long pixel = XGetPixel(image, col, row) & 0xFFFFFF;
                if (pixel == 0) continue;
                ++drawn;
                colours.insert(pixel);
            }
        }
        XDestroyImage(image);
        return drawn * 4 * 50 > width * height && colours.size() >= 50;
    }

    // Waits until every monitor (`count` of them, `width` wide, side by side) shows a picture.
    bool waitForPictures(int count, int width, int height) {
        auto deadline = Clock::now() + kTimeout;
        while (Clock::now() < deadline) {
            bool all = true;
            for (int i = 0; i < count && all; ++i) all = pictureAt(i * width, 0, width, height);
            if (all) return true;
            sleepMs(20);
        }
        return false;
    }

    // Waits until `count` processes called `name` run below `root`; their pids.
    std::vector<pid_t> waitForSavers(pid_t root, const std::string& name, size_t count) {
        auto deadline = Clock::now() + kTimeout;
        std::vector<pid_t> pids;
        while (Clock::now() < deadline) {
            pids = named(descendants(root), name);
            if (pids.size() >= count) break;
            sleepMs(20);
        }
        return pids;
    }

    bool waitEnded(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout) {
        auto deadline = Clock::now() + timeout;
        for (;;) {
            reapChildren();
            bool all = true;
            for (pid_t pid : pids) all = all && ended(pid);
            if (all) return true;
            if (Clock::now() > deadline) return false;
            sleepMs(5);
        }
    }

    // Waits until nothing but our Xvfb runs below the test (helpers of the hosts take a moment to go).
    bool waitNothingLeft() {
        auto deadline = Clock::now() + kGoneTimeout;
        for (;;) {
            reapChildren();
            std::vector<ProcessInfo> left = descendants(getpid());
            if (left.empty() || (left.size() == 1 && left[0].pid == xvfb_)) return true;
            if (Clock::now() > deadline) return false;
            sleepMs(10);
        }
    }

    std::string log(const std::string& name) { return readFile(home_ + "/" + name); }

    // One XScreenSaver run: the daemon with `program` as its only hack, activated and deactivated.
    // Checks that one saver per monitor draws and that all end; prints the two timings.
    // `program`: the command line, with "@SAVER@" standing for the copy of orbivane.
    // Starts xsecurelock with `env`, expects one saver on each of `monitors` monitors, drawing, with the
    // host's window in its environment and `argument` (unless empty) on its command line; then ends the
    // locker and expects every saver gone with it.
    void runLocker(const std::vector<std::string>& env, int monitors, int width, int height,
                   const std::string& argument) {
        std::vector<std::string> lockerEnv = env;
        lockerEnv.push_back("XSECURELOCK_NO_COMPOSITE=1");
        pid_t locker = spawn({"xsecurelock"}, "xsecurelock.log", lockerEnv);
        std::vector<pid_t> savers = waitForSavers(locker, "orbivane", static_cast<size_t>(monitors));
        ASSERT_EQ(savers.size(), static_cast<size_t>(monitors)) << log("xsecurelock.log");
        ASSERT_TRUE(waitForPictures(monitors, width, height)) << log("xsecurelock.log");
        for (pid_t pid : savers) {
            std::string environment = readFile("/proc/" + std::to_string(pid) + "/environ");
            EXPECT_NE(environment.find("XSCREENSAVER_WINDOW="), std::string::npos);
            std::string commandLine = readFile("/proc/" + std::to_string(pid) + "/cmdline");
            if (!argument.empty()) {
                EXPECT_NE(commandLine.find(argument), std::string::npos) << commandLine;
            }
        }
        // Unlocking is a password away; ending the locker must take its savers with it.
        kill(locker, SIGTERM);
        EXPECT_TRUE(waitEnded(savers, std::chrono::duration_cast<std::chrono::milliseconds>(kGoneTimeout)))
            << log("xsecurelock.log");
        EXPECT_TRUE(waitEnded({locker}, std::chrono::duration_cast<std::chrono::milliseconds>(kGoneTimeout)));
        EXPECT_TRUE(waitNothingLeft()) << "left running: " << describe(descendants(getpid()));
    }

    void runDaemon(std::string program, const std::string& processName, int monitors, int width, int height) {
        ASSERT_TRUE(startServer(width * monitors, height)) << "cannot start Xvfb:" << serverReasons_;
        if (monitors > 1) splitIntoMonitors(monitors, width, height);
        makeHome();
        size_t at = program.find("@SAVER@");
        if (at != std::string::npos) program.replace(at, 7, saver_);
        // Mode "one" with our program as the only one; nothing that would delay or hide the picture.
        writeHomeFile(".xscreensaver",
                      "mode:\tone\nselected:\t0\ntimeout:\t0:30:00\ncycle:\t0:30:00\nlock:\tFalse\n"
                      "fade:\tFalse\nunfade:\tFalse\nsplash:\tFalse\ndpmsEnabled:\tFalse\n"
                      "grabDesktopImages:\tFalse\nprograms:\tGL: " +
                          program + " \\n\\\n\n");
        pid_t daemon = spawn({"xscreensaver", "-no-splash", "-verbose"}, "daemon.log");

        // The daemon answers commands once it is up.
        auto deadline = Clock::now() + kTimeout;
        while (command("-version") != 0 && Clock::now() < deadline) sleepMs(50);
        ASSERT_FALSE(ended(daemon)) << log("daemon.log");

        Clock::time_point activated = Clock::now();
        ASSERT_EQ(command("-activate"), 0) << log("command.log");
        std::vector<pid_t> savers = waitForSavers(daemon, processName, static_cast<size_t>(monitors));
        ASSERT_EQ(savers.size(), static_cast<size_t>(monitors)) << log("daemon.log");
        ASSERT_TRUE(waitForPictures(monitors, width, height)) << log("daemon.log");
        double drawnMs = msSince(activated);
        // On the window the daemon made for it: the host's window id in its environment.
        for (pid_t pid : savers) {
            std::string environment = readFile("/proc/" + std::to_string(pid) + "/environ");
            EXPECT_NE(environment.find("XSCREENSAVER_WINDOW="), std::string::npos);
        }

        Clock::time_point deactivated = Clock::now();
        ASSERT_EQ(command("-deactivate"), 0) << log("command.log");
        EXPECT_TRUE(waitEnded(savers, std::chrono::duration_cast<std::chrono::milliseconds>(kGoneTimeout)))
            << log("daemon.log");
        double goneMs = msSince(deactivated);
        EXPECT_TRUE(named(descendants(daemon), processName).empty());
        std::cout << "[ timing   ] " << processName << " x" << monitors << ": activate -> drawn "
                  << static_cast<int>(drawnMs) << " ms, deactivate -> gone " << static_cast<int>(goneMs) << " ms"
                  << std::endl;
        RecordProperty("activate_to_drawn_ms", static_cast<int>(drawnMs));
        RecordProperty("deactivate_to_gone_ms", static_cast<int>(goneMs));

        // The daemon itself ends on request and leaves nothing behind.
        command("-exit");
        EXPECT_TRUE(waitEnded({daemon}, std::chrono::duration_cast<std::chrono::milliseconds>(kGoneTimeout)));
        EXPECT_TRUE(waitNothingLeft()) << "left running: " << describe(descendants(getpid()));
    }

    Account account_ = hostAccount();
    Display* display_ = nullptr;
    pid_t xvfb_ = -1;
    std::string displayName_;
    std::string serverReasons_;   // why each display number tried was not ours, for a failed start
    std::string home_;            // the host account's temporary home
    std::string saver_;           // the copy of orbivane in it
    std::vector<pid_t> started_;  // processes we forked, for the teardown
};

// What the hosts need, or why the case is skipped.
#define REQUIRE_PROGRAMS(...)                                                 \
    for (const char* program : {__VA_ARGS__}) {                               \
        if (!onPath(program)) GTEST_SKIP() << program << " is not installed"; \
    }

}  // namespace

// The program the timing comparison runs beside orbivane, e.g. "/usr/libexec/xscreensaver/gears -root";
// unset, the comparison is skipped.
const char* comparedHack() { return std::getenv("ORBIVANE_COMPARE_HACK"); }

TEST_F(HostsOnX, XScreenSaverRunsItOnActivateAndEndsItOnDeactivate) {
    REQUIRE_PROGRAMS("xscreensaver", "xscreensaver-command", "Xvfb");
    ASSERT_FALSE(account_.name.empty()) << "no unprivileged account to run the daemon";
    // The command line that orbivane.xml gives the daemon.
    runDaemon("@SAVER@ --root --no-settings-file", "orbivane", 1, 640, 480);
}

TEST_F(HostsOnX, XScreenSaverRunsOneOnEachOfTwoMonitors) {
    REQUIRE_PROGRAMS("xscreensaver", "xscreensaver-command", "Xvfb", "xrandr");
    ASSERT_FALSE(account_.name.empty()) << "no unprivileged account to run the daemon";
    runDaemon("@SAVER@ --root --no-settings-file", "orbivane", 2, 400, 300);
}

TEST_F(HostsOnX, XScreenSaverTimingOfAnotherHack) {
    if (comparedHack() == nullptr) GTEST_SKIP() << "set ORBIVANE_COMPARE_HACK to compare with another program";
    REQUIRE_PROGRAMS("xscreensaver", "xscreensaver-command", "Xvfb");
    std::string hack = comparedHack();
    std::string name = hack.substr(0, hack.find(' '));
    name = name.substr(name.rfind('/') + 1);
    runDaemon(hack, name, 1, 640, 480);
}

TEST_F(HostsOnX, XSecureLockRunsItOnEveryMonitorWithTheHostWindowAndEndsIt) {
    REQUIRE_PROGRAMS("xsecurelock", "Xvfb", "xrandr");
    const int width = 400, height = 300;
    ASSERT_TRUE(startServer(2 * width, height)) << "cannot start Xvfb:" << serverReasons_;
    splitIntoMonitors(2, width, height);
    makeHome();
    // The program itself as the saver.
    runLocker({"XSECURELOCK_SAVER=" + saver_}, 2, width, height, "");
}

TEST_F(HostsOnX, XSecureLockTakesTheSaverChosenForXScreenSaver) {
    REQUIRE_PROGRAMS("xsecurelock", "xrdb", "Xvfb");
    ASSERT_TRUE(startServer(640, 480)) << "cannot start Xvfb:" << serverReasons_;
    makeHome();
    // The program named as in the hacks directory, which here is the temporary home.
    writeHomeFile(".xscreensaver", "mode:\tone\nselected:\t0\nprograms:\tGL: orbivane --root --no-settings-file \\n\n");
    runLocker({"XSECURELOCK_SAVER=saver_xscreensaver", "XSECURELOCK_XSCREENSAVER_PATH=" + home_}, 1, 640, 480,
              "--no-settings-file");
}
