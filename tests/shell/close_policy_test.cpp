// The saver window in this process: its close-on-input policy, its frame timer and its failures, by
// messages sent to it.
#include <gtest/gtest.h>
#include <windows.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/win32/system_error.h"
#include "display/win32/gl_surface.h"
#include "saver_process.h"
#include "scene/scene.h"
#include "shell/win32/password_hooks.h"
#include "shell/win32/saver_window.h"
#include "support/message_pump.h"
#include "support/scoped_value.h"
#include "support/watched_imports.h"

namespace {

// What reached the end of the window's procedure chain.
std::vector<std::pair<UINT, WPARAM>> handedOn;

LRESULT CALLBACK recordingFallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    handedOn.emplace_back(message, wParam);
    // Keep the system's own reactions (menus, monitor power) out of the test session.
    if (message == WM_SYSKEYDOWN || message == WM_SYSCOMMAND) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

bool wasHandedOn(UINT message, WPARAM wParam) {
    for (const auto& m : handedOn)
        if (m.first == message && m.second == wParam) return true;
    return false;
}

class SaverWindowTest : public testing::Test {
protected:
    ScopedValue<WNDPROC> recordHandedOn{saverFallbackProc, recordingFallback};
    void create(HWND parent) {
        appInstance = GetModuleHandleA(nullptr);
        SetCursorPos(100, 100);
        window = createSaverWindow(parent);
        ASSERT_NE(window, nullptr);
        handedOn.clear();
        closePosted();  // nothing the creation itself posted counts
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        if (host) DestroyWindow(host);
        pumpMessages();
        UnregisterClassA(saverClassName, appInstance);
    }
    // Whether a close was posted since the last call; takes it off the queue.
    bool closePosted() {
        MSG msg;
        bool posted = false;
        while (PeekMessageA(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) posted = true;
        return posted;
    }
    bool closesOn(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        SendMessageA(window, message, wParam, lParam);
        return closePosted();
    }
    bool movingTo(int x, int y) {
        SetCursorPos(x, y);
        return closesOn(WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    }

    HWND window = nullptr;
    HWND host = nullptr;
};

class FullScreenSaver : public SaverWindowTest {
protected:
    void SetUp() override { create(nullptr); }
};

class PreviewSaver : public SaverWindowTest {
protected:
    void SetUp() override {
        host = createHostWindow(240, 180);
        create(host);
    }
};

}  // namespace

TEST_F(FullScreenSaver, MouseMovesCloseBeyondFourPixels) {
    EXPECT_FALSE(movingTo(102, 102));
    EXPECT_TRUE(movingTo(103, 102));
}

TEST_F(FullScreenSaver, SmallMovesAddUpAgainstTheStart) {
    EXPECT_FALSE(movingTo(102, 100));
    EXPECT_FALSE(movingTo(104, 100));
    EXPECT_TRUE(movingTo(106, 100));
    // The reference moved with the close: another small step stays below the threshold.
    EXPECT_FALSE(movingTo(108, 100));
}

TEST_F(FullScreenSaver, PressesCloseReleasesDoNot) {
    for (UINT message : {WM_KEYUP, WM_SYSKEYUP, WM_CHAR, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP})
        EXPECT_FALSE(closesOn(message, 'A')) << std::hex << message;
    EXPECT_FALSE(closesOn(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA)));
    for (UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
        EXPECT_TRUE(closesOn(message, 'A')) << std::hex << message;
}

TEST_F(FullScreenSaver, DeactivationCloses) {
    EXPECT_TRUE(closesOn(WM_ACTIVATE, WA_INACTIVE));
    EXPECT_TRUE(closesOn(WM_NCACTIVATE, FALSE));
    EXPECT_TRUE(closesOn(WM_ACTIVATEAPP, FALSE));
    EXPECT_FALSE(closesOn(WM_ACTIVATE, WA_ACTIVE));
    EXPECT_FALSE(closesOn(WM_ACTIVATEAPP, TRUE));
}

TEST_F(FullScreenSaver, SystemCommands) {
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_FALSE(closePosted());
    EXPECT_FALSE(wasHandedOn(WM_SYSCOMMAND, SC_SCREENSAVE));
    EXPECT_FALSE(closesOn(WM_SYSCOMMAND, SC_NEXTWINDOW));
    EXPECT_FALSE(wasHandedOn(WM_SYSCOMMAND, SC_NEXTWINDOW));

    EXPECT_TRUE(closesOn(WM_SYSCOMMAND, SC_MONITORPOWER, 2));
    EXPECT_TRUE(wasHandedOn(WM_SYSCOMMAND, SC_MONITORPOWER));
    // The low four bits of the command are the system's own and do not change the command.
    EXPECT_TRUE(closesOn(WM_SYSCOMMAND, SC_MONITORPOWER | 3, 2));
}

TEST_F(FullScreenSaver, PowerEvents) {
    EXPECT_EQ(SendMessageA(window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), 1);
    EXPECT_FALSE(closePosted());
    EXPECT_FALSE(wasHandedOn(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND));

    for (WPARAM event : {1, 2, 3, 4, 5, 9, 0x0B, 0x13}) EXPECT_TRUE(closesOn(WM_POWERBROADCAST, event)) << event;
    for (WPARAM resume : {6, 7, 8, 0x12}) {
        EXPECT_TRUE(closesOn(WM_POWERBROADCAST, resume)) << resume;
        EXPECT_FALSE(closesOn(WM_POWERBROADCAST, resume, 1)) << "resume from failure " << resume;
    }
    EXPECT_FALSE(closesOn(WM_POWERBROADCAST, 0x0A));
    EXPECT_FALSE(closesOn(WM_POWERBROADCAST, 0x8013));
    EXPECT_TRUE(closesOn(WM_POWER, 3));
    EXPECT_FALSE(closesOn(WM_POWER, 1));
}

namespace {

// A display-state report as the system sends it to a registered window (a POWERBROADCAST_SETTING).
struct DisplayStateReport {
    GUID setting;
    DWORD length;  // bytes of data
    DWORD state;   // 0 off, 1 on, 2 dimmed
};
const GUID displayState = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};
const GUID powerSource = {0x5D3E9A59, 0xE9D5, 0x4B00, {0xA6, 0xBD, 0xFF, 0x34, 0xFF, 0x51, 0x65, 0x48}};

}  // namespace

// In the order sent: the first report tells the state at registration and never closes.
TEST_F(FullScreenSaver, DisplayTurningOffCloses) {
    const std::pair<DisplayStateReport, bool> reports[] = {
        {{displayState, 4, 0}, false}, {{displayState, 4, 2}, false}, {{displayState, 4, 1}, false},
        {{powerSource, 4, 0}, false},  {{displayState, 0, 0}, false}, {{displayState, 4, 0}, true},
        {{displayState, 4, 1}, false}, {{displayState, 4, 0}, true},
    };
    for (auto [report, closes] : reports)
        EXPECT_EQ(closesOn(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&report)), closes)
            << "state " << report.state << " length " << report.length;
    EXPECT_TRUE(wasHandedOn(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE));
}

