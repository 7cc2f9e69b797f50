// The X11 saver's command line: window choice and one option per setting, parsed without touching X.
#include "shell/x11/saver_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "orbivane_version.h"

namespace {

// How an option's value becomes a stored setting.
enum class OptionKind {
    flag,        // --name sets the setting to 1, --no-name to 0
    wholeNumber, // a decimal integer, clamped later by the store's read rule
    choice,      // one word (or its index) from a short list
    distance,    // a decimal distance, stored in tenths as the store's writer does
};

struct ChoiceWord {
    const char* word;  // accepted spelling
    int32_t value;     // stored value
};

struct SettingOption {
    const char* name;         // option name without dashes
    const char* setting;      // the store's value name
    OptionKind kind;
    const ChoiceWord* words;  // kind choice: the accepted words, ending with a null word
};

const ChoiceWord kIntervalWords[] = {{"45", 0}, {"60", 1}, {"90", 2}, {nullptr, 0}};
const ChoiceWord kPaletteWords[] = {{"standard", 0}, {"alternative", 1}, {"random", 2},
                                    {"0", 0},        {"1", 1},           {"2", 2},
                                    {nullptr, 0}};
const ChoiceWord kLightWords[] = {{"fixed", 0}, {"moving", 1}, {"random", 2}, {"0", 0},
                                  {"1", 1},     {"2", 2},      {nullptr, 0}};

const SettingOption kSettingOptions[] = {
    {"detail-level", "detail_level", OptionKind::wholeNumber, nullptr},
    {"rotation-speed", "rotation_speed", OptionKind::wholeNumber, nullptr},
    {"interval", "interval_option", OptionKind::choice, kIntervalWords},
    {"shuffle", "shuffle_images", OptionKind::flag, nullptr},
    {"quick-draw", "quick_draw", OptionKind::flag, nullptr},
    {"transparency", "transp_level", OptionKind::wholeNumber, nullptr},
    {"palette", "palette_type", OptionKind::choice, kPaletteWords},
    {"light-source", "light_source", OptionKind::choice, kLightWords},
    {"gloss", "gloss_level", OptionKind::wholeNumber, nullptr},
    {"gloss-random", "gloss_random", OptionKind::flag, nullptr},
    {"light-distance", "light_distance", OptionKind::distance, nullptr},
    {"light-both-sides", "light_2_sides", OptionKind::flag, nullptr},
};

constexpr int kImageCount = 5;

// Options every program of the screen-saver hosts understands. This one accepts them so that a
// host's or a user's usual command line works, and ignores them: it picks its own GL visual, never
// installs a colormap and keeps its own 20 ms frame pace.
struct HostOption {
    const char* name;  // option name without dashes
    bool takesValue;   // followed by one value
};
const HostOption kIgnoredHostOptions[] = {
    {"install", false}, {"noinstall", false}, {"no-install", false}, {"mono", false},
    {"pair", false},    {"sync", false},      {"visual", true},      {"delay", true},
    {"background", true}, {"bg", true},       {"foreground", true},  {"fg", true},
    {"xrm", true},
};

const char* kUsage =
    "Usage: orbivane [options]\n"
    "Orbivane " ORBIVANE_VERSION ": the Mandelbrot and Julia sets on a turning, translucent helical tube.\n"
    "\n"
    "Window (the last one given wins):\n"
    "  --window-id ID            draw into the window ID (hex 0x... or decimal)\n"
    "  --root                    draw into $XSCREENSAVER_WINDOW, or else the root window\n"
    "  --window                  open a window of our own (the default without $XSCREENSAVER_WINDOW)\n"
    "  --display NAME            the X display to use instead of $DISPLAY\n"
    "  --geometry WxH+X+Y        size and place of the --window window\n"
    "  --fps, --no-fps           show the frame rate and the frame time in a corner (default off)\n"
    "\n"
    "Settings (values out of range are clamped). An option wins over the per-user settings file\n"
    "~/.config/orbivane/settings, which wins over the built-in default:\n"
    "  --no-settings-file        read no settings file: options over the built-in defaults only\n"
    "  --detail-level 0..4       least to most detail (default 1)\n"
    "  --rotation-speed 10..40   (default 25)\n"
    "  --interval 45|60|90       seconds per image (default 45)\n"
    "  --shuffle, --no-shuffle   shuffle the images (default off)\n"
    "  --quick-draw, --no-quick-draw\n"
    "                            one drawing pass per quad (default on)\n"
    "  --transparency 0..40      (default 10)\n"
    "  --palette standard|alternative|random        (default random)\n"
    "  --light-source fixed|moving|random           (default random)\n"
    "  --gloss 0..10             (default 0)\n"
    "  --gloss-random, --no-gloss-random            (default off)\n"
    "  --light-distance 2.0..30.0                   (default 10.0)\n"
    "  --light-both-sides, --no-light-both-sides    (default on)\n"
    "  --images LIST             the images to show, e.g. 0,1,3 (default 0,1,2,3,4)\n"
    "  --image-N, --no-image-N   show or leave out image N, 0..4; leaving out all five shows all five\n"
    "\n"
    "Accepted and ignored, as the screen-saver hosts may pass them: --install, --noinstall, --mono,\n"
    "--pair, --sync, --visual V, --delay N, --background C, --foreground C, --xrm R\n"
    "(this program picks its own GL visual and draws every 20 ms).\n"
    "\n"
    "Options may be written with one or two dashes; values may follow '='.\n"
    "  --help                    print this text\n";

// Parses a whole decimal integer, saturating at the limits of int32 so that the store's clamps apply.
bool parseWholeNumber(const char* text, int32_t* value) {
    if (*text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    long long n = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0') return false;
    if (n > std::numeric_limits<int32_t>::max()) n = std::numeric_limits<int32_t>::max();
    if (n < std::numeric_limits<int32_t>::min()) n = std::numeric_limits<int32_t>::min();
    *value = static_cast<int32_t>(n);  // ERANGE already saturated by strtoll
    return true;
}

// Parses a decimal distance and returns it in tenths the way the store's writer computes them:
// the distance in single precision times 10, truncated toward zero (saturated to int32).
bool parseDistanceTenths(const char* text, int32_t* tenths) {
    if (*text == '\0') return false;
    char* end = nullptr;
    double d = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(d)) return false;
    float scaled = static_cast<float>(d) * 10.0f;
    if (!(scaled < 2147483520.0f)) {  // the largest float below 2^31
        *tenths = std::numeric_limits<int32_t>::max();
    } else if (!(scaled > -2147483648.0f)) {
        *tenths = std::numeric_limits<int32_t>::min();
    } else {
        *tenths = static_cast<int32_t>(scaled);
    }
    return true;
}

bool parseChoice(const ChoiceWord* words, const char* text, int32_t* value) {
    for (const ChoiceWord* w = words; w->word != nullptr; ++w) {
        if (std::strcmp(w->word, text) == 0) {
            *value = w->value;
            return true;
        }
    }
    return false;
}

std::string choiceList(const ChoiceWord* words) {
    std::string list;
    for (const ChoiceWord* w = words; w->word != nullptr; ++w) {
        if (w->word[0] >= '0' && w->word[0] <= '9' && words[0].word[0] > '9') break;  // skip index aliases
        if (!list.empty()) list += ", ";
        list += w->word;
    }
    return list;
}

// Parses "0,1,3" into the five image flags. Each index 0..4 at most once; at least one.
bool parseImageList(const char* text, bool enabled[kImageCount]) {
    for (int i = 0; i < kImageCount; ++i) enabled[i] = false;
    const char* p = text;
    int count = 0;
    for (;;) {
        if (*p < '0' || *p > '4' || enabled[*p - '0']) return false;
        enabled[*p - '0'] = true;
        ++count;
        ++p;
        if (*p == '\0') break;
        if (*p != ',') return false;
        ++p;
    }
    return count > 0;
}

// Matches "image-N" (or "no-image-N" when `negated`) and returns N.
bool matchImageFlag(const std::string& name, bool* negated, int* index) {
    std::string rest = name;
    *negated = false;
    if (rest.compare(0, 3, "no-") == 0) {
        *negated = true;
        rest.erase(0, 3);
    }
    if (rest.size() != 7 || rest.compare(0, 6, "image-") != 0) return false;
    if (rest[6] < '0' || rest[6] > '4') return false;
    *index = rest[6] - '0';
    return true;
}

}  // namespace

