// The X11 saver's command line: window choice and one option per setting, parsed without touching X.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "settings/overlay_backend.h"  // SettingOverrides

// Which window the saver draws into.
enum class WindowChoice {
    automatic,  // no window option: $XSCREENSAVER_WINDOW if set, else a window of our own
    root,       // --root: $XSCREENSAVER_WINDOW if set, else the screen's root window
    ownWindow,  // --window: a normal, resizable top-level window of our own
    windowId,   // --window-id ID: the given window
};

// Everything the command line asked for. Filled by parseSaverOptions; lives for the run.
struct SaverOptions {
    WindowChoice window = WindowChoice::automatic;  // the last window option given wins
    unsigned long windowId = 0;                     // with WindowChoice::windowId: the X window id
    std::string displayName;                        // --display NAME, empty for $DISPLAY
    bool help = false;                              // --help: print the usage and exit 0
    bool showFps = false;                           // --fps: frame rate and frame time in a corner
    bool settingsFile = true;                       // false with --no-settings-file: options over defaults only
    std::string geometry;                           // --geometry WxH+X+Y for --window, empty for the default
    SettingOverrides settings;                      // per-setting values; later options override earlier ones
    bool allImagesLeftOut = false;                  // every image was left out; they were all put back
};

// Parses argv[1..argc-1]. Options may be written with one or two dashes, and values either as the next
// argument or after '='. On failure returns false with a one-line message (no program name, no newline)
// in *error; *options is then unspecified. The standard options that screen-saver hosts pass to every
// program (-install, -visual, -delay, -mono, ...) are accepted and ignored. When the command line leaves
// out all five images, none is left out: the overrides put every image back.
bool parseSaverOptions(int argc, const char* const* argv, SaverOptions* options, std::string* error);

// Parses an X window id: decimal digits ("27262981") or "0x" and hex digits ("0x1a00005"), nothing
// else (no sign, no blanks, no second prefix). Zero and ids above 32 bits are rejected.
bool parseWindowId(const char* text, unsigned long* id);

// Parses a window geometry "WxH" or "WxH+X+Y" (each offset '+' or '-'); sizes 1..32767 pixels.
// Negative offsets are kept as they are (no placement from the right or bottom edge).
bool parseGeometry(const char* text, unsigned* width, unsigned* height, int* x, int* y);

// The usage text printed by --help (several lines, ending in a newline), its setting lines made from
// the settings table.
const char* saverUsageText();

struct SettingRow;
// A stored value as the command line writes it: "10.0" for tenths, "random" for a choice, "on" or
// "off" for a flag, the number otherwise.
std::string optionValueText(const SettingRow& row, int32_t value);
// The range an option takes, as the usage text and the manual page write it: "0..4", "2.0..30.0",
// "standard|alternative|random" (a choice's index words left out).
std::string optionRangeText(const SettingRow& row);
// A choice's words joined by `separator`, its index words left out where names exist.
std::string choiceWords(const SettingRow& row, const char* separator);