TEST_F(FullScreenSaver, TitleStaysAndCursorHidden) {
    EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Other")), 0);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Screen Saver");
    EXPECT_EQ(SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), HTCLIENT), 1);
    EXPECT_EQ(GetCursor(), nullptr);
}

TEST_F(FullScreenSaver, ConfirmedCloseStopsPolicyAndTimer) {
    // Off the Windows 95/98/Me family there is nothing to confirm; a confirmed close turns the window
    // over to default handling and stops the animation.
    ASSERT_TRUE(confirmClose());
    EXPECT_TRUE(saverState.isClosing);
    EXPECT_FALSE(confirmClose());
    EXPECT_FALSE(closesOn(WM_KEYDOWN, 'A'));
    EXPECT_EQ(SendMessageA(window, WM_TIMER, frameTimer, 0), 0);
    EXPECT_FALSE(wasHandedOn(WM_TIMER, frameTimer));
}

// A password check that answers as told and counts its calls, with the owner it was given.
int passwordChecks = 0;
HWND passwordOwner = nullptr;
BOOL passwordAnswer = FALSE;
BOOL WINAPI countingPasswordCheck(HWND owner) {
    ++passwordChecks;
    passwordOwner = owner;
    return passwordAnswer;
}

TEST_F(FullScreenSaver, PasswordCheckGatesTheCloseAndIgnoresClosesWithin200Ms) {
    // The Windows 95/98/Me path, with a check standing in for the password library's.
    isWin9xPlatform = true;
    verifyPassword = countingPasswordCheck;
    passwordChecks = 0;
    passwordAnswer = FALSE;
    EXPECT_FALSE(confirmClose());  // wrong password: the saver stays
    EXPECT_EQ(passwordChecks, 1);
    EXPECT_EQ(passwordOwner, window);
    EXPECT_FALSE(saverState.isClosing);
    EXPECT_FALSE(confirmClose());  // right after the check: dropped without asking again
    EXPECT_EQ(passwordChecks, 1);
    // Wait out the 200 ms after the check's end, by the same clock.
    while (GetTickCount() - saverState.lastCheckTick <= 200) Sleep(10);
    passwordAnswer = TRUE;
    EXPECT_TRUE(confirmClose());  // past 200 ms the check runs again; the right password closes
    EXPECT_EQ(passwordChecks, 2);
    EXPECT_TRUE(saverState.isClosing);
    isWin9xPlatform = false;
    verifyPassword = nullptr;
}

