// Every user setting: names, defaults, read rules and writers over a platform backend.
#pragma once

#include <cstdint>

#include "settings/setting_table.h"
#include "settings/settings_backend.h"

// The single object through which every setting is read and written, by the rules of the settings
// table. Caches nothing: every read opens the key, queries one value and closes it; every write does
// the same with one value.
class SettingsStore {
public:
    // The single instance, created on first use with registryEnabled true and the platform's backend.
    static SettingsStore& instance();

    // Replaces the backend (tests, tools). The store does not own it; null restores the platform's.
    void setBackend(SettingsBackend* backend);
    // The injected backend, or null while the platform's own is in use.
    SettingsBackend* injectedBackend() const { return backend_; }

    bool registryEnabled = true;  // false: every reader returns its default; writers ignore it

    // One setting in stored units after its row's read rule (clamp, flag marker); for the image
    // family, image `index`.
    int32_t read(SettingId id, int32_t index = 0);
    // Stores one setting's value as it is (no clamp); for the image family, image `index`.
    void write(SettingId id, int32_t value, int32_t index = 0);

    // Typed readers; names, defaults and ranges are the table's.
    int32_t readDetailLevel();                           // "detail_level", 0..4, default 1
    float readRotationSpeed();                           // "rotation_speed", 10.0..40.0, default 25.0
    int32_t readIntervalOption();                        // "interval_option", unclamped, default 0
    bool readShuffleImages();                            // "shuffle_images", default false
    bool readQuickDraw();                                // "quick_draw", default true
    int32_t readTranspLevel();                           // "transp_level", 0..40, default 10
    int32_t readPaletteType();                           // "palette_type", unclamped, default 2
    int32_t readLightSource();                           // "light_source", unclamped, default 2
    float readGlossLevel();                              // "gloss_level", 0.0..10.0, default 0.0
    bool readGlossRandom();                              // "gloss_random", default false
    float readLightDistance();                           // "light_distance" in tenths -> 2.0..30.0, default 10.0
    bool readLight2Sides();                              // "light_2_sides", default true
    int32_t readMonitorMode();                           // "monitor_mode", 0..2, default 0
    bool readImageEnabled(int32_t index);                // "image_%d", default true
    bool readFlag(const char* name, bool defaultValue);  // the generic boolean reader

    void writeDetailLevel(int32_t value);
    void writeRotationSpeed(int32_t value);
    void writeIntervalOption(int32_t value);
    void writeShuffleImages(bool value);
    void writeQuickDraw(bool value);
    void writeTranspLevel(int32_t value);
    void writePaletteType(int32_t value);
    void writeLightSource(int32_t value);
    void writeGlossLevel(int32_t value);
    void writeGlossRandom(bool value);
    void writeLightDistance(float distance);  // stores trunc(distance * 10) in single precision
    void writeLight2Sides(bool value);
    void writeMonitorMode(int32_t value);
    void writeImageEnabled(int32_t index, bool value);

private:
    SettingsStore() = default;
    // Reads one stored value as a signed integer; fallback when reading is disabled, the key or the
    // value is missing, or the value's data is longer than 4 bytes.
    int32_t readRaw(const char* name, int32_t fallback);
    void writeRaw(const char* name, int32_t value);
    SettingsBackend* backend();

    SettingsBackend* backend_ = nullptr;  // injected backend, or null for the platform's own
};

// The platform's own backend (registry on Windows, per-user file on Linux); defined per platform.
SettingsBackend& platformSettingsBackend();

// Points SettingsStore::instance() at a backend for one scope and restores the previous one after;
// also restores registryEnabled.
class ScopedSettingsBackend {
public:
    explicit ScopedSettingsBackend(SettingsBackend& backend)
        : previous_(SettingsStore::instance().injectedBackend()),
          previousEnabled_(SettingsStore::instance().registryEnabled) {
        SettingsStore::instance().setBackend(&backend);
    }
    ~ScopedSettingsBackend() {
        SettingsStore::instance().setBackend(previous_);
        SettingsStore::instance().registryEnabled = previousEnabled_;
    }
    ScopedSettingsBackend(const ScopedSettingsBackend&) = delete;
    ScopedSettingsBackend& operator=(const ScopedSettingsBackend&) = delete;

private:
    SettingsBackend* previous_;  // backend in use before this scope (null: the platform's)
    bool previousEnabled_;       // registryEnabled before this scope
};
