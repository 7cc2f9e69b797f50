// Orbivane.scr started with the command lines the system uses, checked by its windows and exit codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "saver_process.h"

namespace {

const DWORD failed = static_cast<DWORD>(-1);

HWND findFullScreenSaver(DWORD process) {
    HWND w = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
    DWORD owner = 0;
    if (w) GetWindowThreadProcessId(w, &owner);
    return owner == process ? w : nullptr;
}

HWND waitFullScreenSaver(SaverProcess& saver) {
    return waitForWindow([&] { return findFullScreenSaver(saver.id()); }, 60000);
}

HWND findPreview(HWND host) { return FindWindowExA(host, nullptr, "WindowsScreenSaverClass", "Preview"); }

// Full screen: the window covers the virtual screen, and a key press ends the run with exit code 0.
void expectFullScreenRun(const std::string& switches) {
    SCOPED_TRACE("command line:" + switches);
    SaverProcess saver;
    ASSERT_TRUE(saver.start(switches));
    HWND window = waitFullScreenSaver(saver);
    ASSERT_NE(window, nullptr);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(r.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(saver.waitExit(60000), 0u);
}

}  // namespace

TEST(CommandLine, FullScreenSwitchesInEveryForm) {
    expectFullScreenRun(" /s");
    expectFullScreenRun(" -S");
    expectFullScreenRun(" s");
    expectFullScreenRun("    //s");
}

TEST(CommandLine, SecondFullScreenStartOnlyRaisesTheFirst) {
    SaverProcess first;
    ASSERT_TRUE(first.start(" /s"));
    HWND window = waitFullScreenSaver(first);
    ASSERT_NE(window, nullptr);

    SaverProcess second;
    ASSERT_TRUE(second.start(" /s"));
    EXPECT_EQ(second.waitExit(60000), 0u);
    EXPECT_EQ(first.waitExit(0), STILL_ACTIVE);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(waitForWindow([&] { return GetForegroundWindow() == window ? window : nullptr; }, 60000), window);

    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(first.waitExit(60000), 0u);
}

TEST(CommandLine, PreviewRunsAsChildOfTheGivenWindow) {
    for (const char* letter : {"p", "l"}) {
        SCOPED_TRACE(letter);
        HWND host = createHostWindow(320, 240);
        ASSERT_NE(host, nullptr);
        SaverProcess saver;
        ASSERT_TRUE(saver.start(std::string(" /") + letter + " " +
                                std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(host)))));
        HWND preview = waitForWindow([&] { return findPreview(host); }, 60000);
        ASSERT_NE(preview, nullptr);
        RECT r;
        GetWindowRect(preview, &r);
        MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, 320);
        EXPECT_EQ(r.bottom, 240);
        EXPECT_TRUE(GetWindowLongA(preview, GWL_STYLE) & WS_CHILD);

        // Help reaches the box across the processes, with its record copied; the context menu request
        // is posted and arrives when the box's queue is read.
        watchHostMessages(host);
        HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, 7, preview, 42, {11, 12}};
        EXPECT_EQ(SendMessageA(preview, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)), 1);
        ASSERT_EQ(hostMessages().size(), 1u);
        EXPECT_EQ(hostMessages()[0].message, static_cast<UINT>(WM_HELP));
        EXPECT_EQ(hostMessages()[0].wParam, reinterpret_cast<WPARAM>(host));
        EXPECT_EQ(hostMessages()[0].help.iCtrlId, 7);
        EXPECT_EQ(hostMessages()[0].help.dwContextId, 42u);
        EXPECT_EQ(hostMessages()[0].help.MousePos.x, 11);
        EXPECT_EQ(hostMessages()[0].help.MousePos.y, 12);
        EXPECT_EQ(SendMessageA(preview, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(preview), MAKELPARAM(5, 6)), 1);
        HWND menuArrived = waitForWindow([&]() -> HWND { return hostMessages().size() > 1 ? host : nullptr; }, 60000);
        ASSERT_EQ(menuArrived, host);
        EXPECT_EQ(hostMessages()[1].message, static_cast<UINT>(WM_CONTEXTMENU));
        EXPECT_EQ(hostMessages()[1].wParam, reinterpret_cast<WPARAM>(host));
        EXPECT_EQ(hostMessages()[1].lParam, MAKELPARAM(5, 6));
        EXPECT_TRUE(IsWindow(preview));
        EXPECT_EQ(saver.waitExit(0), STILL_ACTIVE);
        DestroyWindow(host);
        // Input never ends a preview; the system ends it by destroying the preview box. The input is
        // sent, so a close it caused would already be queued ahead of the context menu request below,
        // and would have destroyed the window by the time that request reaches the box.
        SendMessageA(preview, WM_KEYDOWN, 'A', 0);
        SendMessageA(preview, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SetCursorPos(5, 5);
        SendMessageA(preview, WM_MOUSEMOVE, 0, 0);
        SetCursorPos(300, 300);
        SendMessageA(preview, WM_MOUSEMOVE, 0, 0);

        EXPECT_EQ(saver.waitExit(60000), 0u);
    }
}

