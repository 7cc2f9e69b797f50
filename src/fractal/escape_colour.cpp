// Escape-time colouring: the z -> z^2 + c loop, the smoothed count's colour ramp and the palette transform.
#include "fractal/escape_colour.h"

namespace {

constexpr int32_t kMaxSteps = 256;  // iteration limit of the escape loop
constexpr double kBailout = 4.0;    // escape once |z|^2 exceeds this

PackedColour escapeColourFrom(double zRe, double zIm, double cRe, double cIm, const PaletteSettings& palette) {
    const PackedColour colour = colourFromEscape(escapeLoop(zRe, zIm, cRe, cIm));
    return palette.shift ? shiftPalette(colour, palette.variant) : colour;
}

}  // namespace

EscapeResult escapeLoop(double zRe, double zIm, double cRe, double cIm) {
    double x = zRe;
    double y = zIm;
    double x2 = x * x;  // x^2, carried to the next step
    double y2 = y * y;  // y^2, carried to the next step
    double m = x2 + y2;
    double prev = 0.0;
    int32_t i = 0;
    // A NaN in m fails the comparison and ends the loop too.
    while (m <= kBailout && i < kMaxSteps) {
        prev = m;
        const double newY = y * (2.0 * x) + cIm;
        const double newX = (x2 - y2) + cRe;
        x = newX;
        y = newY;
        ++i;
        x2 = x * x;
        y2 = y * y;
        m = x2 + y2;
    }
    return EscapeResult{i, prev, m};
}

PackedColour colourFromEscape(const EscapeResult& e) {
    if (e.steps < 1 || e.steps >= kMaxSteps) {
        return 0;  // outside radius 2 from the start, or never escaped
    }
    // Sixteenths of a step from where the last step crossed |z|^2 = 4; below 16 unless rounding
    // lands exactly on it. A NaN (possible only from non-finite input) counts as 0.
    const double q = 16.0 * (kBailout - e.prev) / (e.last - e.prev);
    int32_t frac = 0;
    if (q >= 16.0) {
        frac = 16;
    } else if (q > 0.0) {
        frac = static_cast<int32_t>(q);
    }
    const int32_t s = 16 * (e.steps - 1) + frac;  // smoothed count in sixteenths of a step
    const int32_t n = s / 16;
    const uint32_t red = static_cast<uint32_t>(s % 256);
    const uint32_t green = 64u * static_cast<uint32_t>((n / 16) % 4);
    const uint32_t blue = 64u * static_cast<uint32_t>((n / 64) % 4);
    return packColour(red, green, blue);
}

PackedColour escapeColour(double re, double im, const PaletteSettings& palette) {
    return escapeColourFrom(re, im, re, im, palette);
}

PackedColour escapeColour(double re, double im, double cRe, double cIm, const PaletteSettings& palette) {
    return escapeColourFrom(re, im, cRe, cIm, palette);
}

PackedColour shiftPalette(PackedColour colour, int32_t variant) {
    const int32_t green = packedGreen(colour);
    const int32_t blue = packedBlue(colour);
    if (green != 0 || blue < 64) {
        return colour;
    }
    const int32_t r = packedRed(colour) / 4;  // 0..63
    const int32_t band = blue / 64;           // 1..3
    const int32_t up = blue - 63 + r;
    const int32_t down = blue + 63 - r;
    int32_t shifted = blue;  // flat
    switch (variant) {
    case 0:
        shifted = up;
        break;
    case 1:
        shifted = band == 1 ? down : band == 2 ? blue : up;
        break;
    case 2:
        shifted = band == 1 ? up : band == 2 ? blue : down;
        break;
    default:
        break;
    }
    // Ramp colours keep this within 1..255; a foreign blue byte above 192 must not spill into bit 24.
    if (shifted > 255) {
        shifted = 255;
    }
    return packColour(0, static_cast<uint32_t>(r), static_cast<uint32_t>(shifted));
}
