// Test helper: runs Orbivane.scr as the system would and watches its windows.
#include "saver_process.h"

#include <vector>

#include "support/message_pump.h"

std::string saverPath() {
    std::string path = ORBIVANE_SCR_PATH;
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path;
}

SaverProcess::~SaverProcess() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool SaverProcess::start(const std::string& switches) {
    std::string path = saverPath();
    std::string line = "\"" + path + "\"" + switches;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(path.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info_) != FALSE;
    return started_;
}

DWORD SaverProcess::waitExit(DWORD ms) {
    DWORD start = GetTickCount();
    while (WaitForSingleObject(info_.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > ms) return STILL_ACTIVE;
        // Keep this thread's windows answering while the saver talks to them.
        pumpMessages();
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

namespace {
struct TopSearch {
    DWORD process;
    HWND found;
};
BOOL CALLBACK findTop(HWND w, LPARAM data) {
    TopSearch* search = reinterpret_cast<TopSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == search->process && IsWindowVisible(w)) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND SaverProcess::waitTopWindow(DWORD ms) {
    return waitForWindow(
        [&] {
            TopSearch search{info_.dwProcessId, nullptr};
            EnumWindows(findTop, reinterpret_cast<LPARAM>(&search));
            return search.found;
        },
        ms);
}

HWND createHostWindow(int width, int height) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "OrbivaneTestHost";
        registered = RegisterClassA(&wc) != 0;
    }
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowExA(0, "OrbivaneTestHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, r.right - r.left,
                           r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::vector<HostMessage>& hostMessages() {
    static std::vector<HostMessage> messages;
    return messages;
}

namespace {
LRESULT CALLBACK recordingHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HELP || message == WM_CONTEXTMENU) {
        HostMessage m{message, wParam, lParam, {}};
        if (message == WM_HELP && lParam) m.help = *reinterpret_cast<const HELPINFO*>(lParam);
        hostMessages().push_back(m);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

void watchHostMessages(HWND host) {
    hostMessages().clear();
    SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingHostProc));
}

namespace {
const char* const settingsKey = "Software\\Orbivane";
}

ScopedSetting::ScopedSetting(const char* name, DWORD value) : name_(name) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD size = sizeof previous_;
    DWORD type = 0;
    existed_ =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&previous_), &size) == ERROR_SUCCESS &&
        type == REG_DWORD;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

ScopedSetting::~ScopedSetting() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    if (existed_)
        RegSetValueExA(key, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_), sizeof previous_);
    else
        RegDeleteValueA(key, name_.c_str());
    RegCloseKey(key);
}

bool waitUntilIdle(HWND window, DWORD ms) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ms, &answer) != 0;
}
