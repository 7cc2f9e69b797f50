// Shared by the stand-in password libraries: where they record their calls and what they answer.
// ORBIVANE_STUB_DIR names a folder; calls are appended to "calls.log" there, one line each, and the
// password check answers with the number in "answer.txt" (missing or unreadable: 0, a wrong password).
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace stub {

inline std::string folder() {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("ORBIVANE_STUB_DIR", buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

inline void record(const std::string& line) {
    const std::string dir = folder();
    if (dir.empty()) {
        return;
    }
    const std::string path = dir + "\\calls.log";
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

inline int answer() {
    const std::string dir = folder();
    if (dir.empty()) {
        return 0;
    }
    const std::string path = dir + "\\answer.txt";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        return 0;
    }
    int value = 0;
    if (std::fscanf(file, "%d", &value) != 1) {
        value = 0;
    }
    std::fclose(file);
    return value;
}

// How a stand-in is to fail inside its entry: the word in "fault.txt" ("write", "throw" or "raise"),
// or empty for no failure.
inline std::string faultMode() {
    const std::string dir = folder();
    if (dir.empty()) {
        return std::string();
    }
    FILE* file = std::fopen((dir + "\\fault.txt").c_str(), "r");
    if (!file) {
        return std::string();
    }
    char text[16] = {};
    if (std::fscanf(file, "%15s", text) != 1) {
        text[0] = '\0';
    }
    std::fclose(file);
    return text;
}

// The system's screen-saver-running flag as this process sees it.
inline bool runningFlag() {
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != FALSE;
}

// Records the detach of `library`; when a fault was asked for, with the running flag as the process ends.
inline void recordDetach(const std::string& library) {
    if (faultMode().empty()) {
        record(library + " detach");
    } else {
        record(library + " detach, running flag " + (runningFlag() ? "1" : "0"));
    }
}

// Fails as faultMode() says, after recording the fault with the running flag: "write" stores to a page
// without access, "throw" throws a C++ exception, "raise" raises an exception of its own code. Returns
// only when no fault was asked for (or the system resumed the faulting store).
inline void failAsAsked() {
    const std::string fault = faultMode();
    if (fault.empty()) {
        return;
    }
    record("fault " + fault + ", running flag " + (runningFlag() ? "1" : "0"));
    if (fault == "write") {
        // A page without access: the store faults for certain (address 0 is not always unmapped).
        int* volatile target = static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
        *target = 1;
        record("resumed after write");
    } else if (fault == "throw") {
        throw std::runtime_error("stand-in library failed");
    } else if (fault == "raise") {
        RaiseException(0xE0D0CAFEu, 0, 0, nullptr);
    }
}

// "<handle as decimal> <class name>" of a window, "0 -" for none.
inline std::string describeWindow(HWND window) {
    char name[256] = "-";
    if (window && !GetClassNameA(window, name, sizeof name)) {
        lstrcpyA(name, "?");
    }
    return std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(window))) + " " + name;
}

}  // namespace stub
