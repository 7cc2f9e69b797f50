// Parsing, lookup and in-place editing of the Linux settings file's name=value lines.
#include "settings/linux/settings_lines.h"

#include <cstring>

namespace {

const char kBom[] = "\xEF\xBB\xBF";

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

// Parses the decimal value after the first '=': optional sign, digits, optional blanks around them
// (carriage returns count as trailing blanks, for files that went through a line-end conversion
// twice). False for anything else and for values outside the signed 32-bit range.
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
    while (i < line.size() && (isBlank(line[i]) || line[i] == '\r')) ++i;
    if (i != line.size()) return false;
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// A name the line format can carry and read back unchanged.
bool validName(const char* name) {
    if (!name || !*name || isBlank(name[0]) || name[0] == '#') return false;
    if (std::strncmp(name, kBom, 3) == 0) return false;  // would read back as a byte order mark
    size_t n = std::strlen(name);
    if (isBlank(name[n - 1])) return false;
    return std::strpbrk(name, "=\n\r") == nullptr;
}

}  // namespace

void SettingsLines::parse(const std::string& data) {
    lines_.clear();
    size_t start = 0;
    bom_ = data.compare(0, 3, kBom) == 0;
    if (bom_) start = 3;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        Line line;
        if (end == std::string::npos) {
            line.body = data.substr(start);
            start = data.size();
        } else {
            line.body = data.substr(start, end - start);
            line.ending = "\n";
            if (!line.body.empty() && line.body.back() == '\r') {
                line.body.pop_back();
                line.ending = "\r\n";
            }
            start = end + 1;
        }
        lines_.push_back(std::move(line));
    }
}

std::string SettingsLines::text() const {
    std::string data = bom_ ? kBom : "";
    for (const Line& line : lines_) data += line.body + line.ending;
    return data;
}

bool SettingsLines::query(const char* name, int32_t* value) const {
    if (!name) return false;
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (lineName(it->body) == name) return lineValue(it->body, value);
    }
    return false;
}

bool SettingsLines::set(const char* name, int32_t value) {
    if (!validName(name)) return false;
    std::string body = std::string(name) + "=" + std::to_string(value);
    bool placed = false;
    for (size_t i = 0; i < lines_.size();) {
        if (lineName(lines_[i].body) != name) {
            ++i;
        } else if (!placed) {
            lines_[i++].body = body;
            placed = true;
        } else {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (placed) return true;
    // A new line takes the ending the file already uses, and ends the line before it if needed.
    std::string ending = "\n";
    for (const Line& line : lines_) {
        if (!line.ending.empty()) {
            ending = line.ending;
            break;
        }
    }
    if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = ending;
    lines_.push_back({body, ending});
    return true;
}
