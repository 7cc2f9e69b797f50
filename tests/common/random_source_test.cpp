// The random sources: the classic C-library sequence on every platform, and the scripted one.
#include <gtest/gtest.h>

#include "common/random_source.h"

TEST(LcgRandom, GivesTheClassicSequenceOnEveryPlatform) {
    LcgRandom r(1);
    EXPECT_EQ(r.next(), 41);
    EXPECT_EQ(r.next(), 18467);
    EXPECT_EQ(r.next(), 6334);
    EXPECT_EQ(r.next(), 26500);
    r.seed(1);
    EXPECT_EQ(r.next(), 41);
    for (int i = 0; i < 100000; ++i) {
        int v = r.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(ScriptedRandom, RepeatsItsLastValueAndCountsDraws) {
    ScriptedRandom r{3, 8};
    EXPECT_EQ(r.next(), 3);
    EXPECT_EQ(r.next(), 8);
    EXPECT_EQ(r.next(), 8);
    EXPECT_EQ(r.draws, 3u);
}
