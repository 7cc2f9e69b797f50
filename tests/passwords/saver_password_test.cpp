// The saver program's password behaviour end to end under Wine: a copy of the saver, renamed
// Orbivane98.scr, runs from a folder that holds the stand-in PASSWORD.CPL and MPR.DLL; Wine reports
// Windows 98 to that name only, so saver tests running beside this one keep the default version.
//
// What it relies on:
// - the saver's target is `Orbivane`, one self-contained program that runs from any folder under any name;
// - its full-screen window has the class "WindowsScreenSaverClass" and the title "Screen Saver", and takes
//   a WM_KEYDOWN posted to it as a key press;
// - nothing closes the saver before the first key (no window manager on the virtual display takes the
//   activation away), so the password is first asked for at that key;
// - Wine's default version is of the NT family;
// - Wine keeps the screen-saver-running flag per process, so the flag is checked in-process by
//   password_hooks_tests and not here;
// - other tests that start a full-screen saver hold the ctest lock "orbivane_fullscreen_saver", and
//   those that change "ScreenSaveUsePassword" hold "orbivane_password_setting".
#include <gtest/gtest.h>

#include "password_test_support.h"

namespace {

const char* const kSaverName = "Orbivane98.scr";
const char* const kSaverClass = "WindowsScreenSaverClass";

std::string saverPath() { return pwtest::exeFolder() + "\\saver98\\" + kSaverName; }

// The full-screen saver window that belongs to the given process, or null.
HWND saverWindowOf(DWORD processId) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kSaverClass, "Screen Saver")) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) {
            return window;
        }
    }
    return nullptr;
}

bool stillRunning(const PROCESS_INFORMATION& process) {
    return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
}

void pressKey(HWND window) {
    PostMessageA(window, WM_KEYDOWN, 'A', 0x001E0001);
    PostMessageA(window, WM_KEYUP, 'A', 0xC01E0001);
}

class SaverPassword : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(GetFileAttributesA(saverPath().c_str()), INVALID_FILE_ATTRIBUTES) << saverPath();
        ASSERT_EQ(FindWindowA(kSaverClass, "Screen Saver"), nullptr)
            << "another full-screen saver is running; this test would only bring it to the front";
        ASSERT_TRUE(usePassword_->writeDword(1));
        stub_.setAnswer(0);
    }
    void TearDown() override {
        if (saver_.hProcess) {
            pwtest::finishProcess(saver_, 0);  // a saver left over from a failed check
        }
    }

    // Starts the saver copy with the given switches and, for "/s", waits for its window.
    HWND startFullScreen() {
        saver_ = pwtest::startProcess("\"" + saverPath() + "\" /s");
        if (!saver_.hProcess) {
            return nullptr;
        }
        HWND window = nullptr;
        pwtest::waitFor([&] { return (window = saverWindowOf(saver_.dwProcessId)) != nullptr; }, 60000);
        return window;
    }

    std::unique_ptr<pwtest::SavedRegistryValue> usePassword_ = pwtest::saveUsePasswordSetting();
    pwtest::StubFolder stub_{"saver"};
    PROCESS_INFORMATION saver_ = {};
};

TEST_F(SaverPassword, WrongPasswordKeepsTheSaverRunningRightOneClosesIt) {
    pwtest::Windows98Program win98(kSaverName);
    HWND window = startFullScreen();
    ASSERT_NE(window, nullptr) << "no full-screen saver window appeared";
    // (Wine keeps the screen-saver-running flag per process, so it cannot be watched from here.)
    EXPECT_EQ(stub_.count("PASSWORD.CPL attach"), 1u) << stub_.joined();
    ASSERT_EQ(stub_.count("VerifyScreenSavePwd"), 0u) << "asked for the password before any input\n" << stub_.joined();

    // A wrong password: asked once with the saver window as owner, and the saver stays.
    pressKey(window);
    ASSERT_TRUE(pwtest::waitFor([&] { return stub_.count("VerifyScreenSavePwd") > 0; }, 60000)) << stub_.joined();
    // The check runs inside the close request; once the saver's thread answers again, the request is over.
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 15000, &answer), 0);
    const DWORD checkOver = GetTickCount();
    EXPECT_TRUE(stillRunning(saver_));
    EXPECT_TRUE(IsWindow(window));
    const std::string wrong = "VerifyScreenSavePwd " + pwtest::describeWindow(window, kSaverClass) + " -> 0";
    EXPECT_EQ(stub_.count(wrong), stub_.count("VerifyScreenSavePwd")) << stub_.joined();

    // The right password, past the 200 ms after the check in which a new close request would be dropped.
    stub_.setAnswer(1);
    while (GetTickCount() - checkOver <= 200) {
        Sleep(10);
    }
    pressKey(window);
    EXPECT_EQ(pwtest::finishProcess(saver_, 60000), 0) << stub_.joined();
    const std::string right = "VerifyScreenSavePwd " + pwtest::describeWindow(window, kSaverClass) + " -> 1";
    EXPECT_EQ(stub_.count(right), 1u) << stub_.joined();
    const std::vector<std::string> calls = stub_.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "PASSWORD.CPL detach") << stub_.joined();
    // The finer system timer was asked for once and given back once, at the window's end.
    EXPECT_EQ(stub_.count("timeBeginPeriod 1"), 1u) << stub_.joined();
    EXPECT_EQ(stub_.count("timeEndPeriod 1"), 1u) << stub_.joined();
    EXPECT_EQ(calls.size() >= 2 ? calls[calls.size() - 2] : "", "timeEndPeriod 1") << stub_.joined();
}

