// Fuzzes the Windows saver's run-mode switches and window handles, compiled natively.
#include <string>

#include "fuzz_support.h"
#include "shell/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // stops at the first NUL as C does
    const RunRequest request = parseRunRequest(text.c_str());
    FUZZ_CHECK(request.mode >= RunMode::configureAlone && request.mode <= RunMode::invalid);
    if (request.mode == RunMode::configureAlone || request.mode == RunMode::fullScreen ||
        request.mode == RunMode::invalid) {
        FUZZ_CHECK(request.handle == 0);
    }

    // The handle reader against arithmetic done in 64 bits and reduced modulo 2^32.
    uint64_t expected = 0;
    for (const char* p = text.c_str(); *p >= '0' && *p <= '9'; ++p) {
        expected = (expected * 10 + static_cast<uint64_t>(*p - '0')) & 0xFFFFFFFFu;
    }
    FUZZ_CHECK(parseWindowHandle(text.c_str()) == expected);
    return 0;
}
