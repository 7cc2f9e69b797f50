// An in-memory settings backend for tests: raw value data of any length, open/close counters, faults.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "settings/settings_backend.h"
#include "settings/settings_store.h"

// Behaves like the registry key: it does not exist until the first successful openWrite, values
// keep whatever bytes were stored, and a query copies at most 4 bytes into a zeroed 32-bit buffer.
class MemorySettingsBackend final : public SettingsBackend {
public:
    bool openRead() override;
    bool query(const char* name, int32_t* value) override;
    bool openWrite() override;
    void set(const char* name, int32_t value) override;
    void close() override;

    // --- direct access for tests (no counters touched) ---
    void store(const std::string& name, int32_t value);                  // as set() would: 4 bytes little-endian
    void storeRaw(const std::string& name, std::vector<uint8_t> data);   // any length, any "type"
    void storeString(const std::string& name, const std::string& text);  // text and its terminator
    void erase(const std::string& name);
    void clear();  // removes the key and every value
    bool has(const std::string& name) const;
    int32_t value(const std::string& name) const;  // first 4 bytes little-endian; 0 when missing
    const std::map<std::string, std::vector<uint8_t>>& values() const { return values_; }
    void resetCounters();

    bool keyExists = false;      // the key exists (set by the first successful openWrite or store*)
    bool failOpenRead = false;   // every openRead fails
    bool failOpenWrite = false;  // every openWrite fails (a value written then is lost)

    int readOpens = 0;    // successful and failed openRead calls
    int writeOpens = 0;   // successful and failed openWrite calls
    int queries = 0;      // query calls
    int sets = 0;         // set calls
    int closes = 0;       // close calls
    int openHandles = 0;  // successful opens not yet closed; 0 between store calls
    int misuse = 0;       // query/set without a matching open, close with nothing open

private:
    enum class Mode { none, read, write };
    Mode mode_ = Mode::none;                              // what the current open allows
    std::map<std::string, std::vector<uint8_t>> values_;  // value name -> raw data
};