// Every spelling of the preview switch that the entry takes runs the window as a preview: one surface,
// with no per-monitor children even when a monitor mode is chosen.
TEST(CommandLine, PreviewWithMonitorModeStillUsesOneSurface) {
    ScopedSetting individualMonitors("monitor_mode", 2);
    for (const char* form : {" /p ", " --p ", " / p ", "\t/p "}) {
        SCOPED_TRACE(std::string("switch \"") + form + "\"");
        HWND host = createHostWindow(200, 150);
        ASSERT_NE(host, nullptr);
        SaverProcess saver;
        ASSERT_TRUE(saver.start(form + std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(host)))));
        HWND preview = waitForWindow([&] { return findPreview(host); }, 60000);
        EXPECT_NE(preview, nullptr);
        if (preview) {
            // The window is found as soon as it exists; its creation (and any children) is over once its
            // thread answers.
            EXPECT_TRUE(waitUntilIdle(preview, 60000));
            EXPECT_EQ(FindWindowExA(preview, nullptr, "OPENGLCHILD", nullptr), nullptr);
        }
        DestroyWindow(host);
        EXPECT_EQ(saver.waitExit(60000), 0u);
    }
}

TEST(CommandLine, InvalidRunsEndWithMinusOne) {
    for (const char* switches : {" /p", " /p 0", " /l 0", " /x", " /a 1234", " /p 99999"}) {
        SCOPED_TRACE(switches);
        SaverProcess saver;
        ASSERT_TRUE(saver.start(switches));
        EXPECT_EQ(saver.waitExit(60000), failed);
    }
}

namespace {

// Makes `window` the foreground window: asks at most every 500 ms (every request starts a round trip
// through the X server) and reads this thread's messages meanwhile; whether it came to the front.
bool bringToFront(HWND window, DWORD ms) {
    DWORD asked = GetTickCount() - 1000;
    return waitForWindow(
               [&]() -> HWND {
                   if (GetForegroundWindow() == window) return window;
                   if (GetTickCount() - asked >= 500) {
                       SetForegroundWindow(window);
                       asked = GetTickCount();
                   }
                   return nullptr;
               },
               ms) == window;
}

// Runs the settings with `switches` and returns the owner of its dialog box; cancels the box.
HWND settingsOwner(const std::string& switches) {
    SaverProcess saver;
    if (!saver.start(switches)) {
        ADD_FAILURE() << "could not start the saver";
        return nullptr;
    }
    HWND box = saver.waitTopWindow(60000);
    if (!box) {
        ADD_FAILURE() << "no settings box appeared";
        return nullptr;
    }
    HWND owner = GetWindow(box, GW_OWNER);
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(saver.waitExit(60000), 0u);
    return owner;
}

}  // namespace

// "/c:<hwnd>" names the owner; no switch at all shows the settings without an owner. Neither depends
// on which window is in front.
TEST(CommandLine, SettingsOwnerNamedOrNone) {
    HWND host = createHostWindow(200, 100);
    ASSERT_NE(host, nullptr);
    const std::string handle = std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(host)));
    EXPECT_EQ(settingsOwner(" /c:" + handle), host);
    EXPECT_EQ(settingsOwner(""), nullptr);
    DestroyWindow(host);
}

// "/c <n>" without the colon, or a colon with a handle that is no window, takes the window in front
// when the saver starts. Something else (a window of another program on the display, or the system)
// may come to the front between the check here and the saver's own look, so a run whose owner is not
// the host is tried again, up to three times: a wrong rule gives a wrong owner every time.
TEST(CommandLine, SettingsOwnerIsTheForegroundWindowOtherwise) {
    HWND host = createHostWindow(200, 100);
    ASSERT_NE(host, nullptr);
    for (const char* switches : {" /c 5678", " /c:5678"}) {
        SCOPED_TRACE(switches);
        HWND owner = nullptr;
        for (int attempt = 0; attempt < 3 && owner != host; ++attempt) {
            ASSERT_TRUE(bringToFront(host, 60000)) << "the host window never came to the front";
            owner = settingsOwner(switches);
        }
        EXPECT_EQ(owner, host);
    }
    DestroyWindow(host);
}
