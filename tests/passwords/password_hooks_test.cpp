// Password hooks on the NT family (Wine's default version), and the Windows 98 cases run as a child
// program under Wine's per-program Windows 98 version.
#include <gtest/gtest.h>

#include "password_test_support.h"
#include "shell/win32/password_hooks.h"

namespace {

TEST(NtPasswordHooks, NothingIsLoadedOrFlaggedEvenWithAPasswordWanted) {
    detectPlatform();
    ASSERT_FALSE(isWin9xPlatform);

    auto usePassword = pwtest::saveUsePasswordSetting();
    ASSERT_TRUE(usePassword->writeDword(1));
    pwtest::StubFolder stub("nt");
    const std::string folder = pwtest::exeFolder() + "\\with_entry";
    ASSERT_TRUE(SetDllDirectoryA(folder.c_str()));
    pwtest::clearScreenSaverRunningFlag();

    loadPasswordLibrary();
    EXPECT_EQ(passwordLibrary, nullptr);
    EXPECT_EQ(verifyPassword, nullptr);
    setScreenSaverRunning(true);
    EXPECT_FALSE(pwtest::screenSaverRunningFlag());
    unloadPasswordLibrary();
    EXPECT_EQ(stub.joined(), "");
    SetDllDirectoryA(nullptr);
}

TEST(Win98PasswordHooks, ChildProgramPasses) {
    const std::string child = "password_hooks_win98.exe";
    pwtest::Windows98Program win98(child);
    PROCESS_INFORMATION process = pwtest::startProcess("\"" + pwtest::exeFolder() + "\\" + child + "\"");
    ASSERT_NE(process.hProcess, nullptr) << "cannot start " << child;
    EXPECT_EQ(pwtest::finishProcess(process, 120000), 0) << child << " failed, see its output above";
}

}  // namespace
