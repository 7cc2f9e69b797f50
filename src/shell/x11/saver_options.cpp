// The X11 saver's command line: window choice and one option per setting, parsed without touching X.
#include "shell/x11/saver_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "settings/setting_table.h"

namespace {

// Options every program of the screen-saver hosts understands. This one accepts them so that a
// host's or a user's usual command line works, and ignores them: it picks its own GL visual, never
// installs a colormap and keeps its own 20 ms frame pace.
struct HostOption {
    const char* name;  // option name without dashes
    bool takesValue;   // followed by one value
};
const HostOption kIgnoredHostOptions[] = {
    {"install", false},   {"noinstall", false}, {"no-install", false}, {"mono", false},      {"pair", false},
    {"sync", false},      {"visual", true},     {"delay", true},       {"background", true}, {"bg", true},
    {"foreground", true}, {"fg", true},         {"xrm", true},
};

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

// Parses a decimal distance and returns it in tenths by the store's own rule.
bool parseDistanceTenths(const char* text, int32_t* tenths) {
    if (*text == '\0') return false;
    char* end = nullptr;
    double d = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(d)) return false;
    *tenths = tenthsFromDistance(static_cast<float>(d));
    return true;
}

// True for the digit of an image index, 0..4.
bool isImageDigit(char c) { return c >= '0' && c < '0' + kImageCount; }

