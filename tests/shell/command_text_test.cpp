// Reading the command line: program name removal, window handles and the saver window's own reading.
#include <gtest/gtest.h>

#include "shell/win32/saver_main.h"
#include "shell/win32/saver_window.h"

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

TEST(CommandText, SaverWindowClassification) {
    EXPECT_EQ(classifyCommandText("\"C:\\a b\\Orbivane.scr\" /p 1234"), 3);
    EXPECT_EQ(classifyCommandText("Orbivane.scr -l 1234"), 3);
    EXPECT_EQ(classifyCommandText("Orbivane.scr   S"), 4);
    EXPECT_EQ(classifyCommandText("Orbivane.scr /c:12"), 1);
    EXPECT_EQ(classifyCommandText("Orbivane.scr"), 1);
    EXPECT_EQ(classifyCommandText("Orbivane.scr /a 5"), 2);
    // Only one leading "-" or "/" counts here, unlike the entry's reading.
    EXPECT_EQ(classifyCommandText("Orbivane.scr --p 1234"), 0);
    EXPECT_EQ(classifyCommandText("Orbivane.scr //s"), 0);
    EXPECT_EQ(classifyCommandText("Orbivane.scr /x"), 0);
}
