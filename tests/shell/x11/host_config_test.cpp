// Checks orbivane.xml against the program: every argument it can produce is accepted, and what the
// settings dialog shows when it passes nothing equals the built-in default.
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

#include "settings/memory_backend.h"
#include "settings/settings_store.h"
#include "shell/x11/option_overlay_backend.h"
#include "shell/x11/saver_options.h"

namespace {

struct Element {
    std::string tag;                            // number, boolean, select, option, command
    std::map<std::string, std::string> attrs;   // attribute values as written
    int select = -1;                            // for option: index of its select in the element list
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

// Every setting as the saver reads it, through the store's own readers.
std::map<std::string, double> readAll() {
    SettingsStore& s = SettingsStore::instance();
    std::map<std::string, double> v{
        {"detail_level", s.readDetailLevel()},     {"rotation_speed", s.readRotationSpeed()},
        {"interval_option", s.readIntervalOption()}, {"shuffle_images", s.readShuffleImages()},
        {"quick_draw", s.readQuickDraw()},         {"transp_level", s.readTranspLevel()},
        {"palette_type", s.readPaletteType()},     {"light_source", s.readLightSource()},
        {"gloss_level", s.readGlossLevel()},       {"gloss_random", s.readGlossRandom()},
        {"light_distance", s.readLightDistance()}, {"light_2_sides", s.readLight2Sides()},
    };
    for (int i = 0; i < 5; ++i) v["image_" + std::to_string(i)] = s.readImageEnabled(i);
    return v;
}

std::map<std::string, double> readWith(const SettingOverrides& overrides) {
    MemorySettingsBackend none;  // no settings file
    OptionOverlayBackend overlay(overrides, none);
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
        EXPECT_LE(changedBy(with(std::stod(low), decimal), &values).size(), 1u);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(low)) << arg;
        changedBy(with(std::stod(low) - step, decimal), &values);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(low)) << arg;
        EXPECT_LE(changedBy(with(std::stod(high), decimal), &values).size(), 1u);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(high)) << arg;
        changedBy(with(std::stod(high) + step, decimal), &values);
        EXPECT_FLOAT_EQ(values.at(name), std::stod(high)) << arg;
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
        if (e.tag == "number") args.push_back(std::regex_replace(e.attrs.at("arg"), std::regex("%"), e.attrs.at("low")));
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
