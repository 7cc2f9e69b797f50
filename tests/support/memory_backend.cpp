// The in-memory settings backend used by tests of the rules and of everything that reads settings.
#include "support/memory_backend.h"

bool MemorySettingsBackend::openRead() {
    ++readOpens;
    if (failOpenRead || !keyExists) return false;
    if (mode_ != Mode::none) ++misuse;
    mode_ = Mode::read;
    ++openHandles;
    return true;
}

bool MemorySettingsBackend::query(const char* name, int32_t* value) {
    ++queries;
    if (mode_ != Mode::read) {
        ++misuse;
        return false;
    }
    auto it = values_.find(name);
    if (it == values_.end() || it->second.size() > 4) return false;
    uint32_t v = 0;
    for (size_t i = 0; i < it->second.size(); ++i) v |= static_cast<uint32_t>(it->second[i]) << (8 * i);
    *value = static_cast<int32_t>(v);
    return true;
}

bool MemorySettingsBackend::openWrite() {
    ++writeOpens;
    if (failOpenWrite) return false;
    if (mode_ != Mode::none) ++misuse;
    keyExists = true;
    mode_ = Mode::write;
    ++openHandles;
    return true;
}

void MemorySettingsBackend::set(const char* name, int32_t value) {
    ++sets;
    if (mode_ != Mode::write) {
        ++misuse;
        return;
    }
    store(name, value);
}

void MemorySettingsBackend::close() {
    ++closes;
    if (mode_ == Mode::none) {
        ++misuse;
        return;
    }
    mode_ = Mode::none;
    --openHandles;
}

void MemorySettingsBackend::store(const std::string& name, int32_t value) {
    uint32_t u = static_cast<uint32_t>(value);
    storeRaw(name, {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                    static_cast<uint8_t>(u >> 24)});
}

void MemorySettingsBackend::storeRaw(const std::string& name, std::vector<uint8_t> data) {
    keyExists = true;
    values_[name] = std::move(data);
}

void MemorySettingsBackend::storeString(const std::string& name, const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    storeRaw(name, std::move(data));
}

void MemorySettingsBackend::erase(const std::string& name) { values_.erase(name); }

void MemorySettingsBackend::clear() {
    values_.clear();
    keyExists = false;
}

bool MemorySettingsBackend::has(const std::string& name) const { return values_.count(name) != 0; }

int32_t MemorySettingsBackend::value(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return 0;
    uint32_t v = 0;
    for (size_t i = 0; i < it->second.size() && i < 4; ++i) v |= static_cast<uint32_t>(it->second[i]) << (8 * i);
    return static_cast<int32_t>(v);
}

void MemorySettingsBackend::resetCounters() { readOpens = writeOpens = queries = sets = closes = misuse = 0; }
