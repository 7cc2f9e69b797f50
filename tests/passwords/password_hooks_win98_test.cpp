// Password hooks on the Windows 98 family, run by password_hooks_tests under Wine's per-program
// Windows 98 version, with stand-in libraries in folders next to this executable.
#include <gtest/gtest.h>

#include "password_test_support.h"
#include "shell/win32/password_hooks.h"

namespace {

const std::string kWithEntry = "with_entry";        // PASSWORD.CPL exporting "VerifyScreenSavePwd"
const std::string kWithoutEntry = "without_entry";  // PASSWORD.CPL without it
const std::string kMpr = "mpr";                     // MPR.DLL exporting "PwdChangePasswordA"
const std::string kEmpty = "empty";                 // no library at all

bool passwordCplInProcess() { return GetModuleHandleA("PASSWORD.CPL") != nullptr; }

class Win98PasswordHooks : public ::testing::Test {
protected:
    void SetUp() override {
        detectPlatform();
        ASSERT_TRUE(isWin9xPlatform) << "run this program through password_hooks_tests (Windows 98 version)";
        pwtest::clearScreenSaverRunningFlag();
    }
    void TearDown() override {
        unloadPasswordLibrary();
        SetDllDirectoryA(nullptr);
        pwtest::clearScreenSaverRunningFlag();
    }
    // Libraries are looked up in the given folder next to this program from now on.
    void searchIn(const std::string& folder) {
        const std::string path = pwtest::exeFolder() + "\\" + folder;
        ASSERT_TRUE(SetDllDirectoryA(path.c_str()));
    }

    // No password library is held, nor its entry, and the running flag stays clear.
    static void expectNothingLoaded() {
        EXPECT_EQ(passwordLibrary, nullptr);
        EXPECT_EQ(verifyPassword, nullptr);
        EXPECT_FALSE(passwordCplInProcess());
        EXPECT_FALSE(pwtest::screenSaverRunningFlag());
    }

    std::unique_ptr<pwtest::SavedRegistryValue> usePassword_ = pwtest::saveUsePasswordSetting();
    pwtest::StubFolder stub_{"win98"};
};

TEST_F(Win98PasswordHooks, NoPasswordWantedLoadsNothing) {
    searchIn(kWithEntry);
    struct Case {
        const char* what;
        bool (*store)(const pwtest::SavedRegistryValue&);
    };
    const Case cases[] = {
        {"absent",
         [](const pwtest::SavedRegistryValue& v) {
             v.remove();
             return true;
         }},
        {"DWORD 0", [](const pwtest::SavedRegistryValue& v) { return v.writeDword(0); }},
        {"4 zero bytes",
         [](const pwtest::SavedRegistryValue& v) {
             return v.writeBinary({0, 0, 0, 0});
         }},
        {"1 zero byte", [](const pwtest::SavedRegistryValue& v) { return v.writeBinary({0}); }},
        {"longer than 4 bytes",
         [](const pwtest::SavedRegistryValue& v) {
             return v.writeBinary({1, 0, 0, 0, 0});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.store(*usePassword_));
        loadPasswordLibrary();
        expectNothingLoaded();
    }
    EXPECT_EQ(stub_.joined(), "");
}

TEST_F(Win98PasswordHooks, LibraryWithoutEntryIsUnloadedAtOnce) {
    searchIn(kWithoutEntry);
    ASSERT_TRUE(usePassword_->writeDword(1));
    loadPasswordLibrary();
    expectNothingLoaded();
    EXPECT_EQ(stub_.joined(), "PASSWORD.CPL (no entry) attach\nPASSWORD.CPL (no entry) detach\n");
}

TEST_F(Win98PasswordHooks, MissingLibraryRunsWithoutPassword) {
    searchIn(kEmpty);
    ASSERT_TRUE(usePassword_->writeDword(1));
    loadPasswordLibrary();
    EXPECT_EQ(passwordLibrary, nullptr);
    EXPECT_EQ(verifyPassword, nullptr);
    EXPECT_FALSE(pwtest::screenSaverRunningFlag());
}

TEST_F(Win98PasswordHooks, LibraryWithEntryStaysLoadedAndSetsTheFlagUntilUnloaded) {
    searchIn(kWithEntry);
    // Any nonzero byte of the four asks for a password.
    ASSERT_TRUE(usePassword_->writeBinary({0, 0, 0, 1}));
    loadPasswordLibrary();
    ASSERT_NE(passwordLibrary, nullptr);
    ASSERT_NE(verifyPassword, nullptr);
    EXPECT_EQ(passwordLibrary, GetModuleHandleA("PASSWORD.CPL"));
    EXPECT_TRUE(pwtest::screenSaverRunningFlag());

    // The entry is the library's check: it gets the owner window and its answer comes back.
    HWND owner = GetDesktopWindow();
    stub_.setAnswer(0);
    EXPECT_FALSE(verifyPassword(owner));
    stub_.setAnswer(1);
    EXPECT_TRUE(verifyPassword(owner));
    const std::string who = pwtest::describeWindow(owner, "#32769");
    EXPECT_EQ(stub_.joined(),
              "PASSWORD.CPL attach\nVerifyScreenSavePwd " + who + " -> 0\nVerifyScreenSavePwd " + who + " -> 1\n");

    unloadPasswordLibrary();
    expectNothingLoaded();
    EXPECT_EQ(stub_.count("PASSWORD.CPL detach"), 1u);
}

TEST_F(Win98PasswordHooks, SecondLoadReplacesTheFirstWithoutLeakingIt) {
    searchIn(kWithEntry);
    ASSERT_TRUE(usePassword_->writeDword(1));
    loadPasswordLibrary();
    loadPasswordLibrary();
    ASSERT_NE(verifyPassword, nullptr);
    EXPECT_TRUE(pwtest::screenSaverRunningFlag());
    unloadPasswordLibrary();
    EXPECT_FALSE(passwordCplInProcess()) << "a reference from the first load is still held";
    EXPECT_FALSE(pwtest::screenSaverRunningFlag());
    unloadPasswordLibrary();  // nothing left to unload: harmless
    EXPECT_EQ(stub_.count("PASSWORD.CPL attach"), 2u);
    EXPECT_EQ(stub_.count("PASSWORD.CPL detach"), 2u);
}

TEST_F(Win98PasswordHooks, ChangePasswordCallsTheProviderWithOwnerAndFreesIt) {
    ASSERT_EQ(GetModuleHandleA("MPR.DLL"), nullptr) << "the system's MPR.DLL is already in this process";
    searchIn(kMpr);
    HWND owner = GetDesktopWindow();
    changePassword(owner);
    EXPECT_EQ(stub_.joined(), "MPR.DLL attach\nPwdChangePasswordA SCRSAVE " + pwtest::describeWindow(owner, "#32769") +
                                  " 0 0\nMPR.DLL detach\n");
    EXPECT_EQ(GetModuleHandleA("MPR.DLL"), nullptr);
}

}  // namespace
