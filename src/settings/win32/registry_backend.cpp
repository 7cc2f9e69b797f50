// Registry storage of the settings: HKEY_CURRENT_USER\Software\Orbivane, one REG_DWORD per setting.
#include "settings/win32/registry_backend.h"

#include <windows.h>

#include <utility>

RegistrySettingsBackend::RegistrySettingsBackend(std::string subkey) : subkey_(std::move(subkey)) {}

RegistrySettingsBackend::~RegistrySettingsBackend() { close(); }

bool RegistrySettingsBackend::openRead() {
    close();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    key_ = key;
    return true;
}

bool RegistrySettingsBackend::query(const char* name, int32_t* value) {
    if (!key_) return false;
    // A zeroed 4-byte buffer; the stored type is not checked, shorter data leaves the upper bytes 0,
    // longer data fails the query.
    BYTE buffer[4] = {0, 0, 0, 0};
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(static_cast<HKEY>(key_), name, nullptr, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return false;
    }
    *value = static_cast<int32_t>(static_cast<uint32_t>(buffer[0]) | (static_cast<uint32_t>(buffer[1]) << 8) |
                                  (static_cast<uint32_t>(buffer[2]) << 16) | (static_cast<uint32_t>(buffer[3]) << 24));
    return true;
}

bool RegistrySettingsBackend::openWrite() {
    close();
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    key_ = key;
    return true;
}

void RegistrySettingsBackend::set(const char* name, int32_t value) {
    if (!key_) return;
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(static_cast<HKEY>(key_), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

void RegistrySettingsBackend::close() {
    if (!key_) return;
    RegCloseKey(static_cast<HKEY>(key_));
    key_ = nullptr;
}

SettingsBackend& platformSettingsBackend() {
    static RegistrySettingsBackend backend;
    return backend;
}
