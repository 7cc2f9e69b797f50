// Entry of the X11 saver: picks the window, runs the scene on a GLX surface at 20 ms ticks until told to stop.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/random_source.h"
#include "display/x11/glx_surface.h"
#include "scene/scene.h"
#include "scene/scene_platform.h"
#include "settings/overlay_backend.h"
#include "settings/settings_store.h"
#include "shell/x11/fps_overlay.h"
#include "shell/x11/saver_options.h"
#include "shell/x11/tick_schedule.h"

namespace {

constexpr int kExitUsage = 2;         // bad command line or $XSCREENSAVER_WINDOW
constexpr int kExitFailure = 1;       // no display, no window, no GL
constexpr int kOwnWindowWidth = 960;  // initial size of the --window window, pixels
constexpr int kOwnWindowHeight = 600;

// Write end of the self-pipe through which SIGTERM, SIGINT and SIGHUP wake the main loop; -1 before setup.
int gSignalPipeWrite = -1;
// The stop signal received, 0 while none; the main loop ends as soon as it sees one.
volatile sig_atomic_t gStopSignal = 0;
// 1 while the main loop waits for the next tick, and while it cleans up after a stop; then a stop
// signal lets it release the surface and the display before the process ends. At any other time
// (start-up, a frame, an image build, a settings read that blocks) a stop signal ends the process at
// once: the X server frees whatever a closed connection held, and the host wants its window back now.
volatile sig_atomic_t gLoopWatching = 0;
// Seconds the clean-up gets after a stop signal before the process is ended regardless.
constexpr unsigned kStopGraceSeconds = 1;

// Ends the process by `sig` with its default action, as a host expects of a program it signals.
// Async-signal-safe.
void endBySignal(int sig) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(sig, &byDefault, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    _exit(128 + sig);  // not reached: the default action of the stop signals ends the process
}

void onStopSignal(int sig) {
    if (gStopSignal != 0 || gLoopWatching == 0) endBySignal(sig);  // a second signal, or not in the loop
    int saved = errno;
    gStopSignal = sig;
    char byte = 1;
    if (gSignalPipeWrite >= 0) {
        ssize_t ignored = write(gSignalPipeWrite, &byte, 1);
        (void)ignored;
    }
    alarm(kStopGraceSeconds);
    errno = saved;
}

// The grace after a stop signal ran out: the loop is stuck somewhere.
void onStopGraceOver(int) { endBySignal(gStopSignal != 0 ? gStopSignal : SIGTERM); }

// Borrowed windows can vanish at any moment; a request on a dead window must not end the process.
// The DestroyNotify that follows ends the run cleanly.
int onXError(Display*, XErrorEvent*) { return 0; }

int64_t monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Installs the stop signals' handler and returns the read end of the self-pipe, or -1.
int installStopSignals() {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    for (int fd : fds) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    gSignalPipeWrite = fds[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // One stop signal at a time: a second one arriving during the handler waits, then ends the process.
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGHUP);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    struct sigaction grace {};
    grace.sa_handler = onStopGraceOver;
    sigemptyset(&grace.sa_mask);
    sigaction(SIGALRM, &grace, nullptr);
    return fds[0];
}

// The scene's window-system services on one GLX surface.
class X11ScenePlatform final : public ScenePlatform {
public:
    // `meter`: the --fps counter, drawn over every frame; null without --fps.
    X11ScenePlatform(Scene& scene, GlxSurface& surface, FrameRateMeter* meter)
        : scene_(scene), surface_(surface), meter_(meter) {}
    int64_t nowSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }
    void repaintSurfaces() override {
        int64_t start = monotonicNs();
        scene_.renderFrame();
        if (meter_ != nullptr) drawFrameRateOverlay(*meter_, surface_.width, surface_.height);
        swapGlxSurface(surface_);
        if (meter_ != nullptr) {
            int64_t end = monotonicNs();
            meter_->frameDone(end, end - start);
        }
    }
    void showError(const char* text, const char* caption) override {
        std::fprintf(stderr, "orbivane: %s: %s\n", caption, text);
    }

private:
    Scene& scene_;           // the process's scene
    GlxSurface& surface_;    // the one surface every frame goes to
    FrameRateMeter* meter_;  // the --fps counter, or null
};

