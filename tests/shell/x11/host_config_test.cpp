// Checks orbivane.xml and orbivane.6 against the program and the settings table: every argument the
// dialog can produce is accepted, what it shows when it passes nothing is the built-in default, and
// both files give each option's range and default as the table does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "settings/overlay_backend.h"
#include "settings/setting_table.h"
#include "settings/settings_store.h"
#include "shell/x11/saver_options.h"
#include "support/memory_backend.h"

namespace {

struct Element {
    std::string tag;                           // number, boolean, select, option, command
    std::map<std::string, std::string> attrs;  // attribute values as written
    int select = -1;                           // for option: index of its select in the element list
};

std::vector<Element> readElements(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string xml = text.str();
    std::vector<Element> elements;
    std::regex tagPattern(R"(<(/?)(number|boolean|select|option|command)\b([^>]*)>)");
    std::regex attrPattern(R"re(([A-Za-z_-]+)="([^"]*)")re");
    int openSelect = -1;
    for (std::sregex_iterator it(xml.begin(), xml.end(), tagPattern), end; it != end; ++it) {
        if ((*it)[1] == "/") {
            openSelect = -1;
            continue;
        }
        Element e;
        e.tag = (*it)[2];
        std::string attrs = (*it)[3];
        for (std::sregex_iterator a(attrs.begin(), attrs.end(), attrPattern), aend; a != aend; ++a) {
            e.attrs[(*a)[1]] = (*a)[2];
        }
        e.select = e.tag == "option" ? openSelect : -1;
        elements.push_back(e);
        if (e.tag == "select") openSelect = static_cast<int>(elements.size()) - 1;
    }
    return elements;
}

// Splits an argument string as the host's shell would (the files use plain words only).
std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

bool parseWords(const std::string& text, SaverOptions* options, std::string* error) {
    std::vector<std::string> w = words(text);
    std::vector<const char*> argv{"orbivane"};
    for (const std::string& s : w) argv.push_back(s.c_str());
    return parseSaverOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

// Every setting the command line can give, as the saver reads it (distances in tenths).
std::map<std::string, double> readAll() {
    SettingsStore& s = SettingsStore::instance();
    std::map<std::string, double> v;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = settingTable()[i];
        if (row.option == nullptr) continue;
        if (row.id != SettingId::images) v[row.name] = s.read(row.id);
        for (int n = 0; row.id == SettingId::images && n < kImageCount; ++n) {
            v[ImageSettingName(n).text] = s.read(row.id, n);
        }
    }
    return v;
}

std::map<std::string, double> readWith(const SettingOverrides& overrides) {
    MemorySettingsBackend none;  // no settings file
    OverlayBackend overlay(overrides, none);
    SettingsStore::instance().setBackend(&overlay);
    SettingsStore::instance().registryEnabled = true;
    std::map<std::string, double> values = readAll();
    SettingsStore::instance().setBackend(nullptr);
    return values;
}

class HostConfig : public ::testing::Test {
protected:
    void SetUp() override {
        elements = readElements(ORBIVANE_XML_PATH);
        ASSERT_GT(elements.size(), 10u) << "cannot read " << ORBIVANE_XML_PATH;
        defaults = readWith({});
    }

    // Parses `args`, expecting success; returns the settings they change away from the defaults.
    std::set<std::string> changedBy(const std::string& args, std::map<std::string, double>* values = nullptr) {
        SaverOptions options;
        std::string error;
        EXPECT_TRUE(parseWords(args, &options, &error)) << args << ": " << error;
        std::map<std::string, double> read = readWith(options.settings);
        std::set<std::string> changed;
        for (const auto& [name, value] : read) {
            if (value != defaults.at(name)) changed.insert(name);
        }
        if (values != nullptr) *values = read;
        return changed;
    }

    std::vector<Element> elements;
    std::map<std::string, double> defaults;  // every setting with nothing stored and no option
};

}  // namespace

TEST_F(HostConfig, NumbersSpanTheStoresRangeAndDefaultToTheBuiltInValue) {
    int numbers = 0;
    for (const Element& e : elements) {
        if (e.tag != "number") continue;
        ++numbers;
        const std::string arg = e.attrs.at("arg");
        size_t percent = arg.find('%');
        ASSERT_NE(percent, std::string::npos) << arg;
        auto with = [&](double v, bool decimal) {
            std::ostringstream text;
            text.precision(decimal ? 1 : 0);
            text << std::fixed << v;
            return arg.substr(0, percent) + text.str() + arg.substr(percent + 1);
        };
        const std::string& low = e.attrs.at("low");
        const std::string& high = e.attrs.at("high");
        bool decimal = low.find('.') != std::string::npos;
        double step = decimal ? 0.1 : 1.0;

        SaverOptions options;
        std::string error;
        ASSERT_TRUE(parseWords(with(std::stod(e.attrs.at("default")), decimal), &options, &error)) << error;
        ASSERT_EQ(options.settings.size(), 1u) << arg;
        const std::string name = options.settings.begin()->first;
        EXPECT_TRUE(changedBy(with(std::stod(e.attrs.at("default")), decimal)).empty()) << arg;

        // The slider's ends are the store's clamps: just beyond them reads the same as the end.
        std::map<std::string, double> values;
        const double unit = decimal ? 10.0 : 1.0;  // distances are read in tenths
        EXPECT_LE(changedBy(with(std::stod(low), decimal), &values).size(), 1u);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(low) * unit) << arg;
        changedBy(with(std::stod(low) - step, decimal), &values);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(low) * unit) << arg;
        EXPECT_LE(changedBy(with(std::stod(high), decimal), &values).size(), 1u);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(high) * unit) << arg;
        changedBy(with(std::stod(high) + step, decimal), &values);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(high) * unit) << arg;
    }
    EXPECT_EQ(numbers, 4);
}

