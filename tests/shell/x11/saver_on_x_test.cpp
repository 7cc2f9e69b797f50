// Runs the orbivane program on a virtual X display: borrowed windows, drawing, resizing and ending.
#include <gtest/gtest.h>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "private_xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned long kBackground = 0xFF00FF;  // test windows start magenta, which the saver never clears to
constexpr auto kDrawTimeout = std::chrono::seconds(30);

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// What a capture of a window shows.
struct Picture {
    int drawn = 0;     // pixels that are neither the magenta background nor black
    int distinct = 0;  // distinct colours among the drawn pixels
    int width = 0;     // extent of the drawn pixels, 0 when none
    int height = 0;
    bool captured = false;  // XGetImage succeeded
};

// A running orbivane process with its standard error in a file.
struct Saver {
    pid_t pid = -1;         // the child process; -1 once reaped
    int status = 0;         // its wait status once reaped
    std::string errorFile;  // path of the captured standard error
};

// `configHome`: the XDG_CONFIG_HOME the saver sees; by default one without a settings file.
Saver startSaver(const std::vector<std::string>& args, const char* hostWindow,
                 const char* configHome = "/nonexistent/orbivane-test-config") {
    Saver saver;
    char path[] = "/tmp/orbivane-test-stderr-XXXXXX";
    int fd = mkstemp(path);
    saver.errorFile = path;
    saver.pid = fork();
    if (saver.pid == 0) {
        dup2(fd, 2);
        // No settings file: the developer's own choices must not change what the tests see.
        setenv("XDG_CONFIG_HOME", configHome, 1);
        if (hostWindow != nullptr) {
            setenv("XSCREENSAVER_WINDOW", hostWindow, 1);
        } else {
            unsetenv("XSCREENSAVER_WINDOW");
        }
        std::vector<char*> argv{const_cast<char*>(ORBIVANE_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ORBIVANE_PATH, argv.data());
        _exit(127);
    }
    close(fd);
    return saver;
}

// Waits up to `timeout` for the process to end; its wait status, or nothing if it still runs.
std::optional<int> waitExit(Saver& saver, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        if (saver.pid < 0) return saver.status;
        if (waitpid(saver.pid, &saver.status, WNOHANG) == saver.pid) {
            saver.pid = -1;
            return saver.status;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        sleepMs(5);
    }
}

std::string errorText(const Saver& saver) {
    std::ifstream in(saver.errorFile);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void stopSaver(Saver& saver) {
    if (saver.pid > 0 && !waitExit(saver, std::chrono::milliseconds(0))) {
        kill(saver.pid, SIGKILL);
        waitExit(saver, std::chrono::seconds(5));
    }
    if (!saver.errorFile.empty()) unlink(saver.errorFile.c_str());
}

std::string hex(Window w) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(w));
    return text;
}

class SaverOnX : public ::testing::Test {
protected:
    // A server of our own: tests running in parallel must not see each other's windows in captures.
    // Falls back to $DISPLAY when Xvfb cannot be started.
    static void SetUpTestSuite() { startOwnServer(); }
    static void TearDownTestSuite() {
        if (xvfbPid_ > 0) {
            kill(xvfbPid_, SIGTERM);
            waitpid(xvfbPid_, nullptr, 0);
            xvfbPid_ = -1;
        }
    }

    // Starts Xvfb and points DISPLAY at it.
    static void startOwnServer() {
        std::string name;
        xvfbPid_ = startPrivateXvfb(1000, 700, &name, &serverLog_);
        if (xvfbPid_ > 0) setenv("DISPLAY", name.c_str(), 1);
    }

