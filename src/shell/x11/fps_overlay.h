// The --fps display of the X11 saver: frame rate and frame time, counted per second, drawn in a corner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Counts finished frames and the time each took to draw, and turns them into two text lines that
// change once per counting period. No GL here, so the counting is testable on its own.
class FrameRateMeter {
public:
    // `periodNs`: how long each count runs before the lines are renewed, nanoseconds.
    explicit FrameRateMeter(int64_t periodNs = 1000000000) : periodNs_(periodNs) {}

    // One frame finished at monotonic time `endNs`, having taken `drawNs` to draw (both nanoseconds).
    void frameDone(int64_t endNs, int64_t drawNs);

    // "FPS: 49.9": frames per second over the last full period, one decimal; "FPS: -" before the first.
    const std::string& rateLine() const { return rateLine_; }
    // "Frame: 3.2 ms": the mean drawing time of a frame over the last full period, milliseconds.
    const std::string& frameLine() const { return frameLine_; }

private:
    int64_t periodNs_;           // counting period, nanoseconds
    bool started_ = false;       // the first frame has opened the first period
    int64_t periodStartNs_ = 0;  // end of the frame that opened the current period
    int64_t frames_ = 0;         // frames finished in the current period
    int64_t drawSumNs_ = 0;      // their drawing times added up, nanoseconds
    std::string rateLine_ = "FPS: -";
    std::string frameLine_ = "Frame: - ms";
};

// The pixels of `text` in the overlay's 5 x 7 font, one cell of 6 x 9 per character (a column and
// two rows of spacing). Row 0 is the top. Characters without a glyph are left blank.
struct TextBitmap {
    int width = 0;             // pixels: 6 per character
    int height = 0;            // pixels: 9, or 0 for empty text
    std::vector<uint8_t> lit;  // width * height bytes, 1 where the text is drawn
    bool at(int x, int y) const { return lit[static_cast<size_t>(y) * width + x] != 0; }
};
TextBitmap rasterizeText(const std::string& text);

// Draws the meter's two lines in the lower left corner of a `width` x `height` pixel surface with
// the current GL context, on top of whatever is drawn, leaving every GL state as it found it.
void drawFrameRateOverlay(const FrameRateMeter& meter, int width, int height);
