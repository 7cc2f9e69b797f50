// orbivane-tube's command line: the options it takes and their parser.
#pragma once

#include <string>

#include "fractal/escape_kernels.h"

constexpr int kExitBuildFailed = 1;
constexpr int kExitUsage = 2;

struct TubeOptions {
    int view = 0;                                   // view index 0..4
    float detail = 1.0f;                            // size factor S
    int draw = 0;                                   // value of the generator's one random draw
    bool bake = true;                               // built-in light model (false: --no-bake)
    bool shift = false;                             // palette transform on
    int variant = 0;                                // palette variant 0..2
    bool reference = false;                         // reference build instead of the batched one
    EscapeKernel kernel = EscapeKernel::Automatic;  // escape loop of the batched build
    std::string csv;                                // vertex CSV path, empty for none
    std::string ringsCsv;                           // ring CSV path, empty for none
};

// Prints "orbivane-tube: " and fmt with detail as one line on stderr (with a pointer to --help when
// hint); returns the usage exit code.
int tubeFail(const char* fmt, const char* detail, bool hint);

// Returns -1 when the arguments are good, else the exit code to leave with (0 after --help, which
// prints the usage on stdout; 2 after printing a one-line reason on stderr).
int parseTubeArguments(int argc, const char* const* argv, TubeOptions& o);
