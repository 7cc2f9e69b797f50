// Escape-time colouring: the loop's step counts, the smoothed colour ramp and the palette transform.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fractal/escape_colour.h"

namespace {

const PaletteSettings kPlain{};

// A loop result with `steps` steps whose last step went from |z|^2 = 3 to 3 + 16 / (frac + 0.5),
// so that the smoothing fraction comes out as frac.
EscapeResult escapedAfter(int32_t steps, int32_t frac) { return EscapeResult{steps, 3.0, 3.0 + 16.0 / (frac + 0.5)}; }

}  // namespace

TEST(EscapeColour, PointsThatNeverLeaveOrStartOutsideAreUncoloured) {
    EXPECT_EQ(escapeColour(0.0, 0.0, kPlain), 0u);  // never escapes
    EXPECT_EQ(escapeLoop(0.0, 0.0, 0.0, 0.0).steps, 256);
    EXPECT_EQ(escapeColour(3.0, 0.0, kPlain), 0u);  // outside radius 2 at the start
    EXPECT_EQ(escapeLoop(3.0, 0.0, 3.0, 0.0).steps, 0);
    // -2 stays on |z|^2 = 4 for ever: the bailout is strictly beyond 4.
    EXPECT_EQ(escapeLoop(-2.0, 0.0, -2.0, 0.0).steps, 256);
    // Escapes on its first step with frac 0: s = 0, the same colour as a point inside the set.
    const EscapeResult first = escapeLoop(1.5, 1.3, 1.5, 1.3);
    EXPECT_EQ(first.steps, 1);
    EXPECT_EQ(escapeColour(1.5, 1.3, kPlain), 0u);
    // Non-finite input ends the loop at once instead of counting garbage.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(escapeColour(nan, 0.0, kPlain), 0u);
    EXPECT_EQ(escapeColour(0.0, 0.0, nan, 0.0, kPlain), 0u);
}

TEST(EscapeColour, LoopCountsAndFractionFromTheLastTwoMagnitudes) {
    // c = 1: 1 -> 2 -> 5; |z|^2 goes 4 -> 25, frac = 0, s = 16.
    const EscapeResult one = escapeLoop(1.0, 0.0, 1.0, 0.0);
    EXPECT_EQ(one.steps, 2);
    EXPECT_EQ(one.prev, 4.0);
    EXPECT_EQ(one.last, 25.0);
    EXPECT_EQ(escapeColour(1.0, 0.0, kPlain), packColour(16, 0, 0));
    // c = 0.5 escapes after 4 steps, |z|^2 from 2.6533... to 9.9435...: frac = 2, s = 50.
    EXPECT_EQ(escapeLoop(0.5, 0.0, 0.5, 0.0).steps, 4);
    EXPECT_EQ(escapeColour(0.5, 0.0, kPlain), packColour(50, 0, 0));
    // Julia form starts at z0, not at c: 0 -> 1 -> 2 -> 5 for c = 1.
    EXPECT_EQ(escapeLoop(0.0, 0.0, 1.0, 0.0).steps, 3);
    EXPECT_EQ(escapeColour(0.0, 0.0, 1.0, 0.0, kPlain), packColour(32, 0, 0));
}

TEST(EscapeColour, RampOfTheSmoothedCount) {
    EXPECT_EQ(colourFromEscape(escapedAfter(20, 8)), packColour(56, 64, 0));       // s = 312, n = 19
    EXPECT_EQ(colourFromEscape(escapedAfter(70, 4)), packColour(84, 0, 64));       // s = 1108, n = 69
    EXPECT_EQ(colourFromEscape(escapedAfter(255, 0)), packColour(224, 192, 192));  // s = 4064, n = 254
    EXPECT_EQ(colourFromEscape(escapedAfter(255, 15)), packColour(239, 192, 192));
    EXPECT_EQ(colourFromEscape(escapedAfter(1, 0)), 0u);
    EXPECT_EQ(colourFromEscape(escapedAfter(1, 15)), packColour(15, 0, 0));
    EXPECT_EQ(colourFromEscape(EscapeResult{256, 1.0, 2.0}), 0u);
    EXPECT_EQ(colourFromEscape(EscapeResult{0, 0.0, 9.0}), 0u);
    // Every escaped colour keeps bits 24..31 clear.
    for (int32_t i = 1; i < 256; ++i) {
        EXPECT_EQ(colourFromEscape(escapedAfter(i, 15)) >> 24, 0u);
    }
}

TEST(EscapeColour, PaletteShiftRecoloursOnlyTheRedBandsOverBlue) {
    const PackedColour c = packColour(84, 0, 64);  // n = 69, band 1
    EXPECT_EQ(shiftPalette(c, 0), packColour(0, 21, 22));
    EXPECT_EQ(shiftPalette(c, 1), packColour(0, 21, 106));
    EXPECT_EQ(shiftPalette(c, 2), packColour(0, 21, 22));
    EXPECT_EQ(shiftPalette(c, 7), packColour(0, 21, 64));  // any other variant keeps the level

    const PackedColour band2 = packColour(200, 0, 128);  // r = 50
    EXPECT_EQ(shiftPalette(band2, 0), packColour(0, 50, 115));
    EXPECT_EQ(shiftPalette(band2, 1), packColour(0, 50, 128));
    EXPECT_EQ(shiftPalette(band2, 2), packColour(0, 50, 128));
    const PackedColour band3 = packColour(255, 0, 192);  // r = 63
    EXPECT_EQ(shiftPalette(band3, 0), packColour(0, 63, 192));
    EXPECT_EQ(shiftPalette(band3, 1), packColour(0, 63, 192));
    EXPECT_EQ(shiftPalette(band3, 2), packColour(0, 63, 192));
    EXPECT_EQ(shiftPalette(packColour(0, 0, 192), 2), packColour(0, 0, 255));

    for (int32_t variant = -1; variant <= 3; ++variant) {
        SCOPED_TRACE(variant);
        EXPECT_EQ(shiftPalette(packColour(56, 64, 0), variant), packColour(56, 64, 0));
        EXPECT_EQ(shiftPalette(packColour(84, 64, 64), variant), packColour(84, 64, 64));
        EXPECT_EQ(shiftPalette(packColour(200, 0, 0), variant), packColour(200, 0, 0));
        EXPECT_EQ(shiftPalette(0, variant), 0u);
    }

    // Through escapeColour: the shift is applied only when asked for.
    const PaletteSettings shifted{true, 1};
    EXPECT_EQ(escapeColour(1.0, 0.0, shifted), packColour(16, 0, 0));  // pure red without blue: unchanged
}
