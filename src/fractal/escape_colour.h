// Escape-time colouring of one point of the complex plane, and the optional palette transform.
#pragma once

#include "fractal/tube_types.h"

// Palette settings read by escapeColour (the generator's paletteShift and paletteVariant).
struct PaletteSettings {
    bool shift = false;   // pass the colour through shiftPalette
    int32_t variant = 0;  // 0..2, the shiftPalette variant
};

// Mandelbrot form: the orbit of z -> z^2 + c starts at z0 = c.
PackedColour escapeColour(double re, double im, const PaletteSettings& palette);
// Julia form: the orbit starts at z0 = (re, im) with the constant c = (cRe, cIm).
PackedColour escapeColour(double re, double im, double cRe, double cIm, const PaletteSettings& palette);

// Recolours the pure-red bands over blue levels 64, 128 and 192; other colours pass unchanged.
PackedColour shiftPalette(PackedColour colour, int32_t variant);

// Result of the escape loop alone: the step count i (0..256) and the last two values of |z|^2.
struct EscapeResult {
    int32_t steps;  // i: steps survived, 256 = never escaped
    double prev;    // |z|^2 before the last step (0 when no step was made)
    double last;    // |z|^2 after the last step
};
EscapeResult escapeLoop(double zRe, double zIm, double cRe, double cIm);
constexpr int32_t kEscapeSteps = 256;        // iteration limit of the escape loop
constexpr int32_t kSmoothedCountMax = 4080;  // largest smoothed count: 16 * 254 + 16

// The smoothed count of an escaped point, in sixteenths of a step (0..kSmoothedCountMax), or -1
// for a point that never escaped or started outside radius 2 (colour 0).
inline int32_t smoothedCount(const EscapeResult& e) {
    if (e.steps < 1 || e.steps >= kEscapeSteps) {
        return -1;
    }
    // Sixteenths of a step from where the last step crossed |z|^2 = 4; below 16 unless rounding
    // lands exactly on it. A NaN (possible only from non-finite input) counts as 0.
    const double q = 16.0 * (4.0 - e.prev) / (e.last - e.prev);
    int32_t frac = 0;
    if (q >= 16.0) {
        frac = 16;
    } else if (q > 0.0) {
        frac = static_cast<int32_t>(q);
    }
    return 16 * (e.steps - 1) + frac;
}
// The colour ramp: packed colour of a smoothed count (before any palette shift).
PackedColour colourFromCount(int32_t s);
// Turns a loop result into the packed colour (before any palette shift).
PackedColour colourFromEscape(const EscapeResult& e);
