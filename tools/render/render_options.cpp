// orbivane-render's command line: the options and their checks, apart from the program so tests can call them.
#include "render_options.h"

#include <cerrno>
#include <cstdlib>

namespace {

// Parses a whole decimal integer within [low, high].
bool parseInteger(const char* text, int64_t low, int64_t high, int64_t* value) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

}  // namespace

bool parseRenderArguments(int argc, const char* const* argv, RenderOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        const char* text = nullptr;
        int64_t number = 0;
        if (arg == "--view") {
            if (!value(&text)) return false;
            if (!parseInteger(text, 0, 4, &number)) {
                *error = "--view wants an image number 0..4, not '" + std::string(text) + "'";
                return false;
            }
            options->view = static_cast<int32_t>(number);
        } else if (arg == "--detail") {
            if (!value(&text)) return false;
            if (!parseInteger(text, 0, 4, &number)) {
                *error = "--detail wants a level 0..4, not '" + std::string(text) + "'";
                return false;
            }
            options->detail = static_cast<int32_t>(number);
        } else if (arg == "--size") {
            if (!value(&text)) return false;
            const std::string size = text;
            const size_t x = size.find('x');
            int64_t w = 0, h = 0;
            if (x == std::string::npos || !parseInteger(size.substr(0, x).c_str(), 1, 8192, &w) ||
                !parseInteger(size.substr(x + 1).c_str(), 1, 8192, &h)) {
                *error = "--size wants WIDTHxHEIGHT with each side 1..8192, not '" + size + "'";
                return false;
            }
            options->width = static_cast<int32_t>(w);
            options->height = static_cast<int32_t>(h);
        } else if (arg == "--ticks") {
            if (!value(&text)) return false;
            if (!parseInteger(text, 0, 10000000, &number)) {
                *error = "--ticks wants a count 0..10000000, not '" + std::string(text) + "'";
                return false;
            }
            options->ticks = number;
        } else if (arg == "--seed") {
            if (!value(&text)) return false;
            if (!parseInteger(text, 0, 4294967295LL, &number)) {
                *error = "--seed wants a number 0..4294967295, not '" + std::string(text) + "'";
                return false;
            }
            options->seed = number;
        } else if (arg == "--submit") {
            if (!value(&text)) return false;
            const std::string path = text;
            if (path != "immediate" && path != "arrays" && path != "buffers") {
                *error = "--submit wants immediate, arrays or buffers, not '" + path + "'";
                return false;
            }
            options->submit = path;
        } else if (arg == "--frames") {
            if (!value(&text)) return false;
            if (!parseInteger(text, 1, 1000000, &number)) {
                *error = "--frames wants a count 1..1000000, not '" + std::string(text) + "'";
                return false;
            }
            options->frames = number;
        } else if (arg == "--preview") {
            options->preview = true;
        } else if (arg == "--settings") {
            if (!value(&text)) return false;
            options->settingsFile = text;
        } else if (arg == "--out") {
            if (!value(&text)) return false;
            options->out = text;
        } else {
            *error = "unknown argument '" + arg + "' (see --help)";
            return false;
        }
    }
    if (options->view < 0) {
        *error = "--view is required";
        return false;
    }
    if (options->out.empty()) {
        *error = "--out is required";
        return false;
    }
    return true;
}
