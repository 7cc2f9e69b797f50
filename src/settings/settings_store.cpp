// The settings rules of the settings table (defaults, clamps, the boolean marker) over a storage backend.
#include "settings/settings_store.h"

namespace {

// Candidate a boolean reader gets when the key or the value cannot be read; also read as "missing"
// when it is actually stored.
constexpr int32_t kMissingFlag = 0x7FFFFFFF;

// The value name of a row, or of image `index` for the image family.
struct ValueName {
    ValueName(SettingId id, int32_t index)
        : image(index), text(id == SettingId::images ? image.text : settingRow(id).name) {}
    ImageSettingName image;
    const char* text;
};

}  // namespace

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}

void SettingsStore::setBackend(SettingsBackend* backend) { backend_ = backend; }

SettingsBackend* SettingsStore::backend() { return backend_ ? backend_ : &platformSettingsBackend(); }

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

int32_t SettingsStore::read(SettingId id, int32_t index) {
    const SettingRow& row = settingRow(id);
    const ValueName name(id, index);
    if (row.kind == SettingKind::flag) return readFlag(name.text, row.defaultValue != 0) ? 1 : 0;
    return applyReadRule(row, readRaw(name.text, row.defaultValue));
}

void SettingsStore::write(SettingId id, int32_t value, int32_t index) { writeRaw(ValueName(id, index).text, value); }

int32_t SettingsStore::readDetailLevel() { return read(SettingId::detailLevel); }
float SettingsStore::readRotationSpeed() { return static_cast<float>(read(SettingId::rotationSpeed)); }
int32_t SettingsStore::readIntervalOption() { return read(SettingId::intervalOption); }
bool SettingsStore::readShuffleImages() { return read(SettingId::shuffleImages) != 0; }
bool SettingsStore::readQuickDraw() { return read(SettingId::quickDraw) != 0; }
int32_t SettingsStore::readTranspLevel() { return read(SettingId::transpLevel); }
int32_t SettingsStore::readPaletteType() { return read(SettingId::paletteType); }
int32_t SettingsStore::readLightSource() { return read(SettingId::lightSource); }
float SettingsStore::readGlossLevel() { return static_cast<float>(read(SettingId::glossLevel)); }
bool SettingsStore::readGlossRandom() { return read(SettingId::glossRandom) != 0; }
bool SettingsStore::readLight2Sides() { return read(SettingId::light2Sides) != 0; }
int32_t SettingsStore::readMonitorMode() { return read(SettingId::monitorMode); }
bool SettingsStore::readImageEnabled(int32_t index) { return read(SettingId::images, index) != 0; }

float SettingsStore::readLightDistance() {
    const SettingRow& row = settingRow(SettingId::lightDistance);
    return distanceFromTenths(readRaw(row.name, row.defaultValue));
}

void SettingsStore::writeDetailLevel(int32_t value) { write(SettingId::detailLevel, value); }
void SettingsStore::writeRotationSpeed(int32_t value) { write(SettingId::rotationSpeed, value); }
void SettingsStore::writeIntervalOption(int32_t value) { write(SettingId::intervalOption, value); }
void SettingsStore::writeShuffleImages(bool value) { write(SettingId::shuffleImages, value ? 1 : 0); }
void SettingsStore::writeQuickDraw(bool value) { write(SettingId::quickDraw, value ? 1 : 0); }
void SettingsStore::writeTranspLevel(int32_t value) { write(SettingId::transpLevel, value); }
void SettingsStore::writePaletteType(int32_t value) { write(SettingId::paletteType, value); }
void SettingsStore::writeLightSource(int32_t value) { write(SettingId::lightSource, value); }
void SettingsStore::writeGlossLevel(int32_t value) { write(SettingId::glossLevel, value); }
void SettingsStore::writeGlossRandom(bool value) { write(SettingId::glossRandom, value ? 1 : 0); }
void SettingsStore::writeLight2Sides(bool value) { write(SettingId::light2Sides, value ? 1 : 0); }
void SettingsStore::writeMonitorMode(int32_t value) { write(SettingId::monitorMode, value); }
void SettingsStore::writeLightDistance(float distance) {
    write(SettingId::lightDistance, tenthsFromDistance(distance));
}

void SettingsStore::writeImageEnabled(int32_t index, bool value) { write(SettingId::images, value ? 1 : 0, index); }
