// A settings backend that answers from the command line first and from the per-user store otherwise.
#pragma once

#include <cstdint>

#include "settings/settings_backend.h"
#include "shell/x11/saver_options.h"

// Lets command-line values reach the saver through the one SettingsStore, so that its defaults,
// read rules and clamps stay the single source of truth. Reads of names present in the overrides
// never touch the fallback's data; every other read, and every write, goes to the fallback.
class OptionOverlayBackend final : public SettingsBackend {
public:
    // Neither argument is owned; both must outlive this backend.
    OptionOverlayBackend(const SettingOverrides& overrides, SettingsBackend& fallback)
        : overrides_(overrides), fallback_(fallback) {}

    bool openRead() override;
    bool query(const char* name, int32_t* value) override;
    bool openWrite() override;
    void set(const char* name, int32_t value) override;
    void close() override;

private:
    const SettingOverrides& overrides_;  // command-line values by setting name
    SettingsBackend& fallback_;          // the per-user store
    bool fallbackOpen_ = false;          // the fallback was opened by the current open*() and needs closing
};

// Stands for a settings file that is not read (--no-settings-file): no key, nothing stored, and
// writes go nowhere.
class NoSettingsBackend final : public SettingsBackend {
public:
    bool openRead() override { return false; }
    bool query(const char*, int32_t*) override { return false; }
    bool openWrite() override { return false; }
    void set(const char*, int32_t) override {}
    void close() override {}
};
