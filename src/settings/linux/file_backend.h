// The settings backend on Linux: one per-user file of name=value lines, replaced atomically on write.
#pragma once

#include <string>
#include <vector>

#include "settings/settings_backend.h"

// The file stands in for the registry key: a missing file is a missing key. Each line is
// "name=value" with a signed 32-bit decimal value; blank lines, "#" comments, unknown names and
// lines this program cannot parse are kept as they are when a value is written. A line that cannot
// be parsed, or a value outside 32 bits, reads as missing. When a name appears more than once the
// last line counts.
class FileSettingsBackend final : public SettingsBackend {
public:
    // Uses defaultPath(), looked up again at every open.
    FileSettingsBackend() = default;
    // Uses the given file (tests, tools); its directory is created on the first write.
    explicit FileSettingsBackend(std::string path);

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
    // Loads openPath_ into lines_; false when it cannot be read (missing counts only if allowMissing).
    bool load(bool allowMissing);
    // Writes lines_ to a temporary file beside openPath_, flushes it and renames it over the file.
    bool replaceFile() const;

    std::string path_;               // explicit file, or empty for defaultPath(); fixed for life
    enum class Mode { none, read, write };
    Mode mode_ = Mode::none;         // what the current open allows
    std::string openPath_;           // file resolved by the current open
    std::vector<std::string> lines_; // the file's lines (without their line ends) while open
};
