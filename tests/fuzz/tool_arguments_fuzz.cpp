// Fuzzes the argument parsers of orbivane-tube and orbivane-render: NUL bytes separate arguments.
#include <string>

#include "fuzz_support.h"
#include "render_options.h"
#include "tube_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzArguments tubeArgs(data, size, "orbivane-tube");
    TubeOptions tube;
    const int code = parseTubeArguments(tubeArgs.argc(), tubeArgs.argv(), tube);
    FUZZ_CHECK(code == -1 || code == 0 || code == kExitUsage);
    if (code == -1) {
        FUZZ_CHECK(tube.view >= 0 && tube.view <= 4);
        FUZZ_CHECK(tube.detail >= 0.1f && tube.detail <= 4.0f);
        FUZZ_CHECK(tube.draw >= 0 && tube.draw <= 32767);
        FUZZ_CHECK(tube.variant >= 0 && tube.variant <= 2);
        FUZZ_CHECK(tube.csv.empty() || tube.csv != tube.ringsCsv);
    }

    FuzzArguments renderArgs(data, size, "orbivane-render");
    RenderOptions render;
    std::string error;
    if (parseRenderArguments(renderArgs.argc(), renderArgs.argv(), &render, &error)) {
        FUZZ_CHECK(render.view >= 0 && render.view <= 4);
        FUZZ_CHECK(render.detail >= -1 && render.detail <= 4);
        FUZZ_CHECK(render.width >= 1 && render.width <= 8192 && render.height >= 1 && render.height <= 8192);
        FUZZ_CHECK(render.ticks >= 0 && render.seed >= 0 && !render.out.empty());
        FUZZ_CHECK(render.frames >= 1 && render.frames <= 1000000);
        FUZZ_CHECK(render.submit == "immediate" || render.submit == "arrays" || render.submit == "buffers");
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