// Creates the --window window: a normal, resizable top-level window on a GL visual, not yet mapped.
// `geometry`: "WxH+X+Y" from --geometry, or empty for the default size at the top left.
Window createOwnWindow(Display* display, Atom deleteWindow, const std::string& geometry, Colormap* colormap,
                       std::string* error) {
    int screen = DefaultScreen(display);
    XVisualInfo* visual = chooseGlxVisual(display, screen);
    if (visual == nullptr) {
        *error = "the X server offers no double-buffered RGBA GLX visual";
        return 0;
    }
    Window root = RootWindow(display, screen);
    *colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    XSetWindowAttributes set{};
    set.colormap = *colormap;
    set.background_pixel = BlackPixel(display, screen);
    set.border_pixel = 0;
    set.event_mask = StructureNotifyMask | KeyPressMask;
    unsigned width = kOwnWindowWidth;
    unsigned height = kOwnWindowHeight;
    int x = 0;
    int y = 0;
    bool placed = !geometry.empty() && parseGeometry(geometry.c_str(), &width, &height, &x, &y);
    Window window = XCreateWindow(display, root, x, y, width, height, 0, visual->depth, InputOutput, visual->visual,
                                  CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &set);
    XFree(visual);

    XStoreName(display, window, "Orbivane");
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>("Orbivane"), 8);
    XClassHint classHint;
    char resName[] = "orbivane";
    char resClass[] = "Orbivane";
    classHint.res_name = resName;
    classHint.res_class = resClass;
    XSetClassHint(display, window, &classHint);
    Atom protocols[] = {deleteWindow};
    XSetWMProtocols(display, window, protocols, 1);
    if (placed) {
        // The user asked for this size and place: window managers honour user-given hints.
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = x;
        hints.y = y;
        hints.width = static_cast<int>(width);
        hints.height = static_cast<int>(height);
        XSetWMNormalHints(display, window, &hints);
    }
    return window;
}

// Everything one run holds; released in reverse order by finishRun.
struct SaverRun {
    Display* display = nullptr;  // the X connection, from XOpenDisplay to the end
    Window target = 0;           // the window drawn over (borrowed, root or our own)
    bool ownWindow = false;      // `target` is our --window window, destroyed at the end
    Colormap ownColormap = 0;    // colormap of our --window window, or 0
    bool targetAlive = true;     // false once DestroyNotify said the target is gone
    GlxSurface surface;          // the GL surface on `target`
};

void finishRun(SaverRun& run, Scene& scene) {
    scene.releaseImage();
    releaseGlxSurface(run.surface, run.targetAlive);
    if (run.ownWindow && run.targetAlive) XDestroyWindow(run.display, run.target);
    if (run.ownColormap != 0) XFreeColormap(run.display, run.ownColormap);
    XCloseDisplay(run.display);
    SettingsStore::instance().setBackend(nullptr);
}

// The window the command line and the environment choose.
struct WindowPlan {
    unsigned long borrowedId = 0;  // a window to draw into, or 0
    bool useRoot = false;          // the screen's root window
    bool useOwnWindow = false;     // a window of our own
};

// An explicit id, else the host's window, else the root or a window of our own. False (message
// printed) when $XSCREENSAVER_WINDOW holds no window id.
bool chooseWindow(const SaverOptions& options, WindowPlan* plan) {
    if (options.window == WindowChoice::windowId) {
        plan->borrowedId = options.windowId;
        return true;
    }
    if (options.window == WindowChoice::ownWindow) {
        plan->useOwnWindow = true;
        return true;
    }
    const char* hostWindow = std::getenv("XSCREENSAVER_WINDOW");
    if (hostWindow != nullptr && *hostWindow != '\0') {
        if (parseWindowId(hostWindow, &plan->borrowedId)) return true;
        std::fprintf(stderr, "orbivane: $XSCREENSAVER_WINDOW is not a window id: '%s'\n", hostWindow);
        return false;
    }
    plan->useRoot = options.window == WindowChoice::root;
    plan->useOwnWindow = !plan->useRoot;
    return true;
}

// Sets run.target: our own window (created, not yet mapped) or the borrowed or root window, whose
// size changes and destruction we then follow. False (message printed, display closed) on failure.
bool openTarget(SaverRun& run, const SaverOptions& options, const WindowPlan& plan, Atom deleteWindow) {
    Display* display = run.display;
    if (!plan.useOwnWindow) {
        run.target = plan.useRoot ? DefaultRootWindow(display) : static_cast<Window>(plan.borrowedId);
        // Size changes and destruction of the borrowed window; our own client's mask only.
        XSelectInput(display, run.target, StructureNotifyMask);
        return true;
    }
    std::string error;
    run.target = createOwnWindow(display, deleteWindow, options.geometry, &run.ownColormap, &error);
    if (run.target == 0) {
        std::fprintf(stderr, "orbivane: %s\n", error.c_str());
        XCloseDisplay(display);
        return false;
    }
    run.ownWindow = true;
    return true;
}

