// Fuzzes the settings file: any bytes must read, write back unchanged, and take a new value cleanly.
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "settings/linux/file_backend.h"
#include "settings/linux/settings_lines.h"

namespace {

const char* const kNames[] = {"detail_level", "rotation_speed", "interval_option", "image_0", "image_4", "x"};

// A directory of this process's own under /tmp, removed with its file when the run ends.
char scratch[] = "/tmp/orbivane-fuzz-XXXXXX";
char scratchFile[sizeof scratch + 16];

const char* scratchPath() {
    if (scratchFile[0] == '\0') {
        if (!mkdtemp(scratch)) std::abort();
        std::snprintf(scratchFile, sizeof scratchFile, "%s/settings", scratch);
        std::atexit([] {
            unlink(scratchFile);
            rmdir(scratch);
        });
    }
    return scratchFile;
}

bool writeFile(const std::string& path, const std::string& data) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    bool ok = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    close(fd);
    return ok;
}

std::string readFile(const std::string& path) {
    std::string data;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return data;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) data.append(buffer, static_cast<size_t>(n));
    close(fd);
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The last up to 12 bytes choose a name and a value to write; the rest is the file.
    size_t tail = size < 12 ? size : 12;
    const std::string file(reinterpret_cast<const char*>(data), size - tail);
    std::string name(reinterpret_cast<const char*>(data + size - tail), tail > 4 ? tail - 4 : tail);
    name = name.c_str();  // as the C string the store passes
    uint32_t bits = 0;
    for (size_t i = size - tail; i < size && i < size - tail + 4; ++i) bits = bits * 256u + data[i];
    const int32_t value = static_cast<int32_t>(bits);

    SettingsLines lines;
    lines.parse(file);
    FUZZ_CHECK(lines.text() == file);  // reading and writing back changes nothing

    int32_t before[sizeof kNames / sizeof kNames[0]];
    bool had[sizeof kNames / sizeof kNames[0]];
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) had[i] = lines.query(kNames[i], &before[i]);

    const bool stored = lines.set(name.c_str(), value);
    int32_t read = 0;
    if (stored) {
        FUZZ_CHECK(lines.query(name.c_str(), &read) && read == value);
    }
    // Writing one name changes no other name's value, also after the text is read again.
    SettingsLines again;
    again.parse(lines.text());
    FUZZ_CHECK(again.text() == lines.text());
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
        if (stored && name == kNames[i]) continue;
        int32_t now = 0;
        bool has = again.query(kNames[i], &now);
        FUZZ_CHECK(has == had[i]);
        FUZZ_CHECK(!has || now == before[i]);
    }
    if (stored) FUZZ_CHECK(again.query(name.c_str(), &read) && read == value);

    // The same through the file backend on a real file.
    const std::string path = scratchPath();
    if (!writeFile(path, file)) return 0;
    FileSettingsBackend backend(path);
    if (backend.openRead()) {
        for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
            int32_t v = 0;
            bool has = backend.query(kNames[i], &v);
            FUZZ_CHECK(has == had[i] && (!has || v == before[i]));
        }
        backend.close();
    }
    if (backend.openWrite()) {
        backend.set(name.c_str(), value);
        backend.close();
        FUZZ_CHECK(readFile(path) == lines.text());
    }
    return 0;
}
