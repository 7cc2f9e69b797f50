// The settings backend on Linux: one per-user file of name=value lines, replaced atomically on write.
#pragma once

#include <string>
#include <sys/types.h>

#include "settings/linux/settings_lines.h"
#include "settings/settings_backend.h"

// The file stands in for the registry key: a missing file is a missing key. Its format is
// SettingsLines'. Only a regular file is ever opened (never a pipe or a device, which could block);
// a symbolic link at the path is followed and its target written. A write holds an exclusive lock on
// the file from openWrite() to close(), reads the file under it, and replaces it through a temporary
// file beside it that takes the old file's permissions; a file nobody may write is left alone.
class FileSettingsBackend final : public SettingsBackend {
public:
    // Uses defaultPath(), looked up again at every open.
    FileSettingsBackend() = default;
    // Uses the given file (tests, tools); its directory is created on the first write.
    explicit FileSettingsBackend(std::string path);
    ~FileSettingsBackend() override;
    FileSettingsBackend(const FileSettingsBackend&) = delete;
    FileSettingsBackend& operator=(const FileSettingsBackend&) = delete;

    // $XDG_CONFIG_HOME/orbivane/settings when that variable holds an absolute path, otherwise
    // $HOME/.config/orbivane/settings (home from the password database when HOME is unset or
    // relative); empty when no home can be found.
    static std::string defaultPath();

    bool openRead() override;
    bool query(const char* name, int32_t* value) override;
    bool openWrite() override;
    void set(const char* name, int32_t value) override;
    void close() override;

private:
    // Opens, locks and reads the file at openPath_ (creating it empty when missing) into lines_.
    bool lockAndLoad();
    // Removes temporary files that writes killed part-way left beside openPath_ (lock held).
    void removeStaleTemporaries() const;
    // Writes lines_ to a temporary file beside openPath_, flushes it and renames it over the file;
    // the lock moves to the new file.
    bool replaceFile();

    std::string path_;  // explicit file, or empty for defaultPath(); fixed for life
    enum class Mode { none, read, write };
    Mode mode_ = Mode::none;  // what the current open allows
    std::string openPath_;    // file resolved by the current open (symbolic links followed)
    SettingsLines lines_;     // the file's lines while open
    int lockFd_ = -1;         // while open for writing: the locked file, else -1
    bool locked_ = false;     // the file system honoured the lock
    mode_t fileMode_ = 0600;  // permission bits the replacement file takes
};