    void SetUp() override {
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "cannot open display "
                                     << (std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(unset)") << serverLog_;
        root_ = DefaultRootWindow(display_);
    }
    void TearDown() override {
        for (Saver& s : savers_) stopSaver(s);
        if (display_ != nullptr) XCloseDisplay(display_);
    }

    Saver& run(const std::vector<std::string>& args, const char* hostWindow = nullptr,
               const char* configHome = "/nonexistent/orbivane-test-config") {
        savers_.push_back(startSaver(args, hostWindow, configHome));
        return savers_.back();
    }

    // A mapped top-level window on `visual` (the default visual when null), `x` pixels from the left.
    Window makeWindow(int width, int height, XVisualInfo* visual = nullptr, int x = 0) {
        XSetWindowAttributes set{};
        set.background_pixel = kBackground;
        set.border_pixel = 0;
        unsigned long mask = CWBackPixel | CWBorderPixel;
        int depth = CopyFromParent;
        Visual* v = CopyFromParent;
        if (visual != nullptr) {
            set.colormap = XCreateColormap(display_, root_, visual->visual, AllocNone);
            mask |= CWColormap;
            depth = visual->depth;
            v = visual->visual;
        }
        Window w = XCreateWindow(display_, root_, x, 0, width, height, 0, depth, InputOutput, v, mask, &set);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }

    Picture capture(Window window) {
        Picture p;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window, &attributes)) return p;
        XImage* image = XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        if (image == nullptr) return p;
        p.captured = true;
        std::set<unsigned long> colours;
        int minX = attributes.width, minY = attributes.height, maxX = -1, maxY = -1;
        for (int y = 0; y < attributes.height; ++y) {
            for (int x = 0; x < attributes.width; ++x) {
                unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
                if (pixel == kBackground || pixel == 0) continue;
                ++p.drawn;
                colours.insert(pixel);
                if (x < minX) minX = x;
                if (x > maxX) maxX = x;
                if (y < minY) minY = y;
                if (y > maxY) maxY = y;
            }
        }
        if (maxX >= 0) {
            p.width = maxX - minX + 1;
            p.height = maxY - minY + 1;
        }
        p.distinct = static_cast<int>(colours.size());
        XDestroyImage(image);
        return p;
    }

    // Polls captures until `good` holds or the time runs out; returns the last capture.
    Picture waitFor(Window window, const std::function<bool(const Picture&)>& good) {
        auto deadline = Clock::now() + kDrawTimeout;
        Picture p;
        do {
            p = capture(window);
            if (good(p)) break;
            sleepMs(200);
        } while (Clock::now() < deadline);
        return p;
    }

    // The tube is drawn: a fair share of the window in many colours.
    static bool tubeDrawn(const Picture& p, int area) { return p.drawn * 50 > area && p.distinct >= 50; }

    // Top-level windows currently mapped on the screen.
    int mappedTopLevels() {
        Window rootReturn, parent;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(display_, root_, &rootReturn, &parent, &children, &count);
        int mapped = 0;
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable) ++mapped;
        }
        if (children != nullptr) XFree(children);
        return mapped;
    }

    int childCount(Window window) {
        Window rootReturn, parent;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(display_, window, &rootReturn, &parent, &children, &count);
        if (children != nullptr) XFree(children);
        return static_cast<int>(count);
    }

    // Sends `sig` and expects the saver to end by that signal (as hosts expect) within two seconds.
    void expectEndBySignal(Saver& saver, int sig = SIGTERM) {
        ASSERT_GT(saver.pid, 0) << "ended before the signal: " << errorText(saver);
        kill(saver.pid, sig);
        std::optional<int> status = waitExit(saver, std::chrono::milliseconds(2000));
        ASSERT_TRUE(status.has_value()) << "still running two seconds after signal " << sig;
        ASSERT_TRUE(WIFSIGNALED(*status)) << "exited with " << WEXITSTATUS(*status) << ": " << errorText(saver);
        EXPECT_EQ(WTERMSIG(*status), sig);
    }

    // Counts the pixels of exactly `colour` in the `width` x `height` rectangle at the window's
    // lower left corner.
    int countColourAtLowerLeft(Window window, unsigned long colour, int width, int height) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, window, &a)) return -1;
        XImage* image = XGetImage(display_, window, 0, a.height - height, width, height, AllPlanes, ZPixmap);
        if (image == nullptr) return -1;
        int n = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) n += (XGetPixel(image, x, y) & 0xFFFFFF) == colour ? 1 : 0;
        }
        XDestroyImage(image);
        return n;
    }

    Display* display_ = nullptr;
    Window root_ = 0;
    std::deque<Saver> savers_;      // deque: references stay valid as more start
    static pid_t xvfbPid_;          // our Xvfb, or -1
    static std::string serverLog_;  // why earlier attempts to start one failed
};

pid_t SaverOnX::xvfbPid_ = -1;
std::string SaverOnX::serverLog_;

}  // namespace

TEST_F(SaverOnX, DrawsIntoAWindowGivenByHexIdAndFollowsItsResize) {
    Window w = makeWindow(320, 240);
    int mappedBefore = mappedTopLevels();
    Saver& saver = run({"--window-id", hex(w), "--detail-level", "0"});
    Picture p = waitFor(w, [](const Picture& p) { return tubeDrawn(p, 320 * 240); });
    ASSERT_TRUE(tubeDrawn(p, 320 * 240)) << p.drawn << " drawn pixels, " << p.distinct << " colours; "
                                         << errorText(saver);
    EXPECT_EQ(mappedTopLevels(), mappedBefore);  // it drew into ours and mapped nothing of its own
    EXPECT_EQ(childCount(w), 0);                 // the window's own visual does GL

    // Twice the size: the picture must outgrow the old 320 x 240 viewport. Neither a stale viewport
    // nor a frame of the old size shown at the corner does.
    XResizeWindow(display_, w, 640, 480);
    XSync(display_, False);
    auto outgrown = [](const Picture& p) { return tubeDrawn(p, 640 * 480) && (p.width > 320 || p.height > 240); };
    p = waitFor(w, outgrown);
    EXPECT_TRUE(outgrown(p)) << p.drawn << " drawn in " << p.width << " x " << p.height;

    expectEndBySignal(saver);
    EXPECT_EQ(errorText(saver), "");
}

