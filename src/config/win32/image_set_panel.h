// The image-set panel: the Advanced tab's scrollable strip of thumbnails, one check box per built-in image.
#pragma once

#include <windows.h>

#include "settings/setting_table.h"  // kImageCount: one thumbnail and one check box per image

// Layout of the strip, in pixels, from the height of the panel's window rectangle.
struct ImageSetGeometry {
    int thumbnailHeight;  // H: window height - SM_CXHTHUMB - 2
    int thumbnailWidth;   // W: H * 1.6 rounded to the nearest integer
    int imageStep;        // W + 2: distance between the left edges of two thumbnails
    int stripEnd;         // x of the last thumbnail's last pixel column: 5 * imageStep - 1
};

// The geometry of a panel whose window is `windowHeight` pixels high, for a horizontal-thumb metric of
// `thumbMetric` pixels.
ImageSetGeometry imageSetGeometry(int windowHeight, int thumbMetric);

// Process-wide state of the panel (one settings dialog per process).
struct ImageSetPanelState {
    int imageStep = 0;             // pixels; set when a panel is created, read for the scroll range at each resize
    bool classRegistered = false;  // "IMAGE_SET" registered by createImageSetPanel; cleared when unregistered
    // Check box of image N, filled as the boxes are created; emptied when the panel is destroyed. An empty
    // entry counts as unchecked.
    HWND imageCheckBoxes[kImageCount] = {};
};
extern ImageSetPanelState imageSetPanel;

// Registers "IMAGE_SET" (once) with the dialog's instance, hides the placeholder control and creates the
// hidden panel (id 1205) in its place. Shows the system error box and returns null on failure.
HWND createImageSetPanel(HWND dialog);

// Unregisters "IMAGE_SET" if createImageSetPanel registered it. Failures are ignored.
void unregisterImageSetPanelClass(HINSTANCE instance);

// Checks each image's box (where the boxes exist) as `enabled` says.
void setImageChecks(const bool enabled[kImageCount]);

// Disables the check box when exactly one is checked (so the last image cannot be cleared); otherwise
// enables all five.
void updateImageCheckEnabling();

// Whether image `index`'s check box exists and is checked (any non-zero check state).
bool isImageChecked(int index);
