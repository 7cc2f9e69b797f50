// Sets a variable (a hook, a flag) for one scope and puts its earlier value back when the scope ends,
// whether the test passed, failed or returned early.
#pragma once

#include <utility>

template <class T>
class ScopedValue {
public:
    ScopedValue(T& variable, T value) : variable_(variable), previous_(std::move(variable)) {
        variable_ = std::move(value);
    }
    ~ScopedValue() { variable_ = std::move(previous_); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& variable_;
    T previous_;  // the value before this scope
};
