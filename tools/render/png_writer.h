// Writes an RGBA frame (bottom row first, as GL leaves it) to a PNG file as 8-bit RGB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes to a temporary file beside `path` and renames it into place, so a failure leaves no partial
// file. On failure returns false with a one-line reason in *error.
bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba,
              std::string* error);
