// The image playlist over in-memory settings and scripted draws: order, shuffling and live changes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/random_source.h"
#include "scene/image_playlist.h"
#include "support/memory_backend.h"

namespace {

class Playlist : public ::testing::Test {
protected:
    MemorySettingsBackend mem;
    ScopedSettingsBackend scope{mem};
    ImagePlaylist playlist;

    void enableOnly(std::initializer_list<int> images) {
        for (int i = 0; i < 5; ++i) mem.store("image_" + std::to_string(i), 0);
        for (int i : images) mem.store("image_" + std::to_string(i), 1);
    }
    void shuffle(bool on) { mem.store("shuffle_images", on ? 1 : 0); }
    std::vector<int> run(RandomSource& random, int count) {
        std::vector<int> seen;
        for (int i = 0; i < count; ++i) {
            playlist.advance(random);
            seen.push_back(playlist.cursor);
        }
        return seen;
    }
};

}  // namespace

TEST_F(Playlist, NothingStoredGivesEveryImageInOrderFromZero) {
    ScriptedRandom random{3};
    playlist.cursor = -1;
    EXPECT_EQ(run(random, 7), (std::vector<int>{0, 1, 2, 3, 4, 0, 1}));
    EXPECT_EQ(random.draws, 0u);
}

TEST_F(Playlist, AllDisabledShowsImageZero) {
    ScriptedRandom random{4};
    enableOnly({});
    for (int start : {-1, 0, 3}) {
        playlist.cursor = start;
        EXPECT_EQ(run(random, 3), (std::vector<int>{0, 0, 0})) << "from " << start;
    }
    shuffle(true);
    playlist.cursor = 2;
    EXPECT_EQ(run(random, 2), (std::vector<int>{0, 0}));
    EXPECT_EQ(random.draws, 0u);
}

TEST_F(Playlist, SequentialSkipsDisabledImagesAndWraps) {
    ScriptedRandom random{0};
    enableOnly({1, 3});
    playlist.cursor = -1;
    EXPECT_EQ(run(random, 5), (std::vector<int>{1, 3, 1, 3, 1}));
    playlist.cursor = 4;
    EXPECT_EQ(run(random, 1), (std::vector<int>{1}));
    playlist.cursor = 2;  // on a disabled image
    EXPECT_EQ(run(random, 1), (std::vector<int>{3}));
    EXPECT_EQ(random.draws, 0u);
}

TEST_F(Playlist, ShuffleNeverRepeatsTheCurrentImage) {
    enableOnly({1, 3});
    shuffle(true);
    for (int r : {0, 1, 2, 32767}) {
        ScriptedRandom random{r};
        playlist.cursor = 1;
        playlist.advance(random);
        EXPECT_EQ(playlist.cursor, 3) << "draw " << r;
        playlist.advance(random);
        EXPECT_EQ(playlist.cursor, 1) << "draw " << r;
        EXPECT_EQ(random.draws, 2u);
    }

    // Images 0, 2, 4 with the cursor on 2 (position 1): position (1 + 1 + r mod 2) mod 3.
    enableOnly({0, 2, 4});
    const std::pair<int, int> fromTwo[] = {{0, 4}, {1, 0}, {2, 4}, {32767, 0}};
    for (const auto& [r, expected] : fromTwo) {
        ScriptedRandom random{r};
        playlist.cursor = 2;
        playlist.advance(random);
        EXPECT_EQ(playlist.cursor, expected) << "draw " << r;
    }

    // All five with the cursor on 4: (4 + 1 + r mod 4) mod 5.
    enableOnly({0, 1, 2, 3, 4});
    ScriptedRandom random{0, 3, 6};
    playlist.cursor = 4;
    EXPECT_EQ(run(random, 3), (std::vector<int>{0, 4, 2}));
}

TEST_F(Playlist, ShuffleFromOutsideTheListCanPickAnyEnabledImage) {
    enableOnly({0, 2, 4});
    shuffle(true);
    const std::pair<int, int> cases[] = {{0, 0}, {1, 2}, {5, 4}, {32767, 2}};  // entry r mod 3
    for (int start : {-1, 1, 3}) {
        for (const auto& [r, expected] : cases) {
            ScriptedRandom random{r};
            playlist.cursor = start;
            playlist.advance(random);
            EXPECT_EQ(playlist.cursor, expected) << "from " << start << " draw " << r;
            EXPECT_EQ(random.draws, 1u);
        }
    }
}

TEST_F(Playlist, ShuffleWithOneImageTakesItWithoutADraw) {
    enableOnly({3});
    shuffle(true);
    ScriptedRandom random{1};
    for (int start : {-1, 0, 3}) {
        playlist.cursor = start;
        playlist.advance(random);
        EXPECT_EQ(playlist.cursor, 3);
    }
    EXPECT_EQ(random.draws, 0u);
}

TEST_F(Playlist, SettingsChangesTakeEffectAtTheNextAdvance) {
    ScriptedRandom random{1};
    playlist.cursor = -1;
    playlist.advance(random);
    EXPECT_EQ(playlist.cursor, 0);

    mem.store("image_1", 0);  // the dialog disables image 1 while the saver runs
    playlist.advance(random);
    EXPECT_EQ(playlist.cursor, 2);

    mem.store("image_1", 1);
    mem.store("image_3", 0);
    shuffle(true);  // images 0, 1, 2, 4; cursor 2 at position 2: (2 + 1 + 1 mod 3) mod 4 = 0
    playlist.advance(random);
    EXPECT_EQ(playlist.cursor, 0);
    EXPECT_EQ(random.draws, 1u);

    shuffle(false);
    enableOnly({4});
    playlist.advance(random);
    EXPECT_EQ(playlist.cursor, 4);
    EXPECT_EQ(random.draws, 1u);
    EXPECT_EQ(mem.openHandles, 0);
}

TEST_F(Playlist, CursorOutsideTheImagesWrapsToTheFirstEnabled) {
    ScriptedRandom random{0};
    enableOnly({2});
    for (int start : {5, 100, -7}) {
        playlist.cursor = start;
        playlist.advance(random);
        EXPECT_EQ(playlist.cursor, 2) << "from " << start;
    }
}