TEST_F(SaverOnX, TakesDecimalIdsAndTheHostWindowWithRoot) {
    Window a = makeWindow(200, 160);
    Window b = makeWindow(200, 160, nullptr, 300);  // side by side: captures see unobscured windows
    int mappedBefore = mappedTopLevels();
    Saver& byDecimal = run({"-window-id", std::to_string(a), "-detail-level", "0"});
    Saver& byHost = run({"--root", "--detail-level=0"}, hex(b).c_str());
    Picture pa = waitFor(a, [](const Picture& p) { return tubeDrawn(p, 200 * 160); });
    Picture pb = waitFor(b, [](const Picture& p) { return tubeDrawn(p, 200 * 160); });
    EXPECT_TRUE(tubeDrawn(pa, 200 * 160)) << pa.drawn << " drawn; " << errorText(byDecimal);
    EXPECT_TRUE(tubeDrawn(pb, 200 * 160)) << pb.drawn << " drawn; " << errorText(byHost);
    EXPECT_EQ(mappedTopLevels(), mappedBefore);
    expectEndBySignal(byDecimal, SIGINT);
    expectEndBySignal(byHost, SIGHUP);
}

TEST_F(SaverOnX, CoversAWindowWithoutGlWithAChildThatFollowsResizes) {
    // A single-buffered visual cannot carry the saver's context.
    XVisualInfo pattern{};
    pattern.screen = DefaultScreen(display_);
    pattern.depth = DefaultDepth(display_, pattern.screen);
    int count = 0;
    XVisualInfo* list = XGetVisualInfo(display_, VisualScreenMask | VisualDepthMask, &pattern, &count);
    XVisualInfo* single = nullptr;
    for (int i = 0; i < count && single == nullptr; ++i) {
        int gl = 0, doubleBuffer = 1;
        glXGetConfig(display_, &list[i], GLX_USE_GL, &gl);
        glXGetConfig(display_, &list[i], GLX_DOUBLEBUFFER, &doubleBuffer);
        if (list[i].c_class == TrueColor && (!gl || !doubleBuffer)) single = &list[i];
    }
    if (single == nullptr) {
        XFree(list);
        GTEST_SKIP() << "every visual of this server is double-buffered GL";
    }
    Window w = makeWindow(240, 180, single);
    XFree(list);
    Saver& saver = run({"--window-id", hex(w), "--detail-level", "0"});
    Picture p = waitFor(w, [](const Picture& p) { return tubeDrawn(p, 240 * 180); });
    ASSERT_TRUE(tubeDrawn(p, 240 * 180)) << p.drawn << " drawn; " << errorText(saver);
    EXPECT_EQ(childCount(w), 1);

    XResizeWindow(display_, w, 480, 360);
    XSync(display_, False);
    auto outgrown = [](const Picture& p) { return tubeDrawn(p, 480 * 360) && (p.width > 240 || p.height > 180); };
    p = waitFor(w, outgrown);
    EXPECT_TRUE(outgrown(p)) << p.drawn << " drawn in " << p.width << " x " << p.height;
    expectEndBySignal(saver);
}

TEST_F(SaverOnX, EndsWhenItsWindowIsDestroyed) {
    Window w = makeWindow(160, 120);
    Saver& saver = run({"--window-id", hex(w), "--detail-level", "0"});
    Picture p = waitFor(w, [](const Picture& p) { return p.drawn > 0; });
    ASSERT_GT(p.drawn, 0) << errorText(saver);
    XDestroyWindow(display_, w);
    XSync(display_, False);
    std::optional<int> status = waitExit(saver, std::chrono::seconds(3));
    ASSERT_TRUE(status.has_value()) << "still running after its window went away";
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0) << errorText(saver);
}