TEST_F(FullScreenSaver, CloseDestroysAndQuits) {
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    window = nullptr;
}

TEST_F(PreviewSaver, NothingClosesAndHelpGoesToTheBox) {
    RECT r;
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 180);
    EXPECT_FALSE(movingTo(300, 300));
    for (UINT message : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
        EXPECT_FALSE(closesOn(message, 'A')) << std::hex << message;
    EXPECT_FALSE(closesOn(WM_POWERBROADCAST, 4));
    EXPECT_FALSE(closesOn(WM_POWER, 3));
    EXPECT_FALSE(closesOn(WM_SYSCOMMAND, SC_MONITORPOWER, 2));
    for (DisplayStateReport off : {DisplayStateReport{displayState, 4, 0}, DisplayStateReport{displayState, 4, 0}})
        EXPECT_FALSE(closesOn(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&off)));
    // Screen-saver commands are not filtered in preview: they go on to the system.
    SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    EXPECT_TRUE(wasHandedOn(WM_SYSCOMMAND, SC_SCREENSAVE));

    // The context menu request is posted to the box; help carries a pointer and arrives sent.
    watchHostMessages(host);
    EXPECT_EQ(SendMessageA(window, WM_CONTEXTMENU, 0, MAKELPARAM(5, 6)), 1);
    EXPECT_TRUE(hostMessages().empty());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, host, WM_CONTEXTMENU, WM_CONTEXTMENU, PM_REMOVE));
    EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(host));
    EXPECT_EQ(msg.lParam, MAKELPARAM(5, 6));

    HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, 7, window, 42, {11, 12}};
    EXPECT_EQ(SendMessageA(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)), 1);
    ASSERT_EQ(hostMessages().size(), 1u);
    const HostMessage& help = hostMessages()[0];
    EXPECT_EQ(help.message, static_cast<UINT>(WM_HELP));
    EXPECT_EQ(help.wParam, reinterpret_cast<WPARAM>(host));
    EXPECT_EQ(help.help.iCtrlId, 7);
    EXPECT_EQ(help.help.dwContextId, 42u);
    EXPECT_EQ(help.help.MousePos.x, 11);
    EXPECT_EQ(help.help.MousePos.y, 12);
}