TEST_F(HostConfig, BooleansFlipTheirSettingAwayFromTheDefault) {
    int booleans = 0;
    for (const Element& e : elements) {
        if (e.tag != "boolean") continue;
        ++booleans;
        bool setsTrue = e.attrs.count("arg-set") != 0;
        std::string arg = setsTrue ? e.attrs.at("arg-set") : e.attrs.at("arg-unset");
        ASSERT_EQ(e.attrs.count("arg-set") + e.attrs.count("arg-unset"), 1u) << e.attrs.at("id");
        if (arg == "--fps") {
            // The frame-rate display is no setting: off unless the box is ticked.
            SaverOptions options;
            std::string error;
            ASSERT_TRUE(parseWords(arg, &options, &error)) << error;
            EXPECT_TRUE(options.showFps);
            EXPECT_TRUE(setsTrue);
            continue;
        }
        std::map<std::string, double> values;
        std::set<std::string> changed = changedBy(arg, &values);
        ASSERT_EQ(changed.size(), 1u) << arg;
        // arg-set means the box starts unchecked: the built-in default must be false, and the other way round.
        EXPECT_EQ(values.at(*changed.begin()), setsTrue ? 1.0 : 0.0) << arg;
    }
    EXPECT_EQ(booleans, 10);
}

TEST_F(HostConfig, TheDialogsDefaultsAreWhatRuns) {
    // The command the dialog starts keeps the settings file out, so that the defaults it shows hold.
    for (const Element& e : elements) {
        if (e.tag != "command") continue;
        SaverOptions options;
        std::string error;
        ASSERT_TRUE(parseWords(e.attrs.at("arg"), &options, &error)) << error;
        EXPECT_FALSE(options.settingsFile) << e.attrs.at("arg");
        EXPECT_EQ(options.window, WindowChoice::root);
    }
    // No choice that passes an argument may call itself the default.
    for (const Element& e : elements) {
        if (e.tag != "option" || e.attrs.count("arg-set") == 0) continue;
        std::string label = e.attrs.at("_label");
        std::transform(label.begin(), label.end(), label.begin(), ::tolower);
        EXPECT_EQ(label.find("default"), std::string::npos) << e.attrs.at("_label");
    }
    // Unticking every image box passes all five --no-image-N: the program then shows all five.
    std::string allOut;
    for (const Element& e : elements) {
        if (e.tag == "boolean" && e.attrs.at("id").rfind("image", 0) == 0) allOut += e.attrs.at("arg-unset") + " ";
    }
    std::map<std::string, double> values;
    EXPECT_TRUE(changedBy(allOut, &values).empty()) << allOut;
}

