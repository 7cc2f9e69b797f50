// Tests of the X11 saver's command line, its settings overlay, its tick pacing and its --fps counter.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "settings/overlay_backend.h"
#include "settings/settings_store.h"
#include "shell/x11/fps_overlay.h"
#include "shell/x11/saver_options.h"
#include "shell/x11/tick_schedule.h"
#include "support/memory_backend.h"

namespace {

struct Parsed {
    bool ok = false;
    SaverOptions options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"orbivane"};
    argv.insert(argv.end(), args.begin(), args.end());
    Parsed p;
    p.ok = parseSaverOptions(static_cast<int>(argv.size()), argv.data(), &p.options, &p.error);
    return p;
}

int32_t setting(const Parsed& p, const char* name) {
    auto it = p.options.settings.find(name);
    return it == p.options.settings.end() ? -12345 : it->second;
}

// Points the store at an overlay of `overrides` over `fallback` for one scope.
class OverlayScope {
public:
    OverlayScope(const SettingOverrides& overrides, SettingsBackend& fallback) : overlay_(overrides, fallback) {
        SettingsStore::instance().setBackend(&overlay_);
        SettingsStore::instance().registryEnabled = true;
    }
    ~OverlayScope() { SettingsStore::instance().setBackend(nullptr); }

private:
    OverlayBackend overlay_;
};

}  // namespace

