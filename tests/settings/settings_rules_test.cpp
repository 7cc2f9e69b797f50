// The settings rules over the in-memory backend: defaults, clamps, the boolean marker, odd data,
// registryEnabled, no caching, value names and the light-distance round trip.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

#include "settings/setting_table.h"
#include "settings/settings_store.h"
#include "support/memory_backend.h"

namespace {

class SettingsRules : public ::testing::Test {
protected:
    MemorySettingsBackend mem;
    ScopedSettingsBackend scope{mem};
    SettingsStore& store = SettingsStore::instance();

    void TearDown() override {
        EXPECT_EQ(mem.openHandles, 0) << "a key was left open";
        EXPECT_EQ(mem.misuse, 0) << "query/set/close without a matching open";
    }
};

// Every setting reads as its row's default; the typed readers give the same values.
void expectAllDefaults(SettingsStore& s) {
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = settingTable()[i];
        for (int n = 0; n < (row.id == SettingId::images ? kImageCount : 1); ++n) {
            EXPECT_EQ(s.read(row.id, n), row.defaultValue) << row.name << n;
        }
    }
    EXPECT_EQ(s.readRotationSpeed(), 25.0f);
    EXPECT_EQ(s.readLightDistance(), 10.0f);
    EXPECT_TRUE(s.readQuickDraw());
    EXPECT_TRUE(s.readImageEnabled(4));
}

}  // namespace

TEST_F(SettingsRules, DefaultsWithoutKeyAndWithEmptyKeyAndReadsNeverCreateTheKey) {
    expectAllDefaults(store);
    EXPECT_FALSE(mem.keyExists);
    EXPECT_EQ(mem.writeOpens, 0);
    EXPECT_EQ(mem.queries, 0);  // the open already failed

    mem.keyExists = true;  // key present, values missing
    expectAllDefaults(store);

    mem.failOpenRead = true;  // key present but cannot be opened
    mem.store("detail_level", 3);
    EXPECT_EQ(store.readDetailLevel(), 1);
}

TEST_F(SettingsRules, ClampsAndPassThrough) {
    struct IntCase {
        const char* name;
        int32_t stored;
        int32_t (SettingsStore::*read)();
        int32_t expected;
    };
    const IntCase ints[] = {
        {"detail_level", 9, &SettingsStore::readDetailLevel, 4},
        {"detail_level", -3, &SettingsStore::readDetailLevel, 0},
        {"detail_level", 3, &SettingsStore::readDetailLevel, 3},
        {"transp_level", 41, &SettingsStore::readTranspLevel, 40},
        {"transp_level", -1, &SettingsStore::readTranspLevel, 0},
        {"transp_level", 40, &SettingsStore::readTranspLevel, 40},
        {"monitor_mode", 3, &SettingsStore::readMonitorMode, 2},
        {"monitor_mode", -1, &SettingsStore::readMonitorMode, 0},
        {"monitor_mode", 1, &SettingsStore::readMonitorMode, 1},
        {"interval_option", 7, &SettingsStore::readIntervalOption, 7},
        {"interval_option", INT32_MIN, &SettingsStore::readIntervalOption, INT32_MIN},
        {"palette_type", 5, &SettingsStore::readPaletteType, 5},
        {"light_source", -1, &SettingsStore::readLightSource, -1},
    };
    for (const IntCase& c : ints) {
        mem.store(c.name, c.stored);
        EXPECT_EQ((store.*c.read)(), c.expected) << c.name << " stored " << c.stored;
    }

    struct FloatCase {
        const char* name;
        int32_t stored;
        float (SettingsStore::*read)();
        float expected;
    };
    const FloatCase floats[] = {
        {"rotation_speed", 5, &SettingsStore::readRotationSpeed, 10.0f},
        {"rotation_speed", 99, &SettingsStore::readRotationSpeed, 40.0f},
        {"rotation_speed", 33, &SettingsStore::readRotationSpeed, 33.0f},
        {"rotation_speed", INT32_MIN, &SettingsStore::readRotationSpeed, 10.0f},
        {"gloss_level", -1, &SettingsStore::readGlossLevel, 0.0f},
        {"gloss_level", 11, &SettingsStore::readGlossLevel, 10.0f},
        {"gloss_level", 7, &SettingsStore::readGlossLevel, 7.0f},
        {"light_distance", 15, &SettingsStore::readLightDistance, 2.0f},
        {"light_distance", 0, &SettingsStore::readLightDistance, 2.0f},
        {"light_distance", 301, &SettingsStore::readLightDistance, 30.0f},
        {"light_distance", -5000, &SettingsStore::readLightDistance, 2.0f},
        {"light_distance", INT32_MAX, &SettingsStore::readLightDistance, 30.0f},
        {"light_distance", 123, &SettingsStore::readLightDistance, static_cast<float>(123 * 0.1)},
    };
    for (const FloatCase& c : floats) {
        mem.store(c.name, c.stored);
        EXPECT_EQ((store.*c.read)(), c.expected) << c.name << " stored " << c.stored;
    }
}

