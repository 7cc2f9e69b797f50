// The X11 saver's usage text, its setting lines made from the settings table, and the option forms of a value.
#include <string>

#include "orbivane_version.h"
#include "settings/setting_table.h"
#include "shell/x11/saver_options.h"

namespace {

// The usage text around the settings, whose lines come from the settings table.
const char* kUsageHead =
    "Usage: orbivane [options]\n"
    "Orbivane " ORBIVANE_VERSION
    ": the Mandelbrot and Julia sets on a turning, translucent helical tube.\n"
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
    "  --no-settings-file        read no settings file: options over the built-in defaults only\n";
const char* kUsageTail =
    "\n"
    "Accepted and ignored, as the screen-saver hosts may pass them: --install, --noinstall, --mono,\n"
    "--pair, --sync, --visual V, --delay N, --background C, --foreground C, --xrm R\n"
    "(this program picks its own GL visual and draws every 20 ms).\n"
    "\n"
    "Options may be written with one or two dashes; values may follow '='.\n"
    "  --help                    print this text\n";

constexpr size_t kHelpColumn = 28;      // where an option's words start in the usage text
constexpr size_t kLongHelpColumn = 47;  // where a bare default stands after a long option

// One usage line: the option's forms, then its words and default at the help column, or at the long
// column when only the default follows a long form, or on a line of their own otherwise.
void addUsageLine(std::string* text, const std::string& forms, const std::string& help) {
    std::string line = "  " + forms;
    if (line.size() < kHelpColumn) {
        line.resize(kHelpColumn, ' ');
    } else if (help.front() == '(') {
        line.resize(kLongHelpColumn, ' ');
    } else {
        line += "\n" + std::string(kHelpColumn, ' ');
    }
    *text += line + help + "\n";
}

std::string buildUsage() {
    std::string text = kUsageHead;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = settingTable()[i];
        if (row.option == nullptr || row.id == SettingId::images) continue;
        std::string forms = std::string("--") + row.option;
        forms += row.kind == SettingKind::flag ? std::string(", --no-") + row.option : " " + optionRangeText(row);
        const std::string dflt = "(default " + optionValueText(row, row.defaultValue) + ")";
        addUsageLine(&text, forms, row.help[0] != '\0' ? std::string(row.help) + " " + dflt : dflt);
    }
    const SettingRow& images = settingRow(SettingId::images);
    const std::string last = std::to_string(kImageCount - 1);
    std::string all = "0";
    for (int n = 1; n < kImageCount; ++n) all += "," + std::to_string(n);
    addUsageLine(&text, "--images LIST", "the images to show, e.g. 0,1,3 (default " + all + ")");
    addUsageLine(&text, std::string("--") + images.option + "N, --no-" + images.option + "N",
                 std::string(images.help) + ", 0.." + last + "; leaving out all five shows all five");
    return text + kUsageTail;
}

}  // namespace

std::string choiceWords(const SettingRow& row, const char* separator) {
    std::string list;
    for (const SettingWord* w = row.words; w->word != nullptr; ++w) {
        if (w->word[0] >= '0' && w->word[0] <= '9' && row.words[0].word[0] > '9') break;  // skip index aliases
        if (!list.empty()) list += separator;
        list += w->word;
    }
    return list;
}

std::string optionValueText(const SettingRow& row, int32_t value) {
    switch (row.kind) {
    case SettingKind::flag:
        return value != 0 ? "on" : "off";
    case SettingKind::tenths:
        return std::to_string(value / 10) + "." + std::to_string(value % 10);
    case SettingKind::choice:
        for (const SettingWord* w = row.words; w->word != nullptr; ++w) {
            if (w->value == value) return w->word;
        }
        break;
    case SettingKind::number:
        break;
    }
    return std::to_string(value);
}

std::string optionRangeText(const SettingRow& row) {
    if (row.kind == SettingKind::choice) return choiceWords(row, "|");
    return optionValueText(row, row.low) + ".." + optionValueText(row, row.high);
}

const char* saverUsageText() {
    static const std::string usage = buildUsage();
    return usage.c_str();
}
