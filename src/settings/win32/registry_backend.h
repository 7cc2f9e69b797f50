// The settings backend on Windows: REG_DWORD values under one key of HKEY_CURRENT_USER.
#pragma once

#include <string>

#include "settings/settings_backend.h"

// Reads never create the key; writes create it. No handle survives a close().
class RegistrySettingsBackend final : public SettingsBackend {
public:
    // subkey: path under HKEY_CURRENT_USER; tests use a throw-away one.
    explicit RegistrySettingsBackend(std::string subkey = "Software\\Orbivane");
    ~RegistrySettingsBackend() override;

    bool openRead() override;
    bool query(const char* name, int32_t* value) override;
    bool openWrite() override;
    void set(const char* name, int32_t value) override;
    void close() override;

    const std::string& subkey() const { return subkey_; }

private:
    std::string subkey_;   // key path under HKEY_CURRENT_USER, fixed for the backend's life
    void* key_ = nullptr;  // open HKEY between open*() and close(), else null
};
