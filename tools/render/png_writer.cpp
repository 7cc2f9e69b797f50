// PNG output through libpng, with an atomic rename into place.
#include "png_writer.h"

#include <png.h>

#include <cstdio>

namespace {

struct PngFailure {
    std::string message;  // the library's last error text
};

void onPngError(png_structp png, png_const_charp message) {
    static_cast<PngFailure*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Everything that may longjmp lives here, with no C++ objects to unwind.
bool encode(std::FILE* file, int32_t width, int32_t height, png_bytep* rows, PngFailure* failure) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, onPngError, onPngWarning);
    if (png == nullptr) {
        failure->message = "cannot start the PNG encoder";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        failure->message = "cannot start the PNG encoder";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba,
              std::string* error) {
    // Top row first, alpha dropped: the frame as it looks on screen.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = &rgba[static_cast<size_t>(height - 1 - y) * width * 4];
        uint8_t* target = &rgb[static_cast<size_t>(y) * width * 3];
        for (int32_t x = 0; x < width; ++x) {
            target[x * 3 + 0] = source[x * 4 + 0];
            target[x * 3 + 1] = source[x * 4 + 1];
            target[x * 3 + 2] = source[x * 4 + 2];
        }
        rows[y] = target;
    }

    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot create " + temporary;
        return false;
    }
    PngFailure failure;
    const bool encoded = encode(file, width, height, rows.data(), &failure);
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed) {
        std::remove(temporary.c_str());
        *error = "cannot write " + path + (failure.message.empty() ? "" : ": " + failure.message);
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        *error = "cannot write " + path;
        return false;
    }
    return true;
}
