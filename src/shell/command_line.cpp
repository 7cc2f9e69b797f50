// Reading the saver's run-mode switches and decimal window handles.
#include "shell/command_line.h"

namespace {

const char* skipSpaces(const char* p) {
    while (*p == ' ') ++p;
    return p;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

RunRequest parseRunRequest(const char* p) {
    for (;; ++p) {
        switch (*p) {
        case '\0':
            return {RunMode::configureAlone, 0};
        case ' ':
        case '-':
        case '/':
            continue;
        case 'a':
        case 'A':
            return {RunMode::changePassword, parseWindowHandle(skipSpaces(p + 1))};
        case 'c':
        case 'C':
            return {RunMode::configure, p[1] == ':' ? parseWindowHandle(p + 2) : 0};
        case 'p':
        case 'P':
        case 'l':
        case 'L':
            return {RunMode::preview, parseWindowHandle(skipSpaces(p + 1))};
        case 's':
        case 'S':
            return {RunMode::fullScreen, 0};
        default:
            return {RunMode::invalid, 0};
        }
    }
}

uint32_t parseWindowHandle(const char* text) {
    uint32_t value = 0;
    for (; isDigit(*text); ++text) value = value * 10u + static_cast<uint32_t>(*text - '0');
    return value;
}