TEST_F(HostConfig, SelectsHaveOneArgumentFreeChoiceThatIsTheDefault) {
    std::map<int, std::vector<const Element*>> selects;
    for (const Element& e : elements) {
        if (e.tag == "option") selects[e.select].push_back(&e);
    }
    EXPECT_EQ(selects.size(), 4u);
    for (const auto& [index, options] : selects) {
        ASSERT_GE(index, 0);
        int withoutArg = 0;
        std::set<double> seen;
        std::string settingName;
        for (const Element* option : options) {
            if (option->attrs.count("arg-set") == 0) {
                ++withoutArg;
                continue;
            }
            std::map<std::string, double> values;
            std::set<std::string> changed = changedBy(option->attrs.at("arg-set"), &values);
            // Each other choice moves one setting off its default, to a value of its own.
            ASSERT_EQ(changed.size(), 1u) << option->attrs.at("arg-set");
            if (settingName.empty()) settingName = *changed.begin();
            EXPECT_EQ(*changed.begin(), settingName) << option->attrs.at("arg-set");
            EXPECT_TRUE(seen.insert(values.at(settingName)).second) << option->attrs.at("arg-set");
        }
        EXPECT_EQ(withoutArg, 1) << elements[index].attrs.at("id");
    }
}

TEST_F(HostConfig, CoversEverySettingAndTheCommandIsAccepted) {
    std::set<std::string> covered;
    for (const Element& e : elements) {
        std::vector<std::string> args;
        if (e.tag == "command") args.push_back(e.attrs.at("arg"));
        if (e.tag == "number")
            args.push_back(std::regex_replace(e.attrs.at("arg"), std::regex("%"), e.attrs.at("low")));
        for (const char* key : {"arg-set", "arg-unset"}) {
            if (e.attrs.count(key) != 0) args.push_back(e.attrs.at(key));
        }
        for (const std::string& arg : args) {
            SaverOptions options;
            std::string error;
            EXPECT_TRUE(parseWords(arg, &options, &error)) << arg << ": " << error;
            for (const auto& [name, value] : options.settings) covered.insert(name);
        }
    }
    for (const auto& [name, value] : defaults) EXPECT_EQ(covered.count(name), 1u) << name;
}

TEST_F(HostConfig, TheDialogAndTheManualPageGiveTheTablesRangesAndDefaults) {
    std::ifstream in(ORBIVANE_MANUAL_PATH);
    std::stringstream text;
    text << in.rdbuf();
    const std::string manual = text.str();
    ASSERT_FALSE(manual.empty()) << "cannot read " << ORBIVANE_MANUAL_PATH;
    auto attr = [](const Element& e, const char* key) { return e.attrs.count(key) ? e.attrs.at(key) : ""; };
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = settingTable()[i];
        if (row.option == nullptr || row.id == SettingId::images) continue;
        const std::string option = std::string("--") + row.option;
        const std::string dflt = optionValueText(row, row.defaultValue);

        // The manual's entry: from the line naming the option to the next paragraph.
        std::string escaped;
        for (char c : option) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        const bool ranged = row.kind == SettingKind::number || row.kind == SettingKind::tenths;
        const size_t at = manual.find(std::string("\n.B") + (ranged ? "I " : "R ") + escaped + " ");
        ASSERT_NE(at, std::string::npos) << option;
        const std::string entry = manual.substr(at, manual.find("\n.TP", at + 1) - at);
        EXPECT_NE(entry.find("Default " + dflt + "."), std::string::npos) << entry;
        if (row.kind != SettingKind::flag) {
            EXPECT_NE(entry.find(" " + optionRangeText(row) + "\""), std::string::npos) << entry;
        }
        EXPECT_NE(manual.find(row.name), std::string::npos) << row.name;

        // The dialog: a box for a flag, a slider over the whole range, or one choice per value.
        std::set<std::string> choices;
        int found = 0;
        for (const Element& e : elements) {
            if (row.kind == SettingKind::flag && e.tag == "boolean") {
                found += attr(e, row.defaultValue ? "arg-unset" : "arg-set") ==
                         (row.defaultValue ? "--no-" + std::string(row.option) : option);
            } else if (e.tag == "number" && attr(e, "arg") == option + " %") {
                ++found;
                EXPECT_EQ(attr(e, "low") + ".." + attr(e, "high"), optionRangeText(row)) << option;
                EXPECT_EQ(attr(e, "default"), dflt) << option;
            } else if (e.tag == "option" && attr(e, "arg-set").rfind(option + " ", 0) == 0) {
                choices.insert(attr(e, "arg-set").substr(option.size() + 1));
            }
        }
        if (!choices.empty()) {
            std::set<std::string> expected;
            for (int32_t v = row.low; v <= row.high; ++v) {
                if (v != row.defaultValue) expected.insert(optionValueText(row, v));
            }
            EXPECT_EQ(choices, expected) << option;
            ++found;
        }
        EXPECT_EQ(found, 1) << option;
    }
}