TEST(SaverOptions, WindowChoiceLastOneWins) {
    EXPECT_EQ(parse({}).options.window, WindowChoice::automatic);
    EXPECT_EQ(parse({"-root"}).options.window, WindowChoice::root);
    EXPECT_EQ(parse({"--root", "--window"}).options.window, WindowChoice::ownWindow);
    Parsed p = parse({"--window", "-window-id", "0x1a00005"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.window, WindowChoice::windowId);
    EXPECT_EQ(p.options.windowId, 0x1a00005ul);
    p = parse({"--window-id=27262981", "--root"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.window, WindowChoice::root);
    EXPECT_EQ(parse({"--display", ":7"}).options.displayName, ":7");
    EXPECT_TRUE(parse({"-h"}).options.help);
}

TEST(SaverOptions, WindowIdsInHexAndDecimal) {
    unsigned long id = 0;
    EXPECT_TRUE(parseWindowId("0x1A00005", &id));
    EXPECT_EQ(id, 0x1a00005ul);
    EXPECT_TRUE(parseWindowId("27262981", &id));
    EXPECT_EQ(id, 27262981ul);
    EXPECT_TRUE(parseWindowId("0xffffffff", &id));
    EXPECT_TRUE(parseWindowId("0X1a", &id));
    EXPECT_EQ(id, 0x1aul);
    EXPECT_TRUE(parseWindowId("4294967295", &id));
    EXPECT_EQ(id, 0xfffffffful);
    // Only the two written forms: no blanks, signs or second prefix, whatever strtoul would take.
    for (const char* bad : {"",
                            "0",
                            "0x0",
                            "0x",
                            "-5",
                            "+5",
                            " 5",
                            "\t7",
                            "5 ",
                            "12abc",
                            "0x1g",
                            "0x0x5",
                            "0x-5",
                            "0x+5",
                            "0x 5",
                            "-0x5",
                            "\t-18446744073709551615",
                            "-18446744073709551615",
                            "0x100000000",
                            "4294967296",
                            "99999999999999999999",
                            "0b101",
                            "1e3"}) {
        EXPECT_FALSE(parseWindowId(bad, &id)) << bad;
    }
}

TEST(SaverOptions, GeometriesGiveSizeAndPlace) {
    unsigned w = 0, h = 0;
    int x = 1, y = 1;
    EXPECT_TRUE(parseGeometry("800x600", &w, &h, &x, &y));
    EXPECT_EQ(w, 800u);
    EXPECT_EQ(h, 600u);
    EXPECT_TRUE(parseGeometry("640x480+10-20", &w, &h, &x, &y));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, -20);
    for (const char* bad : {"", "800", "800x", "x600", "0x600", "800x0", "800x600+10", "800x600+", "800x600+1+2+3",
                            "800X600", "-800x600", "99999x600", "800x600+1+99999", "800x600 +1+2"}) {
        EXPECT_FALSE(parseGeometry(bad, &w, &h, &x, &y)) << bad;
    }
}

TEST(SaverOptions, HostsStandardOptionsAreAcceptedAndChangeNoSetting) {
    Parsed p = parse({"-install", "-visual", "best", "-delay", "20000", "-fps", "--geometry=800x600+10-20", "-mono",
                      "-noinstall", "-pair", "-sync", "-bg", "black", "--foreground=white", "-xrm", "*x: y"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.showFps);
    EXPECT_EQ(p.options.geometry, "800x600+10-20");
    EXPECT_TRUE(p.options.settings.empty());
    EXPECT_EQ(p.options.window, WindowChoice::automatic);
    // The value of an ignored option is taken as its value, not read as an option of its own.
    p = parse({"-visual", "--window", "--no-fps"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.window, WindowChoice::automatic);
    EXPECT_FALSE(p.options.showFps);
    EXPECT_TRUE(parse({}).options.settingsFile);
    EXPECT_FALSE(parse({"--no-settings-file"}).options.settingsFile);
    EXPECT_FALSE(parse({}).options.showFps);
}

TEST(SaverOptions, EverySettingHasAnOptionInItsStoredForm) {
    Parsed p = parse({"--detail-level", "3", "-rotation-speed=12", "--interval", "60", "--shuffle", "--no-quick-draw",
                      "--transparency", "25", "--palette", "alternative", "--light-source=moving", "--gloss", "7",
                      "--gloss-random", "--light-distance", "2.5", "--no-light-both-sides"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(setting(p, "detail_level"), 3);
    EXPECT_EQ(setting(p, "rotation_speed"), 12);
    EXPECT_EQ(setting(p, "interval_option"), 1);
    EXPECT_EQ(setting(p, "shuffle_images"), 1);
    EXPECT_EQ(setting(p, "quick_draw"), 0);
    EXPECT_EQ(setting(p, "transp_level"), 25);
    EXPECT_EQ(setting(p, "palette_type"), 1);
    EXPECT_EQ(setting(p, "light_source"), 1);
    EXPECT_EQ(setting(p, "gloss_level"), 7);
    EXPECT_EQ(setting(p, "gloss_random"), 1);
    EXPECT_EQ(setting(p, "light_distance"), 25);  // tenths
    EXPECT_EQ(setting(p, "light_2_sides"), 0);

    p = parse({"--interval", "90", "--palette", "0", "--light-source", "random", "--no-shuffle", "--quick-draw",
               "--light-distance", "30.0", "--interval", "45"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(setting(p, "interval_option"), 0);  // the later value wins
    EXPECT_EQ(setting(p, "palette_type"), 0);
    EXPECT_EQ(setting(p, "light_source"), 2);
    EXPECT_EQ(setting(p, "shuffle_images"), 0);
    EXPECT_EQ(setting(p, "quick_draw"), 1);
    EXPECT_EQ(setting(p, "light_distance"), 300);
}

TEST(SaverOptions, ImageListAndSingleImageFlags) {
    Parsed p = parse({"--images", "0,1,3"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(setting(p, "image_0"), 1);
    EXPECT_EQ(setting(p, "image_1"), 1);
    EXPECT_EQ(setting(p, "image_2"), 0);
    EXPECT_EQ(setting(p, "image_3"), 1);
    EXPECT_EQ(setting(p, "image_4"), 0);

    p = parse({"--images=4,2", "--no-image-4", "-image-0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(setting(p, "image_0"), 1);
    EXPECT_EQ(setting(p, "image_2"), 1);
    EXPECT_EQ(setting(p, "image_4"), 0);
    EXPECT_EQ(setting(p, "image_1"), 0);

    p = parse({"--no-image-2"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.settings.size(), 1u);  // the other images stay with the store
    EXPECT_FALSE(p.options.allImagesLeftOut);
}

TEST(SaverOptions, LeavingOutEveryImageShowsThemAll) {
    // What a host's dialog passes with every image box unticked.
    Parsed p = parse({"--no-image-0", "--no-image-1", "--no-image-2", "--no-image-3", "--no-image-4"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.allImagesLeftOut);
    for (const char* name : {"image_0", "image_1", "image_2", "image_3", "image_4"}) EXPECT_EQ(setting(p, name), 1);

    p = parse({"--images", "3", "--no-image-3"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.allImagesLeftOut);
    EXPECT_EQ(setting(p, "image_3"), 1);

    p = parse({"--no-image-0", "--no-image-1", "--no-image-2", "--no-image-3"});  // one left: it alone
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.allImagesLeftOut);
    EXPECT_EQ(setting(p, "image_3"), 0);
    EXPECT_EQ(setting(p, "image_4"), -12345);
}

TEST(SaverOptions, BadCommandLinesGiveOneLineNamingTheOption) {
    struct Case {
        std::vector<const char*> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"-fps=yes"}, "-fps takes no value"},
        {{"-delay"}, "-delay needs a value"},
        {{"--install=1"}, "--install takes no value"},
        {{"--geometry", "800"}, "--geometry"},
        {{"--no-settings-file=1"}, "--no-settings-file"},
        {{"stray"}, "stray"},
        {{"-"}, "'-'"},
        {{"--detail-level"}, "--detail-level needs a value"},
        {{"--detail-level", "x"}, "--detail-level"},
        {{"--detail-level", ""}, "--detail-level"},
        {{"--rotation-speed", "25.5"}, "--rotation-speed"},
        {{"--gloss", "3x"}, "--gloss"},
        {{"--interval", "30"}, "45, 60, 90"},
        {{"--palette", "blue"}, "standard, alternative, random"},
        {{"--light-source", "3"}, "--light-source"},
        {{"--light-distance", "far"}, "--light-distance"},
        {{"--light-distance", "nan"}, "--light-distance"},
        {{"--light-distance", "inf"}, "--light-distance"},
        {{"--images", ""}, "--images"},
        {{"--images", "0,,1"}, "--images"},
        {{"--images", "5"}, "--images"},
        {{"--images", "1,1"}, "--images"},
        {{"--images", "1,"}, "--images"},
        {{"--image-5"}, "--image-5"},
        {{"--window-id", "0xZZ"}, "--window-id"},
        {{"--window-id", "0"}, "--window-id"},
        {{"--shuffle=1"}, "--shuffle takes no value"},
        {{"--root=yes"}, "--root"},
        {{"--no-detail-level"}, "--no-detail-level"},
        {{"--palette", "warm\nlines\r"}, "--palette expects"},
        {{"--bogus\n2"}, "unknown option '--bogus?2'"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"orbivane"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SaverOptions options;
        std::string error;
        EXPECT_FALSE(parseSaverOptions(static_cast<int>(argv.size()), argv.data(), &options, &error)) << c.args[0];
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(SaverOptions, HugeNumbersSaturateSoTheStoreClampsThem) {
    Parsed p = parse({"--detail-level", "99999999999", "--transparency", "-99999999999", "--light-distance", "1e30"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(setting(p, "detail_level"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(setting(p, "transp_level"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(setting(p, "light_distance"), std::numeric_limits<int32_t>::max());
    // Tenths by the store's writer: the largest float below 2^31 converts exactly.
    EXPECT_EQ(setting(parse({"--light-distance", "214748352"}), "light_distance"), 2147483520);
}

TEST(OptionOverlay, CommandLineBeatsStoreBeatsDefault) {
    MemorySettingsBackend file;
    file.store("detail_level", 3);
    file.store("rotation_speed", 12);
    file.store("quick_draw", 0);
    Parsed p = parse({"--detail-level", "0", "--shuffle"});
    ASSERT_TRUE(p.ok);
    OverlayScope scope(p.options.settings, file);
    SettingsStore& store = SettingsStore::instance();
    EXPECT_EQ(store.readDetailLevel(), 0);        // option over the file
    EXPECT_TRUE(store.readShuffleImages());       // option over the default
    EXPECT_EQ(store.readRotationSpeed(), 12.0f);  // file over the default
    EXPECT_FALSE(store.readQuickDraw());          // file over the default
    EXPECT_EQ(store.readTranspLevel(), 10);       // default
    EXPECT_TRUE(store.readImageEnabled(3));       // default
    EXPECT_EQ(file.openHandles, 0);               // every read closed the file again
    EXPECT_EQ(file.misuse, 0);
}

TEST(OptionOverlay, OptionsApplyWithoutASettingsFile) {
    MemorySettingsBackend file;  // no settings file at all
    Parsed p = parse({"--images", "2", "--light-distance", "25"});
    ASSERT_TRUE(p.ok);
    OverlayScope scope(p.options.settings, file);
    SettingsStore& store = SettingsStore::instance();
    EXPECT_FALSE(store.readImageEnabled(0));
    EXPECT_TRUE(store.readImageEnabled(2));
    EXPECT_EQ(store.readLightDistance(), 25.0f);
    EXPECT_EQ(store.readDetailLevel(), 1);
    EXPECT_EQ(file.closes, 0);  // a file that failed to open is not closed
    EXPECT_EQ(file.misuse, 0);
}

TEST(OptionOverlay, OptionValuesGetTheStoresClamps) {
    MemorySettingsBackend file;
    Parsed p = parse({"--detail-level", "9", "--rotation-speed", "99", "--transparency", "-5", "--gloss", "11",
                      "--light-distance", "1.0"});
    ASSERT_TRUE(p.ok);
    OverlayScope scope(p.options.settings, file);
    SettingsStore& store = SettingsStore::instance();
    EXPECT_EQ(store.readDetailLevel(), 4);
    EXPECT_EQ(store.readRotationSpeed(), 40.0f);
    EXPECT_EQ(store.readTranspLevel(), 0);
    EXPECT_EQ(store.readGlossLevel(), 10.0f);
    EXPECT_EQ(store.readLightDistance(), 2.0f);
}

TEST(OptionOverlay, LightDistanceOptionsRoundTripEveryTenth) {
    MemorySettingsBackend file;
    for (int tenths = 20; tenths <= 300; ++tenths) {
        std::string text = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
        Parsed p = parse({"--light-distance", text.c_str()});
        ASSERT_TRUE(p.ok) << text;
        ASSERT_EQ(setting(p, "light_distance"), tenths) << text;
    }
}

TEST(OptionOverlay, WritesGoToTheStore) {
    MemorySettingsBackend file;
    Parsed p = parse({"--gloss", "4"});
    OverlayScope scope(p.options.settings, file);
    SettingsStore::instance().writeGlossLevel(6);
    EXPECT_EQ(file.value("gloss_level"), 6);
    EXPECT_EQ(file.openHandles, 0);
    EXPECT_EQ(SettingsStore::instance().readGlossLevel(), 4.0f);  // the option still wins
}

TEST(OptionOverlay, WithoutTheSettingsFileOptionsMeetTheDefaults) {
    NoSettingsBackend none;
    Parsed p = parse({"--gloss", "4"});
    OverlayScope scope(p.options.settings, none);
    SettingsStore& store = SettingsStore::instance();
    EXPECT_EQ(store.readGlossLevel(), 4.0f);
    EXPECT_EQ(store.readDetailLevel(), 1);
    EXPECT_TRUE(store.readImageEnabled(4));
}

TEST(FrameRateMeter, CountsFramesAndDrawingTimePerPeriod) {
    const int64_t ms = 1000000;
    FrameRateMeter meter;
    EXPECT_EQ(meter.rateLine(), "FPS: -");
    EXPECT_EQ(meter.frameLine(), "Frame: - ms");
    // A slow first frame (the first image's set-up) only opens the count.
    meter.frameDone(500 * ms, 400 * ms);
    for (int i = 1; i < 50; ++i) meter.frameDone(500 * ms + i * 20 * ms, 4 * ms);
    EXPECT_EQ(meter.rateLine(), "FPS: -");  // the period is not over yet
    meter.frameDone(1500 * ms, 6 * ms);
    EXPECT_EQ(meter.rateLine(), "FPS: 50.0");
    EXPECT_EQ(meter.frameLine(), "Frame: 4.0 ms");  // (49 * 4 + 6) / 50 = 4.04

    // Stalled: four frames over two seconds; the lines stay until a period closes.
    meter.frameDone(1700 * ms, 30 * ms);
    meter.frameDone(2000 * ms, 30 * ms);
    meter.frameDone(2400 * ms, 30 * ms);
    EXPECT_EQ(meter.rateLine(), "FPS: 50.0");
    meter.frameDone(3500 * ms, 50 * ms);
    EXPECT_EQ(meter.rateLine(), "FPS: 2.0");
    EXPECT_EQ(meter.frameLine(), "Frame: 35.0 ms");
}

TEST(FrameRateMeter, EveryCharacterOfTheLinesHasAGlyph) {
    // Text the lines can hold: each of these characters must draw something.
    const std::string used = "FPS:Frame-ms0123456789.";
    for (char c : used) {
        TextBitmap b = rasterizeText(std::string(1, c));
        ASSERT_EQ(b.width, 6);
        ASSERT_EQ(b.height, 9);
        int lit = 0;
        for (int y = 0; y < b.height; ++y) {
            for (int x = 0; x < b.width; ++x) lit += b.at(x, y) ? 1 : 0;
            EXPECT_FALSE(b.at(5, y)) << c;  // the spacing column stays clear
        }
        EXPECT_GT(lit, 1) << c;
    }
    // Characters stay in their own cells and distinct glyphs differ.
    TextBitmap pair = rasterizeText("1 8");
    EXPECT_EQ(pair.width, 18);
    for (int y = 0; y < 9; ++y) {
        for (int x = 6; x < 12; ++x) EXPECT_FALSE(pair.at(x, y));
    }
    EXPECT_NE(rasterizeText("6").lit, rasterizeText("9").lit);
    EXPECT_EQ(rasterizeText("").width, 0);
    TextBitmap unknown = rasterizeText("~");
    EXPECT_EQ(std::count(unknown.lit.begin(), unknown.lit.end(), 1), 0);
}

TEST(TickSchedule, KeepsTheBeatAndNeverCatchesUp) {
    const int64_t ms = 1000000;
    TickSchedule s;
    s.start(0);
    EXPECT_FALSE(s.due(19 * ms));
    EXPECT_EQ(s.waitMs(19 * ms + 1), 1);  // rounded up, never a busy 0 before the deadline
    EXPECT_TRUE(s.due(20 * ms));
    s.advance(21 * ms);  // a tick that ran a little late keeps the 20 ms grid
    EXPECT_EQ(s.nextNs, 40 * ms);

    // Stopped for ten seconds: the overdue tick and at most one more at once, then the beat
    // resumes from now instead of replaying the 500 missed ticks.
    EXPECT_TRUE(s.due(10040 * ms));
    s.advance(10041 * ms);
    EXPECT_TRUE(s.due(10041 * ms));
    s.advance(10042 * ms);
    EXPECT_EQ(s.nextNs, 10061 * ms);
    EXPECT_FALSE(s.due(10050 * ms));
    EXPECT_EQ(s.waitMs(10050 * ms), 11);
}
