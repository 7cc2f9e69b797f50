// The --fps display of the X11 saver: frame rate and frame time, counted per second, drawn in a corner.
#include "shell/x11/fps_overlay.h"

#include <GL/gl.h>

#include <cstdio>

namespace {

struct Glyph {
    char c;
    uint8_t rows[7];  // top to bottom; bit 4 is the leftmost pixel
};

// Only the characters the two lines use.
const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}}, {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}}, {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

constexpr int kCellWidth = 6;   // pixels per character, spacing included
constexpr int kCellHeight = 9;  // pixels per line, spacing included

const Glyph* findGlyph(char c) {
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) return &g;
    }
    return nullptr;
}

// Draws the lit pixels of `bitmap` as squares of `scale` pixels, its lower left corner at (x, y).
void drawBitmap(const TextBitmap& bitmap, int x, int y, int scale) {
    glBegin(GL_QUADS);
    for (int row = 0; row < bitmap.height; ++row) {
        for (int col = 0; col < bitmap.width; ++col) {
            if (!bitmap.at(col, row)) continue;
            float left = static_cast<float>(x + col * scale);
            float bottom = static_cast<float>(y + (bitmap.height - 1 - row) * scale);
            float s = static_cast<float>(scale);
            glVertex2f(left, bottom);
            glVertex2f(left + s, bottom);
            glVertex2f(left + s, bottom + s);
            glVertex2f(left, bottom + s);
        }
    }
    glEnd();
}

}  // namespace

void FrameRateMeter::frameDone(int64_t endNs, int64_t drawNs) {
    if (!started_) {
        // The first frame only opens the count: its start-up cost is no measure of the pace.
        started_ = true;
        periodStartNs_ = endNs;
        return;
    }
    ++frames_;
    drawSumNs_ += drawNs;
    int64_t elapsed = endNs - periodStartNs_;
    if (elapsed < periodNs_) return;
    char text[64];
    std::snprintf(text, sizeof text, "FPS: %.1f", static_cast<double>(frames_) * 1e9 / static_cast<double>(elapsed));
    rateLine_ = text;
    std::snprintf(text, sizeof text, "Frame: %.1f ms",
                  static_cast<double>(drawSumNs_) / 1e6 / static_cast<double>(frames_));
    frameLine_ = text;
    periodStartNs_ = endNs;
    frames_ = 0;
    drawSumNs_ = 0;
}

TextBitmap rasterizeText(const std::string& text) {
    TextBitmap bitmap;
    if (text.empty()) return bitmap;
    bitmap.width = static_cast<int>(text.size()) * kCellWidth;
    bitmap.height = kCellHeight;
    bitmap.lit.assign(static_cast<size_t>(bitmap.width) * bitmap.height, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = findGlyph(text[i]);
        if (glyph == nullptr) continue;
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (glyph->rows[row] & (0x10 >> col)) {
                    bitmap.lit[static_cast<size_t>(row + 1) * bitmap.width + i * kCellWidth + col] = 1;
                }
            }
        }
    }
    return bitmap;
}

void drawFrameRateOverlay(const FrameRateMeter& meter, int width, int height) {
    if (width <= 0 || height <= 0) return;
    // Font pixels of 1 screen pixel in small windows (previews), 2 from 480 lines, 3 from 1440.
    int scale = height >= 1440 ? 3 : height >= 480 ? 2 : 1;
    int margin = 4 * scale;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, width, height);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_COLOR_MATERIAL);
    glShadeModel(GL_FLAT);

    TextBitmap lines[2] = {rasterizeText(meter.frameLine()), rasterizeText(meter.rateLine())};
    int y = margin;
    for (const TextBitmap& line : lines) {
        // A dark shadow one font pixel down and to the right keeps the text readable on any colour.
        glColor3ub(0, 0, 0);
        drawBitmap(line, margin + scale, y - scale, scale);
        glColor3ub(255, 255, 0);
        drawBitmap(line, margin, y, scale);
        y += kCellHeight * scale;
    }

    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}
