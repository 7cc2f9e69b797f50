// orbivane-tube's command line: the options and their checks, apart from the program so tests can call them.
#include "tube_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fractal/view_table.h"

namespace {

const char kUsage[] =
    "usage: orbivane-tube [--view K] [--detail D] [--draw N] [--no-bake] [--palette-shift] [--variant V]\n"
    "                     [--kernel NAME] [--csv FILE] [--rings-csv FILE]\n"
    "  --view K         view 0..4 (default 0)\n"
    "  --detail D       size factor 0.1..4 (default 1; the saver uses 0.4..1.4)\n"
    "  --draw N         the generator's random draw 0..32767 (default 0: even draws pick the broad light)\n"
    "  --no-bake        flat brightness 50 instead of the built-in light model\n"
    "  --palette-shift  recolour the pure red bands; --variant V picks the variant 0..2 (default 0)\n"
    "  --kernel NAME    escape loop: automatic (default), scalar, sse2, avx2, avx512, or reference\n"
    "                   (the one-vertex-at-a-time reference build); the output is the same for all\n"
    "  --csv FILE       write index,red,green,blue,px,py,pz,nx,ny,nz per vertex\n"
    "  --rings-csv FILE write index,cx,cy,cz,firstVertex per ring\n";

int usageError(const char* fmt, const char* detail) { return tubeFail(fmt, detail, true); }

// Whole decimal integer in [lo, hi]; false for anything else.
bool parseInt(const char* text, long lo, long hi, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int tubeFail(const char* fmt, const char* detail, bool hint) {
    std::fprintf(stderr, "orbivane-tube: ");
    std::fprintf(stderr, fmt, detail);
    std::fprintf(stderr, hint ? " (--help for usage)\n" : "\n");
    return kExitUsage;
}

int parseTubeArguments(int argc, const char* const* argv, TubeOptions& o) {
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const bool takesValue = arg == "--view" || arg == "--detail" || arg == "--draw" || arg == "--variant" ||
                                arg == "--kernel" || arg == "--csv" || arg == "--rings-csv";
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--no-bake") {
            o.bake = false;
            continue;
        }
        if (arg == "--palette-shift") {
            o.shift = true;
            continue;
        }
        if (!takesValue) {
            return usageError("unknown option '%s'", argv[a]);
        }
        if (a + 1 >= argc) {
            return usageError("option %s needs a value", argv[a]);
        }
        const char* value = argv[++a];
        if (arg == "--view") {
            if (!parseInt(value, 0, kViewCount - 1, o.view)) {
                return usageError("--view must be a whole number from 0 to 4, not '%s'", value);
            }
        } else if (arg == "--detail") {
            char* end = nullptr;
            const double d = std::strtod(value, &end);
            if (end == value || *end != '\0' || !(d >= 0.1 && d <= 4.0)) {
                return usageError("--detail must be a number from 0.1 to 4, not '%s'", value);
            }
            o.detail = static_cast<float>(d);
        } else if (arg == "--draw") {
            if (!parseInt(value, 0, 32767, o.draw)) {
                return usageError("--draw must be a whole number from 0 to 32767, not '%s'", value);
            }
        } else if (arg == "--variant") {
            if (!parseInt(value, 0, 2, o.variant)) {
                return usageError("--variant must be 0, 1 or 2, not '%s'", value);
            }
        } else if (arg == "--kernel") {
            const std::string name = value;
            bool known = name == "reference";
            o.reference = known;
            for (int32_t k = -1; k < kEscapeKernelCount && !known; ++k) {
                if (name == escapeKernelName(static_cast<EscapeKernel>(k))) {
                    o.kernel = static_cast<EscapeKernel>(k);
                    known = true;
                }
            }
            if (!known) {
                return usageError("--kernel must be automatic, scalar, sse2, avx2, avx512 or reference, not '%s'",
                                  value);
            }
        } else if (arg == "--csv") {
            o.csv = value;
        } else {
            o.ringsCsv = value;
        }
    }
    if (!o.csv.empty() && o.csv == o.ringsCsv) {
        return usageError("--csv and --rings-csv name the same file '%s'", o.csv.c_str());
    }
    return -1;
}