// Wine keeps a timer's period to the millisecond: 50 ticks a second (on Windows only with the finer
// resolution the window asks for). With the box hidden a tick runs the scene's step but draws nothing, so
// the count does not depend on drawing speed. Ticks are counted against the performance counter in
// windows of one second; a busy machine can only lose ticks, so the best of at least three windows must
// reach 45 (a period rounded up to 31 ms gives 32) and none may pass 52 (a shorter period gives more).
TEST_F(PreviewSaver, FiftyTicksASecond) {
    ShowWindow(host, SW_HIDE);
    LARGE_INTEGER now, second;
    QueryPerformanceFrequency(&second);
    QueryPerformanceCounter(&now);
    const LONGLONG giveUp = now.QuadPart + 60 * second.QuadPart;
    LONGLONG windowStart = 0;
    int ticks = 0, windows = 0, most = 0;
    MSG msg;
    while ((most < 45 || windows < 3) && now.QuadPart < giveUp && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        QueryPerformanceCounter(&now);
        if (msg.message == WM_TIMER && msg.hwnd == window) {
            if (ticks > 0 && now.QuadPart - windowStart >= second.QuadPart) {
                ++windows;
                most = std::max(most, ticks);
                ticks = 0;
            }
            if (ticks++ == 0) windowStart = now.QuadPart;
        }
        DispatchMessageA(&msg);
    }
    EXPECT_GE(most, 45) << windows << " windows of one second";
    EXPECT_LE(most, 52) << windows << " windows of one second";
}

TEST_F(FullScreenSaver, HelpAndContextMenuAreHandedOn) {
    HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, 7, window, 42, {11, 12}};
    SendMessageA(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageA(window, WM_CONTEXTMENU, 0, MAKELPARAM(5, 6));
    EXPECT_TRUE(wasHandedOn(WM_HELP, 0));
    EXPECT_TRUE(wasHandedOn(WM_CONTEXTMENU, 0));
}

