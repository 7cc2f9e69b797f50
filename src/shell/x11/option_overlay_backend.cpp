// A settings backend that answers from the command line first and from the per-user store otherwise.
#include "shell/x11/option_overlay_backend.h"

bool OptionOverlayBackend::openRead() {
    fallbackOpen_ = fallback_.openRead();
    // Open whenever there is anything to answer: a missing settings file must not hide the options.
    return fallbackOpen_ || !overrides_.empty();
}

bool OptionOverlayBackend::query(const char* name, int32_t* value) {
    auto it = overrides_.find(name);
    if (it != overrides_.end()) {
        *value = it->second;
        return true;
    }
    return fallbackOpen_ && fallback_.query(name, value);
}

bool OptionOverlayBackend::openWrite() {
    fallbackOpen_ = fallback_.openWrite();
    return fallbackOpen_;
}

void OptionOverlayBackend::set(const char* name, int32_t value) { fallback_.set(name, value); }

void OptionOverlayBackend::close() {
    if (fallbackOpen_) fallback_.close();
    fallbackOpen_ = false;
}