TEST_F(SaverOnX, OwnWindowHasATitleAndClosesOnTheWindowManagersRequest) {
    int mappedBefore = mappedTopLevels();
    Saver& saver = run({"--window", "--detail-level", "0"}, "0x1234");  // --window ignores the host's window
    Window own = 0;
    auto deadline = Clock::now() + kDrawTimeout;
    while (own == 0 && Clock::now() < deadline) {
        Window rootReturn, parent;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(display_, root_, &rootReturn, &parent, &children, &count);
        for (unsigned int i = 0; i < count; ++i) {
            char* name = nullptr;
            XWindowAttributes a;
            if (XFetchName(display_, children[i], &name) && name != nullptr) {
                if (std::string(name) == "Orbivane" && XGetWindowAttributes(display_, children[i], &a) &&
                    a.map_state == IsViewable) {
                    own = children[i];
                }
                XFree(name);
            }
        }
        if (children != nullptr) XFree(children);
        if (own == 0) sleepMs(100);
    }
    ASSERT_NE(own, 0u) << errorText(saver);
    EXPECT_EQ(mappedTopLevels(), mappedBefore + 1);
    XSizeHints hints;
    long supplied = 0;
    if (XGetWMNormalHints(display_, own, &hints, &supplied)) {
        EXPECT_FALSE((hints.flags & PMinSize) && (hints.flags & PMaxSize) && hints.min_width == hints.max_width);
    }

    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = own;
    close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, own, False, NoEventMask, &close);
    XSync(display_, False);
    std::optional<int> status = waitExit(saver, std::chrono::seconds(3));
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0) << errorText(saver);
    EXPECT_EQ(mappedTopLevels(), mappedBefore);
}

TEST_F(SaverOnX, BadCommandLinesExitTwoWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        const char* hostWindow;
    };
    const Case cases[] = {
        {{"--bogus"}, nullptr},
        {{"-detail-level", "x"}, nullptr},
        {{"--window-id", "0xZZ"}, nullptr},
        {{"--light-distance"}, nullptr},
        {{"--root"}, "junk"},
    };
    for (const Case& c : cases) {
        Saver& saver = run(c.args, c.hostWindow);
        std::optional<int> status = waitExit(saver, std::chrono::seconds(5));
        ASSERT_TRUE(status.has_value()) << c.args[0];
        ASSERT_TRUE(WIFEXITED(*status)) << c.args[0];
        EXPECT_EQ(WEXITSTATUS(*status), 2) << c.args[0];
        std::string text = errorText(saver);
        EXPECT_EQ(text.rfind("orbivane: ", 0), 0u) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;  // exactly one line
    }
}

TEST_F(SaverOnX, AMissingWindowIsAFailureNotAUsageError) {
    Window w = makeWindow(10, 10);
    XDestroyWindow(display_, w);
    XSync(display_, False);
    Saver& saver = run({"--window-id", hex(w)});
    std::optional<int> status = waitExit(saver, std::chrono::seconds(5));
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    EXPECT_NE(errorText(saver).find(hex(w)), std::string::npos) << errorText(saver);
}

TEST_F(SaverOnX, EndsBySigtermEvenWhileBlockedReadingItsSettings) {
    // A FIFO at the settings path blocks a plain open() until a writer comes: none ever does.
    char dir[] = "/tmp/orbivane-test-fifo-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string settingsDir = std::string(dir) + "/orbivane";
    std::string fifo = settingsDir + "/settings";
    ASSERT_EQ(mkdir(settingsDir.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Window w = makeWindow(160, 120);
    Saver& saver = run({"--window-id", hex(w), "--detail-level", "0"}, nullptr, dir);

    // Wait until it sits in the FIFO's open, or until it draws where the open does not block.
    std::string wchanPath = "/proc/" + std::to_string(saver.pid) + "/wchan";
    auto deadline = Clock::now() + kDrawTimeout;
    bool blocked = false;
    while (Clock::now() < deadline && !blocked) {
        std::ifstream in(wchanPath);
        std::string wchan;
        in >> wchan;
        blocked = wchan.find("partner") != std::string::npos || wchan.find("fifo") != std::string::npos;
        if (!blocked && capture(w).drawn > 0) break;
        if (!blocked) sleepMs(20);
    }
    expectEndBySignal(saver);
    unlink(fifo.c_str());
    rmdir(settingsDir.c_str());
    rmdir(dir);
}

TEST_F(SaverOnX, FrameRateShowsInTheLowerLeftCornerOnlyWithFps) {
    Window plain = makeWindow(320, 240);
    Window withFps = makeWindow(320, 240, nullptr, 400);
    Saver& a = run({"--window-id", hex(plain), "--detail-level", "0", "--images", "3"});
    Saver& b = run({"--window-id", hex(withFps), "--detail-level", "0", "--images", "3", "-fps"});
    const unsigned long yellow = 0xFFFF00;  // the overlay's text colour
    // Two lines of text at one screen pixel per font pixel fill more than 100 pixels of the corner.
    auto deadline = Clock::now() + kDrawTimeout;
    int lit = 0;
    while (Clock::now() < deadline && (lit = countColourAtLowerLeft(withFps, yellow, 100, 30)) < 100) sleepMs(100);
    EXPECT_GE(lit, 100) << errorText(b);
    Picture p = waitFor(plain, [](const Picture& p) { return tubeDrawn(p, 320 * 240); });
    ASSERT_TRUE(tubeDrawn(p, 320 * 240)) << errorText(a);
    EXPECT_LT(countColourAtLowerLeft(plain, yellow, 100, 30), 20);
    expectEndBySignal(a);
    expectEndBySignal(b);
}