bool parseGeometry(const char* text, unsigned* width, unsigned* height, int* x, int* y) {
    // WxH, optionally followed by +X+Y (either sign each); sizes 1..32767 pixels, offsets within +-32767.
    auto number = [](const char*& p, long* value) {
        if (*p < '0' || *p > '9') return false;
        long n = 0;
        while (*p >= '0' && *p <= '9') {
            n = n * 10 + (*p++ - '0');
            if (n > 32767) return false;
        }
        *value = n;
        return true;
    };
    const char* p = text;
    long w = 0, h = 0, px = 0, py = 0;
    if (!number(p, &w) || *p++ != 'x' || !number(p, &h) || w == 0 || h == 0) return false;
    if (*p != '\0') {
        char sx = *p++;
        if ((sx != '+' && sx != '-') || !number(p, &px)) return false;
        char sy = *p++;
        if ((sy != '+' && sy != '-') || !number(p, &py) || *p != '\0') return false;
        if (sx == '-') px = -px;
        if (sy == '-') py = -py;
    }
    *width = static_cast<unsigned>(w);
    *height = static_cast<unsigned>(h);
    *x = static_cast<int>(px);
    *y = static_cast<int>(py);
    return true;
}

bool parseWindowId(const char* text, unsigned long* id) {
    if (text == nullptr || *text == '\0') return false;
    // Exactly decimal digits, or "0x"/"0X" and hex digits: no sign, no blanks, no second prefix.
    unsigned base = 10;
    const char* p = text;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (*p == '\0') return false;
    unsigned long long n = 0;
    for (; *p != '\0'; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9') {
            digit = static_cast<unsigned>(*p - '0');
        } else if (base == 16 && *p >= 'a' && *p <= 'f') {
            digit = static_cast<unsigned>(*p - 'a' + 10);
        } else if (base == 16 && *p >= 'A' && *p <= 'F') {
            digit = static_cast<unsigned>(*p - 'A' + 10);
        } else {
            return false;
        }
        n = n * base + digit;
        if (n > 0xFFFFFFFFull) return false;  // X ids have 29 bits; anything past 32 is not one
    }
    if (n == 0) return false;
    *id = static_cast<unsigned long>(n);
    return true;
}

