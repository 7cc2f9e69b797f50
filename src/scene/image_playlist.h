// Which of the five built-in images comes next: sequential or shuffled over the enabled ones.
#pragma once

#include <cstdint>

class RandomSource;

// Keeps nothing but a cursor; the enabled images are read from the settings at every advance.
struct ImagePlaylist {
    int32_t cursor = 0;  // image being shown or about to be built, 0..4; -1 before the first pick

    // Moves the cursor to the next image, drawing from `random` in shuffle mode.
    void advance(RandomSource& random);
};
