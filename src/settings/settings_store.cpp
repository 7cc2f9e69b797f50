// The settings rules: value names, defaults, clamps and the boolean marker, over a storage backend.
#include "settings/settings_store.h"

#include <cmath>
#include <cstdio>

namespace {

// Candidate a boolean reader gets when the key or the value cannot be read; also read as "missing"
// when it is actually stored.
constexpr int32_t kMissingFlag = 0x7FFFFFFF;

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Clamps in the integer domain first, then converts: the stored steps are whole numbers.
float clampToFloat(int32_t v, int32_t lo, int32_t hi) {
    return static_cast<float>(clampInt(v, lo, hi));
}

// "image_%d" for one image index; large enough for any 32-bit index.
struct ImageName {
    explicit ImageName(int32_t index) { std::snprintf(text, sizeof text, "image_%d", static_cast<int>(index)); }
    char text[32];
};

}  // namespace

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}

void SettingsStore::setBackend(SettingsBackend* backend) { backend_ = backend; }

SettingsBackend* SettingsStore::backend() {
    return backend_ ? backend_ : &platformSettingsBackend();
}

int32_t SettingsStore::readRaw(const char* name, int32_t fallback) {
    if (!registryEnabled) return fallback;
    SettingsBackend* b = backend();
    if (!b->openRead()) return fallback;
    int32_t value = 0;
    if (!b->query(name, &value)) value = fallback;
    b->close();
    return value;
}

void SettingsStore::writeRaw(const char* name, int32_t value) {
    SettingsBackend* b = backend();
    if (!b->openWrite()) return;
    b->set(name, value);
    b->close();
}

bool SettingsStore::readFlag(const char* name, bool defaultValue) {
    int32_t v = readRaw(name, kMissingFlag);
    if (v == kMissingFlag) return defaultValue;
    return v != 0;
}

int32_t SettingsStore::readDetailLevel() { return clampInt(readRaw("detail_level", 1), 0, 4); }
float SettingsStore::readRotationSpeed() { return clampToFloat(readRaw("rotation_speed", 25), 10, 40); }
int32_t SettingsStore::readIntervalOption() { return readRaw("interval_option", 0); }
bool SettingsStore::readShuffleImages() { return readFlag("shuffle_images", false); }
bool SettingsStore::readQuickDraw() { return readFlag("quick_draw", true); }
int32_t SettingsStore::readTranspLevel() { return clampInt(readRaw("transp_level", 10), 0, 40); }
int32_t SettingsStore::readPaletteType() { return readRaw("palette_type", 2); }
int32_t SettingsStore::readLightSource() { return readRaw("light_source", 2); }
float SettingsStore::readGlossLevel() { return clampToFloat(readRaw("gloss_level", 0), 0, 10); }
bool SettingsStore::readGlossRandom() { return readFlag("gloss_random", false); }
bool SettingsStore::readLight2Sides() { return readFlag("light_2_sides", true); }
int32_t SettingsStore::readMonitorMode() { return clampInt(readRaw("monitor_mode", 0), 0, 2); }

bool SettingsStore::readImageEnabled(int32_t index) {
    return readFlag(ImageName(index).text, true);
}

float SettingsStore::readLightDistance() {
    // Stored in tenths; the product is formed in double precision, then rounded to single.
    int32_t stored = readRaw("light_distance", 100);
    float distance = static_cast<float>(static_cast<double>(stored) * 0.1);
    if (distance < 2.0f) distance = 2.0f;
    if (distance > 30.0f) distance = 30.0f;
    return distance;
}

void SettingsStore::writeDetailLevel(int32_t value) { writeRaw("detail_level", value); }
void SettingsStore::writeRotationSpeed(int32_t value) { writeRaw("rotation_speed", value); }
void SettingsStore::writeIntervalOption(int32_t value) { writeRaw("interval_option", value); }
void SettingsStore::writeShuffleImages(bool value) { writeRaw("shuffle_images", value ? 1 : 0); }
void SettingsStore::writeQuickDraw(bool value) { writeRaw("quick_draw", value ? 1 : 0); }
void SettingsStore::writeTranspLevel(int32_t value) { writeRaw("transp_level", value); }
void SettingsStore::writePaletteType(int32_t value) { writeRaw("palette_type", value); }
void SettingsStore::writeLightSource(int32_t value) { writeRaw("light_source", value); }
void SettingsStore::writeGlossLevel(int32_t value) { writeRaw("gloss_level", value); }
void SettingsStore::writeGlossRandom(bool value) { writeRaw("gloss_random", value ? 1 : 0); }
void SettingsStore::writeLight2Sides(bool value) { writeRaw("light_2_sides", value ? 1 : 0); }
void SettingsStore::writeMonitorMode(int32_t value) { writeRaw("monitor_mode", value); }

void SettingsStore::writeImageEnabled(int32_t index, bool value) {
    writeRaw(ImageName(index).text, value ? 1 : 0);
}

void SettingsStore::writeLightDistance(float distance) {
    // Tenths, multiplied in single precision and truncated toward zero. A distance whose tenths do
    // not fit 32 bits (or NaN) would make the conversion undefined: saturate instead (NaN stores 0).
    float tenths = distance * 10.0f;
    int32_t stored;
    if (std::isnan(tenths)) {
        stored = 0;
    } else if (tenths >= 2147483648.0f) {
        stored = INT32_MAX;
    } else if (tenths <= -2147483648.0f) {
        stored = INT32_MIN;
    } else {
        stored = static_cast<int32_t>(tenths);
    }
    writeRaw("light_distance", stored);
}
