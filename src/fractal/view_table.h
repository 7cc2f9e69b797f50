// The five built-in views and the two default records they are made from.
#pragma once

#include "fractal/tube_types.h"

constexpr int kViewCount = 5;

// The records every view starts from.
TubeShape defaultShape();
FractalPath defaultPath();

// Fills shapes[0..4] and paths[0..4] with the five views.
void fillViewTable(TubeShape shapes[kViewCount], FractalPath paths[kViewCount]);
