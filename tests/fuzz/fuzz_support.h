// Helpers for the fuzz targets: turning one input into an argument vector, and failing loudly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Stops the run with a message when an invariant breaks (libFuzzer saves the input).
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// The input split at NUL bytes into arguments, after a program name, as argv would hold them.
class FuzzArguments {
public:
    FuzzArguments(const uint8_t* data, size_t size, const char* program) {
        words_.push_back(program);
        std::string word;
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == 0) {
                words_.push_back(word);
                word.clear();
            } else {
                word.push_back(static_cast<char>(data[i]));
            }
        }
        if (!word.empty() || size == 0 || data[size - 1] == 0) words_.push_back(word);
        for (const std::string& w : words_) pointers_.push_back(w.c_str());
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words_.size()); }
    const char* const* argv() const { return pointers_.data(); }
    const std::vector<std::string>& words() const { return words_; }

private:
    std::vector<std::string> words_;
    std::vector<const char*> pointers_;
};