TEST_F(SaverPassword, OnTheNtFamilyAKeyClosesAtOnceWithoutThePasswordLibrary) {
    HWND window = startFullScreen();
    ASSERT_NE(window, nullptr) << "no full-screen saver window appeared";
    pressKey(window);
    EXPECT_EQ(pwtest::finishProcess(saver_, 60000), 0);
    EXPECT_EQ(stub_.joined(), "");
}

// A plain top-level window of this process, the owner handed to "/a".
class OwnerWindow {
public:
    OwnerWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "OrbivaneTestOwner";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "OrbivaneTestOwner", "Owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    }
    ~OwnerWindow() {
        if (window_) {
            DestroyWindow(window_);
        }
    }
    HWND handle() const { return window_; }
    std::string decimal() const { return std::to_string(reinterpret_cast<INT_PTR>(window_)); }

private:
    HWND window_ = nullptr;
};

TEST_F(SaverPassword, ChangePasswordSwitchCallsTheProviderWithTheOwner) {
    pwtest::Windows98Program win98(kSaverName);
    OwnerWindow owner;
    ASSERT_NE(owner.handle(), nullptr);
    saver_ = pwtest::startProcess("\"" + saverPath() + "\" /a " + owner.decimal());
    EXPECT_EQ(pwtest::finishProcess(saver_, 60000), 0);
    EXPECT_EQ(stub_.joined(), "MPR.DLL attach\nPwdChangePasswordA SCRSAVE " +
                                  pwtest::describeWindow(owner.handle(), "OrbivaneTestOwner") +
                                  " 0 0\nMPR.DLL detach\n");
}

TEST_F(SaverPassword, ChangePasswordSwitchOnTheNtFamilyExitsWithoutTheProvider) {
    OwnerWindow owner;
    ASSERT_NE(owner.handle(), nullptr);
    saver_ = pwtest::startProcess("\"" + saverPath() + "\" /a " + owner.decimal());
    EXPECT_EQ(pwtest::finishProcess(saver_, 60000), -1);
    EXPECT_EQ(stub_.joined(), "");
}

}  // namespace

namespace {

// A fault that escapes the change-password mode: the stand-in provider sets the screen-saver-running
// flag and then fails. The guard must clear the flag and end the run with -1, whatever top-level filter
// the program's start-up code installed before it; the provider's detach reports the flag at the end.
TEST_F(SaverPassword, FaultInTheProviderClearsTheFlagAndExitsWithMinusOne) {
    pwtest::Windows98Program win98(kSaverName);
    OwnerWindow owner;
    ASSERT_NE(owner.handle(), nullptr);
    const std::string call =
        "PwdChangePasswordA SCRSAVE " + pwtest::describeWindow(owner.handle(), "OrbivaneTestOwner") + " 0 0\n";
    for (const char* fault : {"write", "throw", "raise"}) {
        SCOPED_TRACE(fault);
        pwtest::StubFolder stub{std::string("fault-") + fault};
        stub.setFault(fault);
        saver_ = pwtest::startProcess("\"" + saverPath() + "\" /a " + owner.decimal());
        EXPECT_EQ(pwtest::finishProcess(saver_, 60000), -1) << stub.joined();
        EXPECT_EQ(stub.joined(),
                  "MPR.DLL attach\n" + call + "fault " + fault + ", running flag 1\nMPR.DLL detach, running flag 0\n");
    }
}

}  // namespace

namespace {

// A fault in the password check of a full-screen run, which runs inside the saver window's close
// request: the fault is offered to the system first, then the flag that the loaded password library set
// is cleared, the finer system timer that the window asked for is given back once, and the run ends
// with -1.
TEST_F(SaverPassword, FaultInThePasswordCheckClearsTheFlagAndExitsWithMinusOne) {
    pwtest::Windows98Program win98(kSaverName);
    for (const char* fault : {"write", "throw", "raise"}) {
        SCOPED_TRACE(fault);
        pwtest::StubFolder stub{std::string("check-") + fault};
        stub.setFault(fault);
        HWND window = startFullScreen();
        ASSERT_NE(window, nullptr) << "no full-screen saver window appeared";
        pressKey(window);
        EXPECT_EQ(pwtest::finishProcess(saver_, 60000), -1) << stub.joined();
        // A fault is offered to the system's crash handling first; a C++ exception is caught by the run
        // mode's own handler and never becomes a fault.
        const std::string offered = std::string(fault) == "throw" ? "" : "UnhandledExceptionFilter\n";
        EXPECT_EQ(stub.joined(), std::string("PASSWORD.CPL attach\ntimeBeginPeriod 1\nfault ") + fault +
                                     ", running flag 1\n" + offered +
                                     "timeEndPeriod 1\nPASSWORD.CPL detach, running flag 0\n");
    }
}

}  // namespace
