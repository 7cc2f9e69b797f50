// The user settings as one table: stored name, kind, default, range, option word and help, a row each.
#pragma once

// Plain data and plain functions only: the table is also compiled for the browser build.
#include <cstdint>

// One row per stored setting; `images` stands for the family image_0 .. image_<kImageCount - 1>.
enum class SettingId {
    detailLevel,
    rotationSpeed,
    intervalOption,
    shuffleImages,
    quickDraw,
    transpLevel,
    paletteType,
    lightSource,
    glossLevel,
    glossRandom,
    lightDistance,
    light2Sides,
    images,
    monitorMode,
};

// What the values of "monitor_mode" mean: where the saver draws when there are several monitors.
enum class MonitorMode : int32_t {
    acrossAll = 0,    // one picture across all monitors, as one screen
    primaryOnly = 1,  // the primary monitor only
    eachMonitor = 2,  // a picture on every monitor, each its own screen
};

constexpr int kSettingCount = 14;  // rows of the table, one per SettingId
constexpr int kImageCount = 5;     // built-in images, one "image_N" flag each

// How a stored 32-bit value is read and how the command line writes it.
enum class SettingKind {
    number,  // a whole number; `clamped` rows are brought into low..high when read
    flag,    // 0 off, anything else on; the missing-value marker reads as the default
    choice,  // an index into `words`, stored and read as it is
    tenths,  // a distance stored in tenths of a unit, clamped to low..high tenths when read
};

// One word the command line accepts for a choice, and the value it stands for.
struct SettingWord {
    const char* word;  // accepted spelling; a null word ends the list
    int32_t value;     // stored value
};

struct SettingRow {
    SettingId id;
    const char* name;  // value name in the store ("image_" for the image family: "image_N")
    SettingKind kind;
    int32_t defaultValue;      // in stored units (tenths for kind tenths, 0/1 for flags)
    bool clamped;              // reading brings the value into low..high
    int32_t low, high;         // range in stored units; for choices the indices of the words
    const char* option;        // X11 option word without dashes ("image-" for the family); null: none
    const SettingWord* words;  // kind choice: the accepted words, index words last; else null
    const char* help;          // the usage text's words for it; empty when its range says enough
};

// The whole table, in the order the settings dialog writes them.
const SettingRow* settingTable();
// The row of one setting.
const SettingRow& settingRow(SettingId id);

// The value name of image `index` ("image_3"); any index, so large enough for every 32-bit one.
struct ImageSettingName {
    explicit ImageSettingName(int32_t index);
    char text[32];
};

// --- conversion rules, each written once ---

// The read rule of a row: the clamp of a clamped number or tenths row; anything else passes.
int32_t applyReadRule(const SettingRow& row, int32_t stored);

// A stored light distance in tenths to the distance: the product is formed in double precision,
// rounded to single, then brought into 2.0..30.0.
float distanceFromTenths(int32_t tenths);

// A distance to the tenths that are stored: the distance times 10 in single precision, truncated
// toward zero. Tenths that do not fit 32 bits saturate; NaN gives 0.
int32_t tenthsFromDistance(float distance);

// The stored value a command-line word stands for in a choice row; false for an unknown word.
bool parseSettingWord(const SettingRow& row, const char* text, int32_t* value);