// Handles one X event; false when it ends the run.
bool handleEvent(SaverRun& run, const XEvent& event, Atom deleteWindow) {
    switch (event.type) {
    case ConfigureNotify:
        if (event.xconfigure.window == run.target &&
            (event.xconfigure.width != run.surface.width || event.xconfigure.height != run.surface.height)) {
            resizeGlxSurface(run.surface, event.xconfigure.width, event.xconfigure.height);
            setViewportAndProjection(run.surface.width, run.surface.height);
        }
        return true;
    case DestroyNotify:
        if (event.xdestroywindow.window != run.target) return true;
        run.targetAlive = false;
        return false;
    case ClientMessage:
        return !(run.ownWindow && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow);
    case KeyPress: {
        if (!run.ownWindow) return true;
        XKeyEvent key = event.xkey;
        const KeySym symbol = XLookupKeysym(&key, 0);
        return symbol != XK_Escape && symbol != XK_q;
    }
    default:
        return true;
    }
}

// Ticks the scene every 20 ms and handles X events between ticks, until the target goes, the user
// closes our window, the server goes or a stop signal comes.
void runLoop(SaverRun& run, Scene& scene, Atom deleteWindow, int signalPipeRead) {
    Display* display = run.display;
    TickSchedule schedule;
    schedule.start(monotonicNs());
    int xFd = ConnectionNumber(display);
    bool running = true;
    while (running && gStopSignal == 0) {
        while (running && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            running = handleEvent(run, event, deleteWindow);
        }
        if (!running || gStopSignal != 0) break;

        int64_t now = monotonicNs();
        if (schedule.due(now)) {
            scene.tick();
            schedule.advance(monotonicNs());
            continue;
        }
        pollfd fds[2] = {{xFd, POLLIN, 0}, {signalPipeRead, POLLIN, 0}};
        gLoopWatching = 1;
        int ready = poll(fds, 2, schedule.waitMs(now));
        gLoopWatching = 0;
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP)) != 0) {
            // The server closed the connection; there is nothing left to draw on.
            run.targetAlive = false;
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    SaverOptions options;
    std::string error;
    if (!parseSaverOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "orbivane: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(saverUsageText(), stdout);
        return 0;
    }
    WindowPlan plan;
    if (!chooseWindow(options, &plan)) return kExitUsage;

    int signalPipeRead = installStopSignals();
    if (signalPipeRead < 0) {
        std::perror("orbivane: pipe");
        return kExitFailure;
    }

    SaverRun run;
    const char* displayName = options.displayName.empty() ? nullptr : options.displayName.c_str();
    run.display = XOpenDisplay(displayName);
    if (run.display == nullptr) {
        std::fprintf(stderr, "orbivane: cannot open display '%s'\n", XDisplayName(displayName));
        return kExitFailure;
    }
    XSetErrorHandler(onXError);
    Display* display = run.display;
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    if (!openTarget(run, options, plan, deleteWindow)) return kExitFailure;

    // Settings: command line first, then the per-user file (unless --no-settings-file, which the
    // hosts' settings dialogs pass so that what they show is what runs), then the built-in defaults.
    // This program draws one surface per window it is given; its host takes care of the monitors.
    options.settings[settingRow(SettingId::monitorMode).name] = 0;
    NoSettingsBackend noFile;
    OverlayBackend overlay(options.settings, options.settingsFile ? platformSettingsBackend() : noFile);
    SettingsStore::instance().setBackend(&overlay);

    Scene& scene = Scene::instance();
    LcgRandom random;
    FrameRateMeter meter;
    X11ScenePlatform platform(scene, run.surface, options.showFps ? &meter : nullptr);
    scene.preview = false;
    scene.platform = &platform;
    scene.random = &random;
    scene.loadSettings();

    if (!attachGlxSurface(run.surface, display, run.target, &error)) {
        std::fprintf(stderr, "orbivane: window 0x%lx: %s\n", static_cast<unsigned long>(run.target), error.c_str());
        if (run.ownWindow) XDestroyWindow(display, run.target);
        if (run.ownColormap != 0) XFreeColormap(display, run.ownColormap);
        XCloseDisplay(display);
        SettingsStore::instance().setBackend(nullptr);
        return kExitFailure;
    }
    if (run.ownWindow) XMapWindow(display, run.target);
    scene.glApi = &glxContextApi();
    setViewportAndProjection(run.surface.width, run.surface.height);
    initRenderState(scene);
    scene.buildImage();

    runLoop(run, scene, deleteWindow, signalPipeRead);

    gLoopWatching = 1;  // a stop signal now waits for the clean-up (or the grace) to end
    finishRun(run, scene);
    gLoopWatching = 0;
    if (gStopSignal != 0) {
        // Cleaned up; now end the way the host asked, so that it sees the signal and not an exit.
        alarm(0);
        endBySignal(gStopSignal);
    }
    return 0;
}
