// The text of the Linux settings file: name=value lines kept byte for byte, looked up and edited in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One file's lines. Each line is "name=value" with a signed 32-bit decimal value and optional blanks
// around the name and the value; blank lines, "#" comment lines, unknown names and lines that cannot
// be parsed are kept as they are. A comment must have a line of its own: text after a value makes
// the line unreadable. A line that cannot be parsed, or a value outside 32 bits, reads as missing.
// When a name appears more than once the last line counts. Every line keeps its own ending ("\n",
// "\r\n", or none on the last line), and a leading UTF-8 byte order mark is accepted and kept, so
// text() gives back exactly what parse() was given until set() changes a line.
class SettingsLines {
public:
    // Replaces the content with the given file text.
    void parse(const std::string& data);
    // The file text: the byte order mark if one was read, then every line with its ending.
    std::string text() const;
    // The value of the last line for name; false when there is none or it cannot be parsed.
    bool query(const char* name, int32_t* value) const;
    // Rewrites the first line for name in place (keeping its ending) and drops the others, or appends
    // a line. False, with nothing changed, for a name the format cannot carry ('=', line ends, leading
    // '#' or byte order mark, surrounding blanks, empty).
    bool set(const char* name, int32_t value);

private:
    struct Line {
        std::string body;    // the line without its ending
        std::string ending;  // "\n", "\r\n" or "" (a last line without one)
    };
    bool bom_ = false;  // the text started with EF BB BF
    std::vector<Line> lines_;
};