namespace {

std::string shownCaption;
UINT shownType = 0;
int WINAPI recordingMessageBox(HWND, LPCSTR, LPCSTR caption, UINT type) {
    shownCaption = caption;
    shownType = type;
    return IDOK;
}

// Gives the saver window another pixel format just before its creation runs, so that its own fails.
LRESULT CALLBACK claimPixelFormat(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    char name[64] = {};
    if (code == HC_ACTION && call->message == WM_CREATE && GetClassNameA(call->hwnd, name, sizeof name) &&
        std::string(name) == saverClassName) {
        HDC dc = GetDC(call->hwnd);
        int ours = ChoosePixelFormat(dc, &pixelFormatRequest());
        PIXELFORMATDESCRIPTOR other;
        int count = DescribePixelFormat(dc, 1, sizeof other, &other);
        for (int format = 1; format <= count; ++format) {
            if (format == ours) continue;
            DescribePixelFormat(dc, format, sizeof other, &other);
            if ((other.dwFlags & PFD_SUPPORT_OPENGL) && SetPixelFormat(dc, format, &other)) break;
        }
        ReleaseDC(call->hwnd, dc);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

namespace {

// The saver's calls that tests/support watches, recorded while a SaverCallWatch lives.
std::string watchedCalls;
void recordCall(const std::string& call) { watchedCalls += call + "\n"; }
struct SaverCallWatch {
    SaverCallWatch() : watching(testsupport::watchSaverImports(GetModuleHandleA(nullptr), recordCall)) {
        watchedCalls.clear();
    }
    ~SaverCallWatch() { testsupport::watchSaverImports(GetModuleHandleA(nullptr), nullptr); }
    const bool watching;
};

}  // namespace

// Full screen ends by the window's destruction, a preview by its box's. Either way the 1 ms resolution is
// asked for once while the window runs and given back once; a later release (the crash guard's, or the
// end of the run's) does nothing more.
TEST(FineTimerResolution, HeldOnceWhileASaverWindowRunsInBothModes) {
    SaverCallWatch watch;
    ASSERT_TRUE(watch.watching) << "this program does not import the calls watched";
    appInstance = GetModuleHandleA(nullptr);
    for (bool preview : {false, true}) {
        SCOPED_TRACE(preview ? "preview" : "full screen");
        watchedCalls.clear();
        HWND host = preview ? createHostWindow(160, 120) : nullptr;
        HWND window = createSaverWindow(host);
        ASSERT_NE(window, nullptr);
        holdFineTimerResolution();
        EXPECT_EQ(watchedCalls, "timeBeginPeriod 1\n");
        DestroyWindow(preview ? host : window);
        EXPECT_FALSE(IsWindow(window));
        releaseFineTimerResolution();
        EXPECT_EQ(watchedCalls, "timeBeginPeriod 1\ntimeEndPeriod 1\n");
        pumpMessages();
        UnregisterClassA(saverClassName, appInstance);
    }
}

TEST(SaverSurfaceFailure, ShowsTheErrorBoxAndWaitsForInput) {
    appInstance = GetModuleHandleA(nullptr);
    shownCaption.clear();
    HWND window = nullptr;
    {
        ScopedValue<MessageBoxFn> recordBoxes(messageBoxFn, recordingMessageBox);
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, claimPixelFormat, nullptr, GetCurrentThreadId());
        SaverCallWatch watch;
        window = createSaverWindow(nullptr);
        UnhookWindowsHookEx(hook);
    }
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(shownCaption.rfind("Unexpected Error (", 0), 0u) << shownCaption;
    EXPECT_EQ(shownCaption.back(), '\n');
    EXPECT_TRUE(shownType & MB_ICONERROR);
    EXPECT_FALSE(saverState.surfaceReady);
    EXPECT_FALSE(KillTimer(window, frameTimer));  // no frame timer was started, no finer resolution asked for
    EXPECT_EQ(watchedCalls, "");
    // Input still closes it.
    SendMessageA(window, WM_KEYDOWN, 'A', 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));

    DestroyWindow(window);
    pumpMessages();
    UnregisterClassA(saverClassName, appInstance);
}

// Not part of the normal run: tests/shell/picture.sh runs it to photograph a preview. The preview box is a
// window of this process: Wine shows OpenGL in child windows only when the parent is in the same process.
TEST(PreviewPicture, DISABLED_HoldPreview) {
    appInstance = GetModuleHandleA(nullptr);
    HWND host = createHostWindow(320, 240);
    ASSERT_NE(host, nullptr);
    HWND preview = createSaverWindow(host);
    ASSERT_NE(preview, nullptr);
    RECT r;
    GetWindowRect(preview, &r);
    std::printf("preview %ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::fflush(stdout);
    DWORD start = GetTickCount();
    MSG msg;
    // At least 6 s, and until the first image is a third faded in: a child surface under Wine and a
    // loaded machine stretch the 100-tick fade-in far beyond its nominal 2 s (at most 120 s).
    const Scene& scene = Scene::instance();
    // One message at a time, the clock checked after each: on a loaded machine a tick takes longer than
    // the timer's period, so there is always another tick waiting and the queue never runs dry.
    while (GetTickCount() - start < 6000 || (scene.fade < 0.34 && GetTickCount() - start < 120000)) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else
            Sleep(5);
    }
    // Wine 8.0 does not show OpenGL drawn into a child window on the virtual display, so the preview's
    // own frame is read back as well: one more frame, taken from the back buffer before any swap.
    RECT client;
    GetClientRect(preview, &client);
    ASSERT_TRUE(saverSurface.dc && saverSurface.context && wglMakeCurrent(saverSurface.dc, saverSurface.context));
    Scene::instance().renderFrame();
    glFinish();
    std::vector<unsigned char> pixels(static_cast<size_t>(client.right) * client.bottom * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, client.right, client.bottom, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    size_t coloured = 0, background = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        const unsigned char* p = &pixels[i];
        const bool darkBlue = p[0] < 8 && p[1] < 8 && p[2] > 24 && p[2] < 40;
        background += darkBlue;
        coloured += !darkBlue && std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 25;
    }
    const double area = static_cast<double>(client.right) * client.bottom;
    std::printf("readback coloured %.4f background %.4f (fade %.2f after %lu ms)\n", coloured / area, background / area,
                scene.fade, static_cast<unsigned long>(GetTickCount() - start));
    std::fflush(stdout);
    DestroyWindow(host);
    pumpMessages();
    UnregisterClassA(saverClassName, appInstance);
}
