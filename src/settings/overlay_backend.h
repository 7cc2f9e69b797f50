// A settings backend that answers from a set of given values first and from another backend otherwise.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "settings/settings_backend.h"

// Values given for one run (the X11 saver's options, a tool's arguments), keyed by the store's value
// names ("detail_level", "image_3"), each in stored units (light distance in tenths).
using SettingOverrides = std::map<std::string, int32_t>;

// Lets such values reach the program through the one SettingsStore, so that its defaults, read rules
// and clamps stay the single source of truth. Reads of names present in the overrides never touch the
// fallback's data; every other read, and every write, goes to the fallback.
class OverlayBackend final : public SettingsBackend {
public:
    // Neither argument is owned; both must outlive this backend.
    OverlayBackend(const SettingOverrides& overrides, SettingsBackend& fallback)
        : overrides_(overrides), fallback_(fallback) {}

    bool openRead() override;
    bool query(const char* name, int32_t* value) override;
    bool openWrite() override;
    void set(const char* name, int32_t value) override;
    void close() override;

private:
    const SettingOverrides& overrides_;  // given values by setting name
    SettingsBackend& fallback_;          // the per-user store
    bool fallbackOpen_ = false;          // the fallback was opened by the current open*() and needs closing
};

// Stands for a store that is not read (--no-settings-file, a tool's built-in defaults): no key,
// nothing stored, and writes go nowhere.
class NoSettingsBackend final : public SettingsBackend {
public:
    bool openRead() override { return false; }
    bool query(const char*, int32_t*) override { return false; }
    bool openWrite() override { return false; }
    void set(const char*, int32_t) override {}
    void close() override {}
};
