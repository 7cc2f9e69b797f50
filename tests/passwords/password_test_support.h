// Helpers for the password tests under Wine: registry values restored on exit, Wine's per-program
// Windows version, child processes, the stand-in libraries' call log and the screen-saver-running flag.
#pragma once

#include <windows.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace pwtest {

// Folder of the running executable, without the trailing backslash.
inline std::string exeFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, n);
    const size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : text.substr(0, slash);
}

// One registry value as found at construction, written back (or deleted again) at destruction.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::string subkey, std::string name)
        : root_(root), subkey_(std::move(subkey)), name_(std::move(name)) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root_, subkey_.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            DWORD size = 0;
            if (RegQueryValueExA(key, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
                data_.resize(size);
                existed_ = RegQueryValueExA(key, name_.c_str(), nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
                data_.resize(size);
            }
            RegCloseKey(key);
        }
    }
    ~SavedRegistryValue() {
        if (existed_) {
            write(type_, data_.data(), static_cast<DWORD>(data_.size()));
        } else {
            remove();
        }
    }
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

    bool write(DWORD type, const void* data, DWORD size) const {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root_, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        const bool ok =
            RegSetValueExA(key, name_.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    }
    bool writeDword(DWORD value) const { return write(REG_DWORD, &value, sizeof value); }
    bool writeBinary(const std::vector<BYTE>& bytes) const {
        return write(REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    bool writeString(const std::string& text) const {
        return write(REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void remove() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root_, subkey_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name_.c_str());
            RegCloseKey(key);
        }
    }

private:
    HKEY root_;
    std::string subkey_;
    std::string name_;
    bool existed_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// The user's "ScreenSaveUsePassword" setting, restored when the guard ends.
inline std::unique_ptr<SavedRegistryValue> saveUsePasswordSetting() {
    return std::make_unique<SavedRegistryValue>(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword");
}

// Makes Wine report Windows 98 to every program started under the given file name from now on, and
// load "mpr.dll" from the program's folder before its own copy; undone at destruction.
class Windows98Program {
public:
    explicit Windows98Program(const std::string& exeName)
        : keyPath_("Software\\Wine\\AppDefaults\\" + exeName),
          keyExisted_(keyExists(keyPath_)),
          version_(new SavedRegistryValue(HKEY_CURRENT_USER, keyPath_, "Version")),
          override_(new SavedRegistryValue(HKEY_CURRENT_USER, keyPath_ + "\\DllOverrides", "mpr")) {
        version_->writeString("win98");
        override_->writeString("native,builtin");
    }
    ~Windows98Program() {
        override_.reset();
        version_.reset();
        if (!keyExisted_) {
            RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str());
            RegDeleteKeyA(HKEY_CURRENT_USER, keyPath_.c_str());
        }
    }
    Windows98Program(const Windows98Program&) = delete;
    Windows98Program& operator=(const Windows98Program&) = delete;

private:
    static bool keyExists(const std::string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    std::string keyPath_;
    bool keyExisted_;
    std::unique_ptr<SavedRegistryValue> version_;
    std::unique_ptr<SavedRegistryValue> override_;
};

// A fresh folder for the stand-in libraries' log and answer, named to them through ORBIVANE_STUB_DIR
// (inherited by child processes); removed with its files at destruction.
class StubFolder {
public:
    explicit StubFolder(const std::string& tag) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "orbivane-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount());
        CreateDirectoryA(path_.c_str(), nullptr);
        SetEnvironmentVariableA("ORBIVANE_STUB_DIR", path_.c_str());
    }
    ~StubFolder() {
        SetEnvironmentVariableA("ORBIVANE_STUB_DIR", nullptr);
        DeleteFileA((path_ + "\\calls.log").c_str());
        DeleteFileA((path_ + "\\answer.txt").c_str());
        DeleteFileA((path_ + "\\fault.txt").c_str());
        RemoveDirectoryA(path_.c_str());
    }
    StubFolder(const StubFolder&) = delete;
    StubFolder& operator=(const StubFolder&) = delete;

    // The password check's answer from now on: nonzero is a right password.
    void setAnswer(int value) const {
        std::ofstream out(path_ + "\\answer.txt", std::ios::trunc);
        out << value << "\n";
    }
    // How the stand-in MPR.DLL fails inside its call from now on: "write", "throw" or "raise".
    void setFault(const std::string& mode) const {
        std::ofstream out(path_ + "\\fault.txt", std::ios::trunc);
        out << mode << "\n";
    }
    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::ifstream in(path_ + "\\calls.log");
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    size_t count(const std::string& prefix) const {
        size_t n = 0;
        for (const std::string& line : calls()) {
            n += line.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
        }
        return n;
    }
    std::string joined() const {
        std::string text;
        for (const std::string& line : calls()) {
            text += line + "\n";
        }
        return text;
    }

private:
    std::string path_;
};

// The stand-ins' description of a window: "<handle as decimal> <class name>".
inline std::string describeWindow(HWND window, const char* className) {
    return std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(window))) + " " + className;
}

// The system's screen-saver-running flag as the system reports it.
inline bool screenSaverRunningFlag() {
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != FALSE;
}

// Clears the flag directly, so that a test starts from a known state.
inline void clearScreenSaverRunningFlag() {
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, &previous, 0);
}

// Starts a process with this one's console and environment; null handle on failure.
inline PROCESS_INFORMATION startProcess(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        process = {};
    }
    return process;
}

// Waits for a started process; its exit code, or -999 when it did not end within timeoutMs
// (it is then terminated) or never started.
inline long finishProcess(PROCESS_INFORMATION& process, DWORD timeoutMs) {
    if (!process.hProcess) {
        return -999;
    }
    long result = -999;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result = static_cast<long>(static_cast<int>(code));
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
    return result;
}

// Polls a condition every 20 ms for up to timeoutMs; whether it became true.
template <typename Condition>
bool waitFor(Condition condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

}  // namespace pwtest
