// Per-user settings file for the Linux build: safe opening, locking and atomic replacement.
#include "settings/linux/file_backend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr int kMaxLinkHops = 40;         // as the kernel's own limit on a path's symbolic links
constexpr long kLockWaitMs = 5000;       // longest wait for another writer, in milliseconds
constexpr size_t kTempSuffixLength = 6;  // the XXXXXX of the temporary file's name

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links at the path's last component to the file they name (which may not exist
// yet). False for a loop or an unreadable link.
bool followLinks(std::string path, std::string* target) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = std::move(path);
            return true;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = readlink(path.c_str(), &link[0], link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return false;
        link.resize(static_cast<size_t>(n));
        path = link[0] == '/' ? link : directoryOf(path) + "/" + link;
    }
    return false;
}

// Creates the directory and its missing parents (mode 0700, as for any per-user configuration).
bool makeDirectories(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string parent = directoryOf(dir);
    if (parent != dir && !makeDirectories(parent)) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Opens path for reading only when it is a regular file; never waits on a pipe or a device.
int openRegularFile(const std::string& path, int flags) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool readAll(int fd, std::string* data) {
    data->clear();
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        data->append(buffer, static_cast<size_t>(n));
    }
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

long long nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void pauseMs(long ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {}
}

}  // namespace

FileSettingsBackend::FileSettingsBackend(std::string path) : path_(std::move(path)) {}

FileSettingsBackend::~FileSettingsBackend() { close(); }

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

bool FileSettingsBackend::openRead() {
    close();
    openPath_ = path_.empty() ? defaultPath() : path_;
    if (openPath_.empty()) return false;
    int fd = openRegularFile(openPath_, O_RDONLY);
    if (fd < 0) return false;
    std::string data;
    bool ok = readAll(fd, &data);
    ::close(fd);
    if (!ok) return false;
    lines_.parse(data);
    mode_ = Mode::read;
    return true;
}

bool FileSettingsBackend::query(const char* name, int32_t* value) {
    return mode_ == Mode::read && lines_.query(name, value);
}

bool FileSettingsBackend::openWrite() {
    close();
    std::string path = path_.empty() ? defaultPath() : path_;
    if (path.empty() || !followLinks(path, &openPath_)) return false;
    if (!makeDirectories(directoryOf(openPath_)) || !lockAndLoad()) {
        close();
        return false;
    }
    if (locked_) removeStaleTemporaries();
    mode_ = Mode::write;
    return true;
}

bool FileSettingsBackend::lockAndLoad() {
    const long long deadline = nowMs() + kLockWaitMs;
    long pause = 1;
    for (;;) {
        int fd = openRegularFile(openPath_, O_RDWR | O_CREAT | O_NOFOLLOW);
        if (fd < 0) return false;
        struct stat st;
        // A file no one may write is the user's way to keep it as it is.
        if (fstat(fd, &st) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            ::close(fd);
            return false;
        }
        bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno == EWOULDBLOCK) {
            ::close(fd);
            if (nowMs() >= deadline) return false;
            pauseMs(pause);
            pause = pause < 32 ? pause * 2 : pause;
            continue;
        }
        // Another writer may have replaced the file between our open and our lock: start again.
        struct stat current;
        if (stat(openPath_.c_str(), &current) != 0 || current.st_ino != st.st_ino || current.st_dev != st.st_dev) {
            ::close(fd);
            if (nowMs() >= deadline) return false;
            continue;
        }
        std::string data;
        if (!readAll(fd, &data)) {
            ::close(fd);
            return false;
        }
        lines_.parse(data);
        lockFd_ = fd;
        locked_ = locked;  // a file system without locks still gets the atomic replacement
        fileMode_ = st.st_mode & 07777;
        return true;
    }
}

void FileSettingsBackend::removeStaleTemporaries() const {
    // Every writer of this file holds its lock while its temporary file exists, so with the lock
    // held any temporary file of ours is left over from a write that was killed.
    const std::string dir = directoryOf(openPath_);
    const std::string prefix = "." + baseNameOf(openPath_) + ".";
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + kTempSuffixLength || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        struct stat st;
        const std::string full = dir + "/" + name;
        if (lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) unlink(full.c_str());
    }
    closedir(d);
}

void FileSettingsBackend::set(const char* name, int32_t value) {
    if (mode_ != Mode::write || !lines_.set(name, value)) return;
    if (replaceFile()) return;
    // Keep what is on disk as the state of this open.
    std::string data;
    if (lseek(lockFd_, 0, SEEK_SET) == 0 && readAll(lockFd_, &data)) lines_.parse(data);
}

void FileSettingsBackend::close() {
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
    lockFd_ = -1;
    locked_ = false;
    mode_ = Mode::none;
    lines_ = SettingsLines();
    openPath_.clear();
}

bool FileSettingsBackend::replaceFile() {
    const std::string dir = directoryOf(openPath_);
    std::string temp = dir + "/." + baseNameOf(openPath_) + ".XXXXXX";
    int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) return false;
    // The new file is locked before it takes the name, so a waiting writer never finds it unlocked.
    bool ok = fchmod(fd, fileMode_) == 0 && writeAll(fd, lines_.text()) && fsync(fd) == 0;
    if (ok && locked_) ok = flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (ok) ok = rename(temp.c_str(), openPath_.c_str()) == 0;
    if (!ok) {
        ::close(fd);
        unlink(temp.c_str());
        return false;
    }
    ::close(lockFd_);
    lockFd_ = fd;
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
