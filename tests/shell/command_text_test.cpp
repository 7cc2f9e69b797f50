// Reading the command line: program name removal, window handles and the run mode.
#include <gtest/gtest.h>

#include "shell/win32/saver_main.h"

TEST(CommandText, ProgramNameAndBlanksAreRemoved) {
    EXPECT_STREQ(skipProgramName("\"C:\\Program Files\\Orbivane.scr\"  /s"), "/s");
    EXPECT_STREQ(skipProgramName("Orbivane.scr\t /p 12"), "/p 12");
    EXPECT_STREQ(skipProgramName("\"unterminated /s"), "");
    EXPECT_STREQ(skipProgramName("Orbivane.scr"), "");
}

TEST(CommandText, WindowHandles) {
    EXPECT_EQ(parseWindowHandle("1234"), 1234u);
    EXPECT_EQ(parseWindowHandle("12ab"), 12u);
    EXPECT_EQ(parseWindowHandle("x12"), 0u);
    EXPECT_EQ(parseWindowHandle(""), 0u);
    // Wraps in 32 bits: 2^32 + 5.
    EXPECT_EQ(parseWindowHandle("4294967301"), 5u);
    // Values with the top bit set become negative handles, as Windows widens 32-bit handles.
    EXPECT_EQ(reinterpret_cast<intptr_t>(windowFromHandleValue(parseWindowHandle("4294967295"))), -1);
    EXPECT_EQ(reinterpret_cast<intptr_t>(windowFromHandleValue(65550u)), 65550);
}

// The whole command line, program name included, read once: the run mode and handle it names. The saver
// window takes whether it is a preview from this one reading.
TEST(CommandText, OneReadingDecidesTheRunMode) {
    struct Case {
        const char* line;
        RunMode mode;
        uint32_t handle;
    };
    const Case cases[] = {
        {"\"C:\\a b\\Orbivane.scr\" /p 1234", RunMode::preview, 1234},
        {"Orbivane.scr -l 1234", RunMode::preview, 1234},
        {"Orbivane.scr --p 1234", RunMode::preview, 1234},
        {"Orbivane.scr / p 1234", RunMode::preview, 1234},
        {"Orbivane.scr\t/p 1234", RunMode::preview, 1234},
        {"\"Orbivane.scr\"\t/P\t1234", RunMode::preview, 0},  // only spaces may come before the handle
        {"Orbivane.scr   S", RunMode::fullScreen, 0},
        {"Orbivane.scr //s", RunMode::fullScreen, 0},
        {"Orbivane.scr /c:12", RunMode::configure, 12},
        {"Orbivane.scr /c 12", RunMode::configure, 0},
        {"Orbivane.scr", RunMode::configureAlone, 0},
        {"Orbivane.scr /a 5", RunMode::changePassword, 5},
        {"Orbivane.scr /x", RunMode::invalid, 0},
        {"Orbivane.scr /\tp 1234", RunMode::invalid, 0},
    };
    for (const Case& c : cases) {
        const RunRequest request = parseRunRequest(skipProgramName(c.line));
        EXPECT_EQ(request.mode, c.mode) << c.line;
        EXPECT_EQ(request.handle, c.handle) << c.line;
    }
}
