// The registry backend against the real registry (under Wine in CI), in a throw-away key.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "settings/settings_store.h"
#include "settings/win32/registry_backend.h"
#include "support/memory_backend.h"

namespace {

class RegistryBackend : public ::testing::Test {
protected:
    void SetUp() override {
        subkey = "Software\\OrbivaneTest" + std::to_string(GetCurrentProcessId());
        RegDeleteKeyA(HKEY_CURRENT_USER, subkey.c_str());
        backend = std::make_unique<RegistrySettingsBackend>(subkey);
        scope = std::make_unique<ScopedSettingsBackend>(*backend);
    }
    void TearDown() override {
        scope.reset();
        backend.reset();
        RegDeleteKeyA(HKEY_CURRENT_USER, subkey.c_str());
        EXPECT_FALSE(keyExists());
    }

    bool keyExists() const {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    void setRaw(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    // The stored type and 32-bit data of one value; false when it is missing.
    bool stored(const char* name, DWORD* type, int32_t* value) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        DWORD data = 0, size = sizeof data;
        LONG rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&data), &size);
        RegCloseKey(key);
        *value = static_cast<int32_t>(data);
        return rc == ERROR_SUCCESS && size == 4;
    }

    std::string subkey;
    std::unique_ptr<RegistrySettingsBackend> backend;
    std::unique_ptr<ScopedSettingsBackend> scope;
    SettingsStore& store = SettingsStore::instance();
};

}  // namespace

TEST_F(RegistryBackend, MissingKeyGivesDefaultsAndReadsDoNotCreateIt) {
    EXPECT_EQ(store.readDetailLevel(), 1);
    EXPECT_EQ(store.readRotationSpeed(), 25.0f);
    EXPECT_TRUE(store.readQuickDraw());
    EXPECT_EQ(store.readLightDistance(), 10.0f);
    EXPECT_TRUE(store.readImageEnabled(4));
    EXPECT_FALSE(keyExists());
}

TEST_F(RegistryBackend, EverySettingRoundTripsAsDword) {
    store.writeDetailLevel(3);
    store.writeRotationSpeed(37);
    store.writeIntervalOption(2);
    store.writeShuffleImages(true);
    store.writeQuickDraw(false);
    store.writeTranspLevel(22);
    store.writePaletteType(1);
    store.writeLightSource(0);
    store.writeGlossLevel(6);
    store.writeGlossRandom(true);
    store.writeLightDistance(27.3f);
    store.writeLight2Sides(false);
    store.writeMonitorMode(2);
    for (int i = 0; i < 5; ++i) store.writeImageEnabled(i, i != 3);

    EXPECT_EQ(store.readDetailLevel(), 3);
    EXPECT_EQ(store.readRotationSpeed(), 37.0f);
    EXPECT_EQ(store.readIntervalOption(), 2);
    EXPECT_TRUE(store.readShuffleImages());
    EXPECT_FALSE(store.readQuickDraw());
    EXPECT_EQ(store.readTranspLevel(), 22);
    EXPECT_EQ(store.readPaletteType(), 1);
    EXPECT_EQ(store.readLightSource(), 0);
    EXPECT_EQ(store.readGlossLevel(), 6.0f);
    EXPECT_TRUE(store.readGlossRandom());
    EXPECT_EQ(static_cast<int>(store.readLightDistance() * 10.0f), 273);
    EXPECT_FALSE(store.readLight2Sides());
    EXPECT_EQ(store.readMonitorMode(), 2);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(store.readImageEnabled(i), i != 3) << i;

    const std::pair<const char*, int32_t> expected[] = {
        {"detail_level", 3}, {"rotation_speed", 37}, {"interval_option", 2},  {"shuffle_images", 1},
        {"quick_draw", 0},   {"transp_level", 22},   {"palette_type", 1},     {"light_source", 0},
        {"gloss_level", 6},  {"gloss_random", 1},    {"light_distance", 273}, {"light_2_sides", 0},
        {"monitor_mode", 2}, {"image_0", 1},         {"image_3", 0},
    };
    for (const auto& e : expected) {
        DWORD type = 0;
        int32_t v = 0;
        ASSERT_TRUE(stored(e.first, &type, &v)) << e.first;
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << e.first;
        EXPECT_EQ(v, e.second) << e.first;
    }

    store.writeLightSource(-1);  // unchecked, negative values survive
    EXPECT_EQ(store.readLightSource(), -1);
}

TEST_F(RegistryBackend, OtherTypesLongDataAndTheMarker) {
    setRaw("detail_level", REG_SZ, "1", 2);  // '1' and terminator read as 49, clamped to 4
    EXPECT_EQ(store.readDetailLevel(), 4);
    setRaw("interval_option", REG_SZ, "1", 2);
    EXPECT_EQ(store.readIntervalOption(), 49);

    const BYTE longData[8] = {20, 0, 0, 0, 0, 0, 0, 0};
    setRaw("transp_level", REG_BINARY, longData, sizeof longData);
    EXPECT_EQ(store.readTranspLevel(), 10);
    setRaw("quick_draw", REG_BINARY, longData, sizeof longData);
    EXPECT_TRUE(store.readQuickDraw());

    const BYTE shortData[1] = {3};
    setRaw("monitor_mode", REG_BINARY, shortData, sizeof shortData);
    EXPECT_EQ(store.readMonitorMode(), 2);

    DWORD marker = 0x7FFFFFFF;
    setRaw("shuffle_images", REG_DWORD, &marker, sizeof marker);
    setRaw("light_2_sides", REG_DWORD, &marker, sizeof marker);
    EXPECT_FALSE(store.readShuffleImages());
    EXPECT_TRUE(store.readLight2Sides());
    DWORD two = 2;
    setRaw("gloss_random", REG_DWORD, &two, sizeof two);
    EXPECT_TRUE(store.readGlossRandom());
}

TEST_F(RegistryBackend, PlatformBackendUsesTheProductKey) {
    auto* registry = dynamic_cast<RegistrySettingsBackend*>(&platformSettingsBackend());
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->subkey(), "Software\\Orbivane");
}
