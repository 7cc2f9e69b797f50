// Per-user settings file for the Linux build: parsing, lookup and atomic replacement.
#include "settings/linux/file_backend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The line's name (text before the first '=', blanks trimmed), or empty for blank lines, comments
// and lines without '='.
std::string lineName(const std::string& line) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return {};
    size_t b = 0;
    while (b < eq && isBlank(line[b])) ++b;
    if (b < eq && line[b] == '#') return {};
    size_t e = eq;
    while (e > b && isBlank(line[e - 1])) --e;
    return line.substr(b, e - b);
}

// Parses the decimal value after the first '=': optional sign, digits, optional surrounding blanks.
// False for anything else and for values outside the signed 32-bit range.
bool lineValue(const std::string& line, int32_t* value) {
    size_t i = line.find('=');
    if (i == std::string::npos) return false;
    ++i;
    while (i < line.size() && isBlank(line[i])) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
    size_t digits = 0;
    int64_t magnitude = 0;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i, ++digits) {
        magnitude = magnitude * 10 + (line[i] - '0');
        if (magnitude > limit) return false;
    }
    if (digits == 0) return false;
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i != line.size()) return false;
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// A name the line format can carry and read back unchanged.
bool validName(const char* name) {
    if (!name || !*name || isBlank(name[0]) || name[0] == '#') return false;
    size_t n = std::strlen(name);
    if (isBlank(name[n - 1])) return false;
    return std::strpbrk(name, "=\n\r") == nullptr;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Creates the directory and its missing parents (mode 0700, as for any per-user configuration).
bool makeDirectories(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string parent = directoryOf(dir);
    if (parent != dir && !makeDirectories(parent)) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FileSettingsBackend::FileSettingsBackend(std::string path) : path_(std::move(path)) {}

std::string FileSettingsBackend::defaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/orbivane/settings";
    const char* home = std::getenv("HOME");
    std::string base;
    if (home && home[0] == '/') {
        base = home;
    } else if (struct passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
        base = pw->pw_dir;
    } else {
        return {};
    }
    return base + "/.config/orbivane/settings";
}

bool FileSettingsBackend::load(bool allowMissing) {
    lines_.clear();
    int fd = ::open(openPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return allowMissing && errno == ENOENT;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string data;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            lines_.clear();
            return false;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

bool FileSettingsBackend::openRead() {
    close();
    openPath_ = path_.empty() ? defaultPath() : path_;
    if (openPath_.empty() || !load(false)) return false;
    mode_ = Mode::read;
    return true;
}

bool FileSettingsBackend::query(const char* name, int32_t* value) {
    if (mode_ != Mode::read || !name) return false;
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (lineName(*it) == name) return lineValue(*it, value);
    }
    return false;
}

bool FileSettingsBackend::openWrite() {
    close();
    openPath_ = path_.empty() ? defaultPath() : path_;
    if (openPath_.empty() || !makeDirectories(directoryOf(openPath_))) return false;
    // A file that exists but cannot be read is left alone rather than replaced without its lines.
    if (!load(true)) return false;
    mode_ = Mode::write;
    return true;
}

void FileSettingsBackend::set(const char* name, int32_t value) {
    if (mode_ != Mode::write || !validName(name)) return;
    std::string line = std::string(name) + "=" + std::to_string(value);
    bool placed = false;
    for (size_t i = 0; i < lines_.size();) {
        if (lineName(lines_[i]) != name) {
            ++i;
        } else if (!placed) {
            lines_[i++] = line;
            placed = true;
        } else {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (!placed) lines_.push_back(line);
    if (!replaceFile()) load(true);  // keep what is on disk as the state of this open
}

void FileSettingsBackend::close() {
    mode_ = Mode::none;
    lines_.clear();
    openPath_.clear();
}

bool FileSettingsBackend::replaceFile() const {
    std::string data;
    for (const std::string& line : lines_) data += line + "\n";
    std::string dir = directoryOf(openPath_);
    std::string temp = dir + "/.settings.XXXXXX";
    int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = writeAll(fd, data) && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = rename(temp.c_str(), openPath_.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return true;
}

SettingsBackend& platformSettingsBackend() {
    static FileSettingsBackend backend;
    return backend;
}
