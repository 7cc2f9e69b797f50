// TEMPORARY stand-in for the settings store until it lands on main; deleted at merge.
#include "settings/settings_store.h"

#include <cstdio>

namespace {
class EmptyBackend final : public SettingsBackend {
public:
    bool openRead() override { return false; }
    bool query(const char*, int32_t*) override { return false; }
    bool openWrite() override { return false; }
    void set(const char*, int32_t) override {}
    void close() override {}
};
int32_t clampTo(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }
}  // namespace

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}
void SettingsStore::setBackend(SettingsBackend* backend) { backend_ = backend; }
SettingsBackend* SettingsStore::backend() { return backend_ ? backend_ : &platformSettingsBackend(); }
SettingsBackend& platformSettingsBackend() {
    static EmptyBackend backend;
    return backend;
}
int32_t SettingsStore::readRaw(const char* name, int32_t defaultValue) {
    if (!registryEnabled) return defaultValue;
    SettingsBackend* b = backend();
    if (!b->openRead()) return defaultValue;
    int32_t v = 0;
    if (!b->query(name, &v)) v = defaultValue;
    b->close();
    return v;
}
void SettingsStore::writeRaw(const char*, int32_t) {}
bool SettingsStore::readFlag(const char* name, bool def) {
    int32_t v = readRaw(name, 0x7FFFFFFF);
    return v == 0x7FFFFFFF ? def : v != 0;
}
int32_t SettingsStore::readDetailLevel() { return clampTo(readRaw("detail_level", 1), 0, 4); }
float SettingsStore::readRotationSpeed() { return static_cast<float>(clampTo(readRaw("rotation_speed", 25), 10, 40)); }
int32_t SettingsStore::readIntervalOption() { return readRaw("interval_option", 0); }
bool SettingsStore::readShuffleImages() { return readFlag("shuffle_images", false); }
bool SettingsStore::readQuickDraw() { return readFlag("quick_draw", true); }
int32_t SettingsStore::readTranspLevel() { return clampTo(readRaw("transp_level", 10), 0, 40); }
int32_t SettingsStore::readPaletteType() { return readRaw("palette_type", 2); }
int32_t SettingsStore::readLightSource() { return readRaw("light_source", 2); }
float SettingsStore::readGlossLevel() { return static_cast<float>(clampTo(readRaw("gloss_level", 0), 0, 10)); }
bool SettingsStore::readGlossRandom() { return readFlag("gloss_random", false); }
float SettingsStore::readLightDistance() {
    float d = static_cast<float>(readRaw("light_distance", 100) * 0.1);
    return d < 2.0f ? 2.0f : d > 30.0f ? 30.0f : d;
}
bool SettingsStore::readLight2Sides() { return readFlag("light_2_sides", true); }
int32_t SettingsStore::readMonitorMode() { return clampTo(readRaw("monitor_mode", 0), 0, 2); }
bool SettingsStore::readImageEnabled(int32_t index) {
    char name[32];
    snprintf(name, sizeof name, "image_%d", index);
    return readFlag(name, true);
}
void SettingsStore::writeGlossLevel(int32_t value) {
    SettingsBackend* b = backend();
    if (!b->openWrite()) return;
    b->set("gloss_level", value);
    b->close();
}