TEST_F(SettingsRules, BooleanRuleAndMarker) {
    mem.store("quick_draw", 2);
    EXPECT_TRUE(store.readQuickDraw());
    mem.store("quick_draw", -1);
    EXPECT_TRUE(store.readQuickDraw());
    mem.store("quick_draw", 0);
    EXPECT_FALSE(store.readQuickDraw());

    // A stored 2147483647 is indistinguishable from "missing": each reader gives its own default.
    mem.store("quick_draw", 0x7FFFFFFF);
    mem.store("shuffle_images", 0x7FFFFFFF);
    mem.store("image_2", 0x7FFFFFFF);
    EXPECT_TRUE(store.readQuickDraw());
    EXPECT_FALSE(store.readShuffleImages());
    EXPECT_TRUE(store.readImageEnabled(2));
    EXPECT_TRUE(store.readFlag("quick_draw", true));
    EXPECT_FALSE(store.readFlag("quick_draw", false));
    // The marker only means something to boolean readers.
    mem.store("interval_option", 0x7FFFFFFF);
    EXPECT_EQ(store.readIntervalOption(), 0x7FFFFFFF);

    mem.store("image_3", 0);
    EXPECT_FALSE(store.readImageEnabled(3));
    mem.erase("image_3");
    EXPECT_TRUE(store.readImageEnabled(3));
}

