// The user settings table and the conversion rules between stored values and what they mean.
#include "settings/setting_table.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr SettingWord kIntervalWords[] = {{"45", 0}, {"60", 1}, {"90", 2}, {nullptr, 0}};
constexpr SettingWord kPaletteWords[] = {{"standard", 0}, {"alternative", 1}, {"random", 2}, {"0", 0},
                                         {"1", 1},        {"2", 2},           {nullptr, 0}};
constexpr SettingWord kLightWords[] = {{"fixed", 0}, {"moving", 1}, {"random", 2}, {"0", 0},
                                       {"1", 1},     {"2", 2},      {nullptr, 0}};

using K = SettingKind;
constexpr SettingRow kRows[kSettingCount] = {
    // id, stored name, kind, default, clamped, low, high, option word, choice words, usage words
    {SettingId::detailLevel, "detail_level", K::number, 1, true, 0, 4, "detail-level", nullptr, "least to most detail"},
    {SettingId::rotationSpeed, "rotation_speed", K::number, 25, true, 10, 40, "rotation-speed", nullptr, ""},
    {SettingId::intervalOption, "interval_option", K::choice, 0, false, 0, 2, "interval", kIntervalWords,
     "seconds per image"},
    {SettingId::shuffleImages, "shuffle_images", K::flag, 0, false, 0, 1, "shuffle", nullptr, "shuffle the images"},
    {SettingId::quickDraw, "quick_draw", K::flag, 1, false, 0, 1, "quick-draw", nullptr, "one drawing pass per quad"},
    {SettingId::transpLevel, "transp_level", K::number, 10, true, 0, 40, "transparency", nullptr, ""},
    {SettingId::paletteType, "palette_type", K::choice, 2, false, 0, 2, "palette", kPaletteWords, ""},
    {SettingId::lightSource, "light_source", K::choice, 2, false, 0, 2, "light-source", kLightWords, ""},
    {SettingId::glossLevel, "gloss_level", K::number, 0, true, 0, 10, "gloss", nullptr, ""},
    {SettingId::glossRandom, "gloss_random", K::flag, 0, false, 0, 1, "gloss-random", nullptr, ""},
    {SettingId::lightDistance, "light_distance", K::tenths, 100, true, 20, 300, "light-distance", nullptr, ""},
    {SettingId::light2Sides, "light_2_sides", K::flag, 1, false, 0, 1, "light-both-sides", nullptr, ""},
    {SettingId::images, "image_", K::flag, 1, false, 0, 1, "image-", nullptr, "show or leave out image N"},
    {SettingId::monitorMode, "monitor_mode", K::number, 0, true, 0, 2, nullptr, nullptr, ""},
};

// The table is indexed by SettingId: a row out of place would give every lookup after it the wrong row.
constexpr bool rowsInIdOrder() {
    for (int i = 0; i < kSettingCount; ++i) {
        if (static_cast<int>(kRows[i].id) != i) return false;
    }
    return true;
}

}  // namespace

const SettingRow* settingTable() { return kRows; }

const SettingRow& settingRow(SettingId id) { return kRows[static_cast<int>(id)]; }

ImageSettingName::ImageSettingName(int32_t index) {
    std::snprintf(text, sizeof text, "%s%d", settingRow(SettingId::images).name, static_cast<int>(index));
}

int32_t applyReadRule(const SettingRow& row, int32_t stored) {
    if (!row.clamped) return stored;
    return stored < row.low ? row.low : (stored > row.high ? row.high : stored);
}

float distanceFromTenths(int32_t tenths) {
    const SettingRow& row = settingRow(SettingId::lightDistance);
    const float low = static_cast<float>(row.low) / 10.0f;    // 2.0, exact
    const float high = static_cast<float>(row.high) / 10.0f;  // 30.0, exact
    float distance = static_cast<float>(static_cast<double>(tenths) * 0.1);
    if (distance < low) distance = low;
    if (distance > high) distance = high;
    return distance;
}

int32_t tenthsFromDistance(float distance) {
    const float tenths = distance * 10.0f;
    if (std::isnan(tenths)) return 0;
    if (tenths >= 2147483648.0f) return INT32_MAX;
    if (tenths <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(tenths);
}

bool parseSettingWord(const SettingRow& row, const char* text, int32_t* value) {
    for (const SettingWord* w = row.words; w != nullptr && w->word != nullptr; ++w) {
        if (std::strcmp(w->word, text) == 0) {
            *value = w->value;
            return true;
        }
    }
    return false;
}

static_assert(rowsInIdOrder(), "settings table rows must follow SettingId");
