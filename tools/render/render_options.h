// orbivane-render's command line: the options it takes and their parser.
#pragma once

#include <cstdint>
#include <string>

struct RenderOptions {
    int32_t view = -1;     // required
    int32_t detail = -1;   // -1: from the settings
    int32_t width = 800;   // pixels
    int32_t height = 500;  // pixels
    int64_t ticks = 0;     // ticks before the frame
    int64_t seed = 1;      // clock start, seconds
    bool preview = false;
    std::string settingsFile;        // empty: defaults
    std::string submit = "buffers";  // how quads reach GL: immediate, arrays or buffers
    int64_t frames = 1;              // frames drawn after the ticks, one tick apart
    std::string out;                 // required
};

// Fills *options from argv[1..argc-1] (--help is the caller's); on failure returns false with a
// one-line reason in *error.
bool parseRenderArguments(int argc, const char* const* argv, RenderOptions* options, std::string* error);