TEST_F(SettingsRules, OddDataIsReadAsLittleEndianIntegerOrDefault) {
    mem.storeString("detail_level", "1");  // '1' and terminator: 49, clamped
    EXPECT_EQ(store.readDetailLevel(), 4);
    mem.storeString("interval_option", "1");
    EXPECT_EQ(store.readIntervalOption(), 49);
    mem.storeRaw("palette_type", {0x01});  // short data: upper bytes zero
    EXPECT_EQ(store.readPaletteType(), 1);
    mem.storeRaw("light_source", {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(store.readLightSource(), -1);
    mem.storeRaw("transp_level", {20, 0, 0, 0, 0, 0, 0, 0});  // longer than 4 bytes: the default
    EXPECT_EQ(store.readTranspLevel(), 10);
    mem.storeRaw("shuffle_images", {1, 0, 0, 0, 0});
    EXPECT_FALSE(store.readShuffleImages());
    mem.storeRaw("quick_draw", {});  // empty data reads 0
    EXPECT_FALSE(store.readQuickDraw());
}

TEST_F(SettingsRules, DisabledRegistryIgnoresStoredValuesButWritesStillLand) {
    mem.store("detail_level", 3);
    mem.store("quick_draw", 0);
    mem.store("light_distance", 250);
    store.registryEnabled = false;
    expectAllDefaults(store);
    EXPECT_EQ(mem.readOpens, 0);

    store.writeDetailLevel(2);
    store.writeImageEnabled(4, false);
    EXPECT_EQ(mem.value("detail_level"), 2);
    EXPECT_EQ(mem.value("image_4"), 0);
    EXPECT_EQ(store.readDetailLevel(), 1);

    store.registryEnabled = true;
    EXPECT_EQ(store.readDetailLevel(), 2);
    EXPECT_FALSE(store.readImageEnabled(4));
}

TEST_F(SettingsRules, EveryAccessOpensAndClosesAndNothingIsCached) {
    mem.store("detail_level", 3);
    mem.resetCounters();
    EXPECT_EQ(store.readDetailLevel(), 3);
    EXPECT_EQ(mem.readOpens, 1);
    EXPECT_EQ(mem.queries, 1);
    EXPECT_EQ(mem.closes, 1);

    mem.store("detail_level", 0);  // another process changes it
    EXPECT_EQ(store.readDetailLevel(), 0);
    EXPECT_EQ(mem.readOpens, 2);

    mem.resetCounters();
    store.writeTranspLevel(5);
    store.writeTranspLevel(6);
    EXPECT_EQ(mem.writeOpens, 2);
    EXPECT_EQ(mem.sets, 2);
    EXPECT_EQ(mem.closes, 2);
    EXPECT_EQ(mem.value("transp_level"), 6);

    // A failed create loses that value silently, and the next write is still attempted.
    mem.resetCounters();
    mem.failOpenWrite = true;
    store.writeTranspLevel(7);
    mem.failOpenWrite = false;
    store.writeMonitorMode(1);
    EXPECT_EQ(mem.writeOpens, 2);
    EXPECT_EQ(mem.sets, 1);
    EXPECT_EQ(mem.value("transp_level"), 6);
    EXPECT_EQ(mem.value("monitor_mode"), 1);
}

TEST_F(SettingsRules, WritersStoreUncheckedValuesUnderTheirNames) {
    store.writeDetailLevel(-1);
    store.writeRotationSpeed(99);
    store.writeIntervalOption(2);
    store.writeShuffleImages(true);
    store.writeQuickDraw(false);
    store.writeTranspLevel(41);
    store.writePaletteType(-1);
    store.writeLightSource(1);
    store.writeGlossLevel(11);
    store.writeGlossRandom(true);
    store.writeLightDistance(12.5f);
    store.writeLight2Sides(false);
    store.writeMonitorMode(2);
    for (int i = 0; i < 5; ++i) store.writeImageEnabled(i, i % 2 == 1);

    const std::pair<const char*, int32_t> expected[] = {
        {"detail_level", -1}, {"rotation_speed", 99}, {"interval_option", 2},  {"shuffle_images", 1},
        {"quick_draw", 0},    {"transp_level", 41},   {"palette_type", -1},    {"light_source", 1},
        {"gloss_level", 11},  {"gloss_random", 1},    {"light_distance", 125}, {"light_2_sides", 0},
        {"monitor_mode", 2},  {"image_0", 0},         {"image_1", 1},          {"image_2", 0},
        {"image_3", 1},       {"image_4", 0},
    };
    EXPECT_EQ(mem.values().size(), std::size(expected));
    for (const auto& e : expected) {
        ASSERT_TRUE(mem.has(e.first)) << e.first;
        EXPECT_EQ(mem.values().at(e.first).size(), 4u) << e.first;
        EXPECT_EQ(mem.value(e.first), e.second) << e.first;
    }
}

TEST_F(SettingsRules, LightDistanceRoundTripsEveryTrackbarPosition) {
    for (int position = 20; position <= 300; ++position) {
        float distance = static_cast<float>(position) * 0.1f;  // what the dialog passes
        store.writeLightDistance(distance);
        ASSERT_EQ(mem.value("light_distance"), position) << "stored for position " << position;
        float back = store.readLightDistance();
        ASSERT_EQ(static_cast<int>(back * 10.0f), position) << "trackbar from distance " << back;
    }
}

TEST_F(SettingsRules, LightDistanceWriterSaturatesInsteadOfOverflowing) {
    store.writeLightDistance(-0.05f);
    EXPECT_EQ(mem.value("light_distance"), 0);  // truncated toward zero
    store.writeLightDistance(1e30f);
    EXPECT_EQ(mem.value("light_distance"), INT32_MAX);
    store.writeLightDistance(-1e30f);
    EXPECT_EQ(mem.value("light_distance"), INT32_MIN);
    store.writeLightDistance(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(mem.value("light_distance"), 0);
}
