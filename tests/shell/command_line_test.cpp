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
    return waitForWindow([&] { return findFullScreenSaver(saver.id()); }, 15000);
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
    EXPECT_EQ(saver.waitExit(15000), 0u);
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
    EXPECT_EQ(second.waitExit(15000), 0u);
    EXPECT_EQ(first.waitExit(0), STILL_ACTIVE);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(waitForWindow([&] { return GetForegroundWindow() == window ? window : nullptr; }, 3000), window);

    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(first.waitExit(15000), 0u);
}

TEST(CommandLine, PreviewRunsAsChildOfTheGivenWindow) {
    for (const char* letter : {"p", "l"}) {
        SCOPED_TRACE(letter);
        HWND host = createHostWindow(320, 240);
        ASSERT_NE(host, nullptr);
        SaverProcess saver;
        ASSERT_TRUE(saver.start(std::string(" /") + letter + " " +
                                std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(host)))));
        HWND preview = waitForWindow([&] { return findPreview(host); }, 15000);
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
        HWND menuArrived = waitForWindow([&]() -> HWND { return hostMessages().size() > 1 ? host : nullptr; }, 15000);
        ASSERT_EQ(menuArrived, host);
        EXPECT_EQ(hostMessages()[1].message, static_cast<UINT>(WM_CONTEXTMENU));
        EXPECT_EQ(hostMessages()[1].wParam, reinterpret_cast<WPARAM>(host));
        EXPECT_EQ(hostMessages()[1].lParam, MAKELPARAM(5, 6));

        // Input never ends a preview; the system ends it by destroying the preview box.
        PostMessageA(preview, WM_KEYDOWN, 'A', 0);
        PostMessageA(preview, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        EXPECT_EQ(saver.waitExit(500), STILL_ACTIVE);
        DestroyWindow(host);
        EXPECT_EQ(saver.waitExit(15000), 0u);
    }
}

TEST(CommandLine, PreviewWithMonitorModeStillUsesOneSurface) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Orbivane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    DWORD two = 2;
    RegSetValueExA(key, "monitor_mode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), sizeof two);

    HWND host = createHostWindow(200, 150);
    SaverProcess saver;
    ASSERT_TRUE(saver.start(" /p " + std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(host)))));
    HWND preview = waitForWindow([&] { return findPreview(host); }, 15000);
    EXPECT_NE(preview, nullptr);
    saver.waitExit(300);
    if (preview) {
        EXPECT_EQ(FindWindowExA(preview, nullptr, "OPENGLCHILD", nullptr), nullptr);
    }
    DestroyWindow(host);
    EXPECT_EQ(saver.waitExit(15000), 0u);

    RegDeleteValueA(key, "monitor_mode");
    RegCloseKey(key);
}

TEST(CommandLine, InvalidRunsEndWithMinusOne) {
    for (const char* switches : {" /p", " /p 0", " /l 0", " /x", " /a 1234", " /p 99999"}) {
        SCOPED_TRACE(switches);
        SaverProcess saver;
        ASSERT_TRUE(saver.start(switches));
        EXPECT_EQ(saver.waitExit(15000), failed);
    }
}

TEST(CommandLine, SettingsOwner) {
    HWND host = createHostWindow(200, 100);
    ASSERT_NE(host, nullptr);
    SetForegroundWindow(host);
    std::string handle = std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(host)));
    struct Case {
        std::string switches;
        HWND owner;
    };
    // "/c:<hwnd>" names the owner; "/c <n>" without the colon takes the foreground window (the host);
    // no switch at all shows the settings without an owner.
    for (const Case& c : {Case{" /c:" + handle, host}, Case{" /c 5678", host}, Case{"", nullptr}}) {
        SCOPED_TRACE("command line:" + c.switches);
        // The owner of "/c <n>" is whatever is in front when the saver starts: make sure it is the host.
        HWND front = waitForWindow(
            [host]() -> HWND {
                if (GetForegroundWindow() == host) return host;
                SetForegroundWindow(host);
                return nullptr;
            },
            2000);
        ASSERT_EQ(front, host);
        SaverProcess saver;
        ASSERT_TRUE(saver.start(c.switches));
        HWND box = saver.waitTopWindow(15000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(GetWindow(box, GW_OWNER), c.owner);
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(saver.waitExit(15000), 0u);
        SetForegroundWindow(host);
    }
    DestroyWindow(host);
}

