// Fuzzes the Linux saver's command line and its window ids: NUL bytes in the input separate arguments.
#include <algorithm>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "shell/x11/saver_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzArguments args(data, size, "orbivane");
    SaverOptions options;
    std::string error;
    if (parseSaverOptions(args.argc(), args.argv(), &options, &error)) {
        if (options.window == WindowChoice::windowId) FUZZ_CHECK(options.windowId != 0);
    } else {
        FUZZ_CHECK(!error.empty());
        // One printable line, whatever the arguments it quotes hold.
        FUZZ_CHECK(std::none_of(error.begin(), error.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));
    }

    // Every accepted window id is a 32-bit non-zero id that reads the same in hex and in decimal.
    for (const std::string& word : args.words()) {
        unsigned long id = 0;
        if (!parseWindowId(word.c_str(), &id)) continue;
        FUZZ_CHECK(id != 0 && id <= 0xFFFFFFFFul);
        char text[32];
        unsigned long back = 0;
        std::snprintf(text, sizeof text, "0x%lx", id);
        FUZZ_CHECK(parseWindowId(text, &back) && back == id);
        std::snprintf(text, sizeof text, "%lu", id);
        FUZZ_CHECK(parseWindowId(text, &back) && back == id);
    }
    return 0;
}
