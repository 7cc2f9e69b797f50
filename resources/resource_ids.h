/* Resource and control ids shared by the resource scripts and the settings dialog's code. */
#pragma once

/* Pictures. */
#define IDI_ORBIVANE_BIG 9001    /* icon group: 16, 32, 48 and 64 pixels */
#define IDI_ORBIVANE_SMALL 9002  /* icon group: 16 and 32 pixels */
#define IDB_ABOUT 9003           /* About tab picture, 150 x 135 */
#define IDB_THUMBNAIL_FIRST 3301 /* thumbnails of images 0..4: 3301..3305, 160 x 100 */

/* The settings dialog template. */
#define IDD_CONFIG 2003

/* The tab control; the tabs' own controls are grouped by hundreds: 1001-1099 General, 1101-1199
   Appearance, 1201-1299 Advanced, 1301-1399 Monitors, 1401-1499 About. */
#define IDC_TABS 1000

/* General. */
#define IDC_DETAIL_COMBO 1002
#define IDC_ROTATION_TRACKBAR 1003
#define IDC_INTERVAL_COMBO 1004
#define IDC_SHUFFLE_CHECK 1005
#define IDC_QUICK_DRAW_CHECK 1006
#define IDC_DETAIL_LABEL 1007
#define IDC_ROTATION_LABEL 1008
#define IDC_INTERVAL_LABEL 1009

/* Appearance. */
#define IDC_PALETTE_GROUP 1101
#define IDC_PALETTE_STANDARD 1102
#define IDC_PALETTE_ALTERNATIVE 1103
#define IDC_PALETTE_RANDOM 1104
#define IDC_TRANSPARENCY_LABEL 1105
#define IDC_TRANSPARENCY_TRACKBAR 1106
#define IDC_LIGHT_GROUP 1107
#define IDC_LIGHT_FIXED 1108
#define IDC_LIGHT_MOVING 1109
#define IDC_LIGHT_RANDOM 1110
#define IDC_GLOSS_GROUP 1111
#define IDC_GLOSS_TRACKBAR 1112
#define IDC_GLOSS_RANDOM_CHECK 1113

/* Advanced. */
#define IDC_DISTANCE_LABEL 1201
#define IDC_DISTANCE_TRACKBAR 1202
#define IDC_TWO_SIDES_CHECK 1203
#define IDC_IMAGE_SET_PANEL 1205       /* created by the dialog over the placeholder */
#define IDC_IMAGE_SET_PLACEHOLDER 9204 /* never shown: marks the panel's place */

/* Monitors. */
#define IDC_MONITOR_GROUP 1302
#define IDC_MONITOR_CROSS 1303
#define IDC_MONITOR_PRIMARY 1304
#define IDC_MONITOR_INDIVIDUAL 1305

/* About. */
#define IDC_ABOUT_TITLE 1401
#define IDC_ABOUT_PICTURE 1402
#define IDC_ABOUT_NOTICE 1403

/* Buttons under the tab control (1 and 2 are IDOK and IDCANCEL). */
#define IDC_RESET_DEFAULTS 3000
#define IDC_DONATE 9003
#define IDC_WEBSITE 9004

/* Children of the image-set panel. */
#define IDC_IMAGE_CHECK_FIRST 8001     /* check boxes of images 0..4: 8001..8005 */
#define IDC_IMAGE_THUMBNAIL_FIRST 8101 /* thumbnails of images 0..4: 8101..8105 */
