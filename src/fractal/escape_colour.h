// Escape-time colouring of one point of the complex plane, and the optional palette transform.
#pragma once

#include "fractal/tube_types.h"

// Palette settings read by escapeColour (the generator's paletteShift and paletteVariant).
struct PaletteSettings {
    bool shift = false;  // pass the colour through shiftPalette
    int32_t variant = 0; // 0..2, the shiftPalette variant
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
// Turns a loop result into the packed colour (before any palette shift).
PackedColour colourFromEscape(const EscapeResult& e);