const char* saverUsageText() { return kUsage; }

namespace {

bool parseSaverOptionsUnchecked(int argc, const char* const* argv, SaverOptions* options, std::string* error) {
    *options = SaverOptions{};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') {
            *error = std::string("unexpected argument '") + arg + "' (try --help)";
            return false;
        }
        std::string name = arg + (arg[1] == '-' ? 2 : 1);
        std::string written = arg;  // as the user wrote it, for messages
        bool hasInlineValue = false;
        std::string inlineValue;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            hasInlineValue = true;
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
            written.erase(written.find('='));
        }

        // Fetches the option's value from "=value" or the next argument.
        auto takeValue = [&](std::string* value) -> bool {
            if (hasInlineValue) {
                *value = inlineValue;
                return true;
            }
            if (i + 1 >= argc) {
                *error = written + " needs a value";
                return false;
            }
            *value = argv[++i];
            return true;
        };
        auto noValueAllowed = [&]() -> bool {
            if (!hasInlineValue) return true;
            *error = written + " takes no value";
            return false;
        };
        auto badValue = [&](const std::string& value, const std::string& expected) {
            *error = written + " expects " + expected + ", got '" + value + "'";
        };

        if (name == "help" || name == "h") {
            if (!noValueAllowed()) return false;
            options->help = true;
            continue;
        }
        if (name == "root") {
            if (!noValueAllowed()) return false;
            options->window = WindowChoice::root;
            continue;
        }
        if (name == "window") {
            if (!noValueAllowed()) return false;
            options->window = WindowChoice::ownWindow;
            continue;
        }
        if (name == "window-id") {
            std::string value;
            if (!takeValue(&value)) return false;
            if (!parseWindowId(value.c_str(), &options->windowId)) {
                badValue(value, "a window id (hex 0x... or decimal)");
                return false;
            }
            options->window = WindowChoice::windowId;
            continue;
        }
        if (name == "fps" || name == "no-fps") {
            if (!noValueAllowed()) return false;
            options->showFps = name == "fps";
            continue;
        }
        if (name == "settings-file" || name == "no-settings-file") {
            if (!noValueAllowed()) return false;
            options->settingsFile = name == "settings-file";
            continue;
        }
        if (name == "geometry") {
            std::string value;
            if (!takeValue(&value)) return false;
            int x = 0, y = 0;
            unsigned width = 0, height = 0;
            if (!parseGeometry(value.c_str(), &width, &height, &x, &y)) {
                badValue(value, "a geometry such as 800x600 or 800x600+10+20");
                return false;
            }
            options->geometry = value;
            continue;
        }
        const HostOption* ignored = nullptr;
        for (const HostOption& option : kIgnoredHostOptions) {
            if (name == option.name) ignored = &option;
        }
        if (ignored != nullptr) {
            std::string value;
            if (ignored->takesValue ? !takeValue(&value) : !noValueAllowed()) return false;
            continue;
        }
        if (name == "display") {
            std::string value;
            if (!takeValue(&value)) return false;
            options->displayName = value;
            continue;
        }
        if (name == "images") {
            std::string value;
            if (!takeValue(&value)) return false;
            bool enabled[kImageCount];
            if (!parseImageList(value.c_str(), enabled)) {
                badValue(value, "a list of distinct image numbers 0..4 such as 0,1,3");
                return false;
            }
            for (int n = 0; n < kImageCount; ++n) {
                options->settings["image_" + std::to_string(n)] = enabled[n] ? 1 : 0;
            }
            continue;
        }
        bool negatedImage = false;
        int imageIndex = 0;
        if (matchImageFlag(name, &negatedImage, &imageIndex)) {
            if (!noValueAllowed()) return false;
            options->settings["image_" + std::to_string(imageIndex)] = negatedImage ? 0 : 1;
            continue;
        }

        const SettingOption* found = nullptr;
        bool negated = false;
        for (const SettingOption& option : kSettingOptions) {
            if (name == option.name) {
                found = &option;
            } else if (option.kind == OptionKind::flag && name.compare(0, 3, "no-") == 0 &&
                       name.compare(3, std::string::npos, option.name) == 0) {
                found = &option;
                negated = true;
            }
            if (found != nullptr) break;
        }
        if (found == nullptr) {
            *error = "unknown option '" + written + "' (try --help)";
            return false;
        }

        int32_t stored = 0;
        if (found->kind == OptionKind::flag) {
            if (!noValueAllowed()) return false;
            stored = negated ? 0 : 1;
        } else {
            std::string value;
            if (!takeValue(&value)) return false;
            switch (found->kind) {
            case OptionKind::wholeNumber:
                if (!parseWholeNumber(value.c_str(), &stored)) {
                    badValue(value, "a whole number");
                    return false;
                }
                break;
            case OptionKind::choice:
                if (!parseChoice(found->words, value.c_str(), &stored)) {
                    badValue(value, "one of " + choiceList(found->words));
                    return false;
                }
                break;
            case OptionKind::distance:
                if (!parseDistanceTenths(value.c_str(), &stored)) {
                    badValue(value, "a number such as 10.0");
                    return false;
                }
                break;
            case OptionKind::flag:
                break;
            }
        }
        options->settings[found->setting] = stored;
    }

    // A host's dialog can untick every image; showing none is no choice, so all five are shown.
    bool allLeftOut = true;
    for (int n = 0; n < kImageCount; ++n) {
        auto it = options->settings.find("image_" + std::to_string(n));
        if (it == options->settings.end() || it->second != 0) allLeftOut = false;
    }
    if (allLeftOut) {
        for (int n = 0; n < kImageCount; ++n) options->settings["image_" + std::to_string(n)] = 1;
        options->allImagesLeftOut = true;
    }
    return true;
}

}  // namespace

bool parseSaverOptions(int argc, const char* const* argv, SaverOptions* options, std::string* error) {
    if (parseSaverOptionsUnchecked(argc, argv, options, error)) return true;
    // The message quotes what the user typed: keep it one printable line whatever that held.
    for (char& c : *error) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return false;
}
