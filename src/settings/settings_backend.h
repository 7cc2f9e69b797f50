// The five storage operations the settings rules need; one implementation per platform, one for tests.
#pragma once

#include <cstdint>

// A per-user store of named signed 32-bit values under one key.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // Opens the key for reading. False when it does not exist or cannot be opened; never creates it.
    virtual bool openRead() = 0;
    // Queries one value of at most 4 bytes into *value (little-endian, missing upper bytes 0).
    // False when the value is missing or its data is longer than 4 bytes.
    virtual bool query(const char* name, int32_t* value) = 0;
    // Creates or opens the key for writing. False when that fails.
    virtual bool openWrite() = 0;
    // Sets one value as a 32-bit integer. Failures are not reported.
    virtual void set(const char* name, int32_t value) = 0;
    // Closes whatever open*() opened.
    virtual void close() = 0;
};
