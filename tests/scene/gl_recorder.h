// Test-only OpenGL: the entry points the scene uses, recording every call instead of drawing.
#pragma once

#include <string>
#include <vector>

// One recorded call: its name and its arguments widened to double (enums and bytes included;
// pointer arguments are expanded into the values they point to).
struct GlCall {
    std::string name;
    std::vector<double> args;
};

// Every call since the last clearGlCalls, in order.
std::vector<GlCall>& glCalls();
void clearGlCalls();