// Parses "0,1,3" into the image flags. Each index 0..4 at most once; at least one.
bool parseImageList(const char* text, bool enabled[kImageCount]) {
    for (int i = 0; i < kImageCount; ++i) enabled[i] = false;
    const char* p = text;
    int count = 0;
    for (;;) {
        if (!isImageDigit(*p) || enabled[*p - '0']) return false;
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
    const std::string prefix = settingRow(SettingId::images).option;
    std::string rest = name;
    *negated = false;
    if (rest.compare(0, 3, "no-") == 0) {
        *negated = true;
        rest.erase(0, 3);
    }
    if (rest.size() != prefix.size() + 1 || rest.compare(0, prefix.size(), prefix) != 0) return false;
    if (!isImageDigit(rest.back())) return false;
    *index = rest.back() - '0';
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

namespace {

// One command-line argument being read: its name, an "=value" part, and access to the next argument.
class Argument {
public:
    Argument(int argc, const char* const* argv, int* index, std::string* error)
        : argc_(argc), argv_(argv), index_(index), error_(error) {
        const char* arg = argv[*index];
        name = arg + (arg[1] == '-' ? 2 : 1);
        written = arg;
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            hasInlineValue_ = true;
            inlineValue_ = name.substr(eq + 1);
            name.erase(eq);
            written.erase(written.find('='));
        }
    }

    // Fetches the option's value from "=value" or the next argument.
    bool takeValue(std::string* value) {
        if (hasInlineValue_) {
            *value = inlineValue_;
            return true;
        }
        if (*index_ + 1 >= argc_) {
            *error_ = written + " needs a value";
            return false;
        }
        *value = argv_[++*index_];
        return true;
    }
    bool noValueAllowed() {
        if (!hasInlineValue_) return true;
        *error_ = written + " takes no value";
        return false;
    }
    bool badValue(const std::string& value, const std::string& expected) {
        *error_ = written + " expects " + expected + ", got '" + value + "'";
        return false;
    }

    std::string name;     // without dashes and without "=value"
    std::string written;  // as the user wrote it (without "=value"), for messages

private:
    int argc_;
    const char* const* argv_;
    int* index_;  // the argument being read; moved on past a value taken from the next one
    std::string* error_;
    bool hasInlineValue_ = false;
    std::string inlineValue_;
};

bool takeHelp(Argument& a, SaverOptions* o) {
    o->help = true;
    return a.noValueAllowed();
}
bool takeRoot(Argument& a, SaverOptions* o) {
    o->window = WindowChoice::root;
    return a.noValueAllowed();
}
bool takeWindow(Argument& a, SaverOptions* o) {
    o->window = WindowChoice::ownWindow;
    return a.noValueAllowed();
}
bool takeFps(Argument& a, SaverOptions* o) {
    o->showFps = a.name == "fps";
    return a.noValueAllowed();
}
bool takeSettingsFile(Argument& a, SaverOptions* o) {
    o->settingsFile = a.name == "settings-file";
    return a.noValueAllowed();
}
bool takeDisplay(Argument& a, SaverOptions* o) { return a.takeValue(&o->displayName); }

bool takeWindowId(Argument& a, SaverOptions* o) {
    std::string value;
    if (!a.takeValue(&value)) return false;
    if (!parseWindowId(value.c_str(), &o->windowId)) return a.badValue(value, "a window id (hex 0x... or decimal)");
    o->window = WindowChoice::windowId;
    return true;
}

bool takeGeometry(Argument& a, SaverOptions* o) {
    std::string value;
    if (!a.takeValue(&value)) return false;
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
    if (!parseGeometry(value.c_str(), &width, &height, &x, &y)) {
        return a.badValue(value, "a geometry such as 800x600 or 800x600+10+20");
    }
    o->geometry = value;
    return true;
}

bool takeImages(Argument& a, SaverOptions* o) {
    std::string value;
    if (!a.takeValue(&value)) return false;
    bool enabled[kImageCount];
    if (!parseImageList(value.c_str(), enabled)) {
        return a.badValue(value, "a list of distinct image numbers 0..4 such as 0,1,3");
    }
    for (int n = 0; n < kImageCount; ++n) o->settings[ImageSettingName(n).text] = enabled[n] ? 1 : 0;
    return true;
}

using OptionHandler = bool (*)(Argument&, SaverOptions*);
struct NamedHandler {
    const char* name;  // option name without dashes
    OptionHandler take;
};
const NamedHandler kHandlers[] = {
    {"help", takeHelp},
    {"h", takeHelp},
    {"root", takeRoot},
    {"window", takeWindow},
    {"window-id", takeWindowId},
    {"display", takeDisplay},
    {"fps", takeFps},
    {"no-fps", takeFps},
    {"settings-file", takeSettingsFile},
    {"no-settings-file", takeSettingsFile},
    {"geometry", takeGeometry},
    {"images", takeImages},
};

// The row whose option the name is ("gloss"), or whose negation ("no-shuffle") for a flag.
const SettingRow* findSettingOption(const std::string& name, bool* negated) {
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = settingTable()[i];
        if (row.option == nullptr || row.id == SettingId::images) continue;
        *negated = row.kind == SettingKind::flag && name.compare(0, 3, "no-") == 0 && name.substr(3) == row.option;
        if (*negated || name == row.option) return &row;
    }
    return nullptr;
}

// A setting's option: a flag takes no value, the others one in the row's own form.
bool takeSetting(Argument& a, const SettingRow& row, bool negated, SaverOptions* o) {
    int32_t stored = 0;
    if (row.kind == SettingKind::flag) {
        if (!a.noValueAllowed()) return false;
        stored = negated ? 0 : 1;
    } else {
        std::string value;
        if (!a.takeValue(&value)) return false;
        switch (row.kind) {
        case SettingKind::number:
            if (!parseWholeNumber(value.c_str(), &stored)) return a.badValue(value, "a whole number");
            break;
        case SettingKind::choice:
            if (!parseSettingWord(row, value.c_str(), &stored)) {
                return a.badValue(value, "one of " + choiceWords(row, ", "));
            }
            break;
        case SettingKind::tenths:
            if (!parseDistanceTenths(value.c_str(), &stored)) return a.badValue(value, "a number such as 10.0");
            break;
        case SettingKind::flag:
            break;
        }
    }
    o->settings[row.name] = stored;
    return true;
}

// Reads one option (argv[*index], and its value); false with *error set when it is not one.
bool takeOption(int argc, const char* const* argv, int* index, SaverOptions* o, std::string* error) {
    const char* arg = argv[*index];
    if (arg[0] != '-' || arg[1] == '\0') {
        *error = std::string("unexpected argument '") + arg + "' (try --help)";
        return false;
    }
    Argument a(argc, argv, index, error);
    for (const NamedHandler& handler : kHandlers) {
        if (a.name == handler.name) return handler.take(a, o);
    }
    for (const HostOption& option : kIgnoredHostOptions) {
        std::string ignored;
        if (a.name == option.name) return option.takesValue ? a.takeValue(&ignored) : a.noValueAllowed();
    }
    bool negated = false;
    int imageIndex = 0;
    if (matchImageFlag(a.name, &negated, &imageIndex)) {
        if (!a.noValueAllowed()) return false;
        o->settings[ImageSettingName(imageIndex).text] = negated ? 0 : 1;
        return true;
    }
    if (const SettingRow* row = findSettingOption(a.name, &negated)) return takeSetting(a, *row, negated, o);
    *error = "unknown option '" + a.written + "' (try --help)";
    return false;
}

bool parseSaverOptionsUnchecked(int argc, const char* const* argv, SaverOptions* options, std::string* error) {
    *options = SaverOptions{};
    for (int i = 1; i < argc; ++i) {
        if (!takeOption(argc, argv, &i, options, error)) return false;
    }
    // A host's dialog can untick every image; showing none is no choice, so all five are shown.
    bool allLeftOut = true;
    for (int n = 0; n < kImageCount; ++n) {
        auto it = options->settings.find(ImageSettingName(n).text);
        if (it == options->settings.end() || it->second != 0) allLeftOut = false;
    }
    if (allLeftOut) {
        for (int n = 0; n < kImageCount; ++n) options->settings[ImageSettingName(n).text] = 1;
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
