// A settings backend that answers from a set of given values first and from another backend otherwise.
#include "settings/overlay_backend.h"

bool OverlayBackend::openRead() {
    fallbackOpen_ = fallback_.openRead();
    // Open whenever there is anything to answer: a missing settings file must not hide the options.
    return fallbackOpen_ || !overrides_.empty();
}

bool OverlayBackend::query(const char* name, int32_t* value) {
    auto it = overrides_.find(name);
    if (it != overrides_.end()) {
        *value = it->second;
        return true;
    }
    return fallbackOpen_ && fallback_.query(name, value);
}

bool OverlayBackend::openWrite() {
    fallbackOpen_ = fallback_.openWrite();
    return fallbackOpen_;
}

void OverlayBackend::set(const char* name, int32_t value) { fallback_.set(name, value); }

void OverlayBackend::close() {
    if (fallbackOpen_) fallback_.close();
    fallbackOpen_ = false;
}
