// The image playlist: the next enabled image, in order or shuffled, read from the settings each time.
#include "scene/image_playlist.h"

#include "common/random_source.h"
#include "settings/settings_store.h"

void ImagePlaylist::advance(RandomSource& random) {
    SettingsStore& settings = SettingsStore::instance();

    int32_t enabled[kImageCount];
    int32_t n = 0;
    for (int32_t i = 0; i < kImageCount; ++i) {
        if (settings.readImageEnabled(i)) enabled[n++] = i;
    }
    if (n == 0) {
        cursor = 0;  // nothing enabled: image 0 is shown anyway
        return;
    }

    if (settings.readShuffleImages()) {
        if (n == 1) {
            cursor = enabled[0];
            return;
        }
        int32_t p = n;  // position of the current image in the list, n when it is not there
        for (int32_t i = 0; i < n; ++i) {
            if (enabled[i] == cursor) p = i;
        }
        // Draws are 0..32767; taken unsigned so no draw can index outside the list.
        uint32_t r = static_cast<uint32_t>(random.next());
        uint32_t un = static_cast<uint32_t>(n);
        uint32_t next = p < n ? (static_cast<uint32_t>(p) + 1 + r % (un - 1)) % un : r % un;
        cursor = enabled[next];
        return;
    }

    // Sequential: the next enabled index after the cursor, wrapping from 4 to 0. Each step reads the
    // image's value again; the steps are bounded so that images disabled by another process meanwhile
    // cannot keep the loop running, and then image 0 is shown as when nothing is enabled.
    for (int32_t step = 0; step < kImageCount; ++step) {
        cursor = (cursor < -1 || cursor >= kImageCount - 1) ? 0 : cursor + 1;
        if (settings.readImageEnabled(cursor)) return;
    }
    cursor = 0;
}
