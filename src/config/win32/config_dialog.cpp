// The settings dialog: five tabs of controls bound to the stored settings, written only at OK.
#include "config/win32/config_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/win32/system_error.h"
#include "config/win32/image_set_panel.h"
#include "config/win32/tab_page.h"
#include "resource_ids.h"
#include "settings/settings_store.h"

#ifndef ORBIVANE_WEB_HOST
#define ORBIVANE_WEB_HOST "www.orbivane.example"
#endif

namespace {

// The product's web site (no scheme: the shell picks the browser); the donation page lives under it.
constexpr char kWebHost[] = ORBIVANE_WEB_HOST;
constexpr char kDonationPage[] = ORBIVANE_WEB_HOST "/donate.htm";

constexpr int kTabCount = 5;
constexpr int kAboutTab = 4;
constexpr const char* kTabTexts[kTabCount] = {"General", "Appearance", "Advanced", "Monitors", "About"};

constexpr const char* kDetailItems[] = {"Least detail (least CPU intensive)", "Less detail (faster)", "Default",
                                        "More detail (slower)", "Most detail (most CPU intensive)"};
constexpr const char* kIntervalItems[] = {"45 seconds", "60 seconds", "90 seconds"};

// Set at the dialog's opening: the first positioning after it creates the image-set panel, once.
bool panelAttempted = false;

// First and last control id that tab `tab` shows (1001-1099 for tab 0, and so on).
int tabFirstId(int tab) { return 1001 + 100 * tab; }
int tabLastId(int tab) { return 1099 + 100 * tab; }

void setChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool isChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Checks radio `first + index` of a group of three and clears the others; an index outside the group
// checks none, so that OK leaves such a stored value alone.
void setRadioGroup(HWND dialog, int first, int index) {
    for (int i = 0; i < 3; ++i) {
        setChecked(dialog, first + i, i == index);
    }
}

// Index of the first checked radio of a group of three, or -1 when none is checked.
int checkedRadio(HWND dialog, int first) {
    for (int i = 0; i < 3; ++i) {
        if (isChecked(dialog, first + i)) {
            return i;
        }
    }
    return -1;
}

void setTrackbarRange(HWND dialog, int id, int low, int high) {
    SendDlgItemMessageA(dialog, id, TBM_SETRANGE, TRUE, MAKELPARAM(low, high));
}

void setTrackbarPosition(HWND dialog, int id, int position) {
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, position);
}

int trackbarPosition(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0));
}

void fillCombo(HWND dialog, int id, const char* const* items, int count) {
    SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
    }
}

// A selection outside the items leaves the combo with none.
void selectComboItem(HWND dialog, int id, int index) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int comboSelection(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

// How a control shows a setting.
enum class ControlKind {
    combo,     // the selected item's index
    trackbar,  // the position, in the setting's stored units (tenths for the light distance)
    check,     // checked for a set flag
    radios,    // a group of three radio buttons from `control`; none checked leaves the stored value alone
    images,    // the image-set panel's check boxes, one per image
};

struct ControlBinding {
    SettingId setting;
    int control;  // the control's id (the first of a radio group); 0 for the images
    ControlKind kind;
};

// Every bound control, in the order OK writes the settings.
const ControlBinding kBindings[] = {
    {SettingId::detailLevel, IDC_DETAIL_COMBO, ControlKind::combo},
    {SettingId::rotationSpeed, IDC_ROTATION_TRACKBAR, ControlKind::trackbar},
    {SettingId::intervalOption, IDC_INTERVAL_COMBO, ControlKind::combo},
    {SettingId::shuffleImages, IDC_SHUFFLE_CHECK, ControlKind::check},
    {SettingId::quickDraw, IDC_QUICK_DRAW_CHECK, ControlKind::check},
    {SettingId::transpLevel, IDC_TRANSPARENCY_TRACKBAR, ControlKind::trackbar},
    {SettingId::paletteType, IDC_PALETTE_STANDARD, ControlKind::radios},
    {SettingId::lightSource, IDC_LIGHT_FIXED, ControlKind::radios},
    {SettingId::glossLevel, IDC_GLOSS_TRACKBAR, ControlKind::trackbar},
    {SettingId::glossRandom, IDC_GLOSS_RANDOM_CHECK, ControlKind::check},
    {SettingId::lightDistance, IDC_DISTANCE_TRACKBAR, ControlKind::trackbar},
    {SettingId::light2Sides, IDC_TWO_SIDES_CHECK, ControlKind::check},
    {SettingId::images, 0, ControlKind::images},
    {SettingId::monitorMode, IDC_MONITOR_CROSS, ControlKind::radios},
};

// The value a setting's control shows: what the store reads, or the table's default.
int32_t shownValue(SettingId id, int32_t index, bool defaults) {
    return defaults ? settingRow(id).defaultValue : SettingsStore::instance().read(id, index);
}

// Sets the image-set panel's check boxes (once it exists) from the store or the defaults.
void loadImageControls(bool defaults) {
    bool enabled[kImageCount];
    for (int i = 0; i < kImageCount; ++i) enabled[i] = shownValue(SettingId::images, i, defaults) != 0;
    setImageChecks(enabled);
    updateImageCheckEnabling();
}

// Sets every bound control from the store, or from the defaults of the settings table.
void loadControls(HWND dialog, bool defaults) {
    for (const ControlBinding& b : kBindings) {
        switch (b.kind) {
        case ControlKind::combo:
            selectComboItem(dialog, b.control, shownValue(b.setting, 0, defaults));
            break;
        case ControlKind::trackbar:
            setTrackbarPosition(dialog, b.control, shownValue(b.setting, 0, defaults));
            break;
        case ControlKind::check:
            setChecked(dialog, b.control, shownValue(b.setting, 0, defaults) != 0);
            break;
        case ControlKind::radios:
            setRadioGroup(dialog, b.control, shownValue(b.setting, 0, defaults));
            break;
        case ControlKind::images:
            loadImageControls(defaults);
            break;
        }
    }
}

void setDialogIcon(HWND dialog, HINSTANCE instance, int iconId, int size, WPARAM which) {
    HANDLE icon = LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, 0);
    if (icon != nullptr) {
        SendMessageA(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    }
}

void destroyDialogIcon(HWND dialog, WPARAM which) {
    HICON icon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, which, 0));
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

// Centres the dialog on its owner, or on the work area of the monitor that holds the pointer when it
// has no owner to be seen; either way the whole dialog stays on that monitor's work area.
void centreDialog(HWND dialog) {
    RECT own{};
    GetWindowRect(dialog, &own);
    HWND owner = GetWindow(dialog, GW_OWNER);
    const bool ownerShown = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);
    RECT ownerRect{};
    HMONITOR monitor;
    if (ownerShown) {
        GetWindowRect(owner, &ownerRect);
        monitor = MonitorFromRect(&ownerRect, MONITOR_DEFAULTTONEAREST);
    } else {
        POINT pointer{};
        GetCursorPos(&pointer);
        monitor = MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST);
    }
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info)) {
        return;
    }
    const POINT origin = centredWindowOrigin(own, ownerShown ? ownerRect : info.rcWork, info.rcWork);
    SetWindowPos(dialog, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void openDialog(HWND dialog) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    panelAttempted = false;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    setDialogIcon(dialog, instance, IDI_ORBIVANE_SMALL, 32, ICON_SMALL);
    setDialogIcon(dialog, instance, IDI_ORBIVANE_BIG, 64, ICON_BIG);

    // Enter presses OK on the first tab, whichever buttons the template marks; selectTab moves it.
    SendMessageA(dialog, DM_SETDEFID, IDOK, 0);

    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    for (int t = 0; t < kTabCount; ++t) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kTabTexts[t]);
        SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(t), reinterpret_cast<LPARAM>(&item));
    }
    takePageColour(dialog);

    fillCombo(dialog, IDC_DETAIL_COMBO, kDetailItems, 5);
    addTooltip(dialog, IDC_DETAIL_COMBO, "Controls how refined the resulting image appears");
    fillCombo(dialog, IDC_INTERVAL_COMBO, kIntervalItems, 3);
    addTooltip(dialog, IDC_INTERVAL_COMBO, "Controls how frequently images change");
    addTooltip(dialog, IDC_SHUFFLE_CHECK, "Controls order in which images are shown");
    addTooltip(dialog, IDC_QUICK_DRAW_CHECK, "Controls image quality (slower when un-checked)");
    for (const ControlBinding& b : kBindings) {
        const SettingRow& row = settingRow(b.setting);
        if (b.kind == ControlKind::trackbar) setTrackbarRange(dialog, b.control, row.low, row.high);
    }
    loadControls(dialog, false);
    addTooltip(dialog, IDC_MONITOR_CROSS, "Show picture across all monitors, treating them as one screen");
    addTooltip(dialog, IDC_MONITOR_PRIMARY, "Show picture on primary monitor only");
    addTooltip(dialog, IDC_MONITOR_INDIVIDUAL,
               "Show picture on every monitor, treating them as separate screens (slower option)");

    // The template places the dialog at the screen's top-left corner; this first positioning also
    // brings the image-set panel into being.
    centreDialog(dialog);
}

// At the first positioning after opening (the controls exist by then), the panel takes its place.
void createPanelOnce(HWND dialog) {
    if (panelAttempted || GetDlgItem(dialog, IDC_IMAGE_SET_PANEL) != nullptr ||
        GetDlgItem(dialog, IDC_IMAGE_SET_PLACEHOLDER) == nullptr) {
        return;
    }
    panelAttempted = true;  // a failure has shown its error box once; moving the dialog does not repeat it
    HWND panel = createImageSetPanel(dialog);
    if (panel == nullptr) {
        return;
    }
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    addTooltip(dialog, IDC_IMAGE_SET_PANEL, "Check which images to show");
    loadImageControls(false);
}

void showControl(HWND control, bool shown) {
    if (control != nullptr) {
        ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
    }
}

void selectTab(HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    const int selected = static_cast<int>(SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    const bool about = selected == kAboutTab;
    showControl(GetDlgItem(dialog, IDC_RESET_DEFAULTS), !about);
    showControl(GetDlgItem(dialog, IDOK), !about);
    showControl(GetDlgItem(dialog, IDCANCEL), !about);
    showControl(GetDlgItem(dialog, IDC_DONATE), about);
    showControl(GetDlgItem(dialog, IDC_WEBSITE), about);
    // The default button (Enter) is one of the buttons shown: OK, or Donate on the About tab. The dialog
    // manager keeps the id; the buttons are restyled here so that only the default one is drawn as such.
    const int defaultId = about ? IDC_DONATE : IDOK;
    SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(defaultId), 0);
    SendDlgItemMessageA(dialog, about ? IDOK : IDC_DONATE, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendDlgItemMessageA(dialog, defaultId, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    for (int t = 0; t < kTabCount; ++t) {
        for (int id = tabFirstId(t); id <= tabLastId(t); ++id) {
            HWND control = GetDlgItem(dialog, id);
            if (control == nullptr) {
                control = GetDlgItem(tabs, id);
            }
            showControl(control, t == selected);
        }
    }
}

void writeControlsToStore(HWND dialog) {
    SettingsStore& store = SettingsStore::instance();
    for (const ControlBinding& b : kBindings) {
        switch (b.kind) {
        case ControlKind::combo:
            store.write(b.setting, comboSelection(dialog, b.control));
            break;
        case ControlKind::trackbar:
            store.write(b.setting, trackbarPosition(dialog, b.control));
            break;
        case ControlKind::check:
            store.write(b.setting, isChecked(dialog, b.control) ? 1 : 0);
            break;
        case ControlKind::radios: {
            const int checked = checkedRadio(dialog, b.control);
            if (checked >= 0) store.write(b.setting, checked);
            break;
        }
        case ControlKind::images:
            for (int i = 0; i < kImageCount; ++i) store.write(b.setting, isImageChecked(i) ? 1 : 0, i);
            break;
        }
    }
}

bool anyImageChecked() {
    for (int i = 0; i < kImageCount; ++i) {
        if (isImageChecked(i)) {
            return true;
        }
    }
    return false;
}

void command(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        if (!anyImageChecked()) {
            messageBoxFn(dialog, "Please select at least one image (in Advanced tab)", "Warning",
                         MB_OK | MB_ICONWARNING);
            return;
        }
        writeControlsToStore(dialog);
        EndDialog(dialog, 1);
        return;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return;
    case IDC_RESET_DEFAULTS:
        loadControls(dialog, true);
        return;
    case IDC_DONATE:
        ShellExecuteA(dialog, "open", kDonationPage, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    case IDC_WEBSITE:
        ShellExecuteA(dialog, "open", kWebHost, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    default:
        return;
    }
}

}  // namespace

POINT centredWindowOrigin(const RECT& windowRect, const RECT& target, const RECT& workArea) {
    const LONG width = windowRect.right - windowRect.left;
    const LONG height = windowRect.bottom - windowRect.top;
    POINT origin{target.left + (target.right - target.left - width) / 2,
                 target.top + (target.bottom - target.top - height) / 2};
    origin.x = origin.x + width > workArea.right ? workArea.right - width : origin.x;
    origin.y = origin.y + height > workArea.bottom ? workArea.bottom - height : origin.y;
    origin.x = origin.x < workArea.left ? workArea.left : origin.x;
    origin.y = origin.y < workArea.top ? workArea.top : origin.y;
    return origin;
}

HWND addTooltip(HWND dialog, int controlId, const char* text) {
    if (dialog == nullptr || text == nullptr) {
        return nullptr;
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    HWND tooltip =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_BALLOON, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, instance, nullptr);
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr || tooltip == nullptr) {
        if (tooltip != nullptr) {
            DestroyWindow(tooltip);
        }
        return nullptr;
    }
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;  // accepted by every version of the common controls
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<char*>(text);
    SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    return tooltip;
}

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        openDialog(dialog);
        return TRUE;
    case WM_WINDOWPOSCHANGED:
        createPanelOnce(dialog);
        return FALSE;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_TABS && header->code == static_cast<UINT>(TCN_SELCHANGE)) {
            selectTab(dialog);
        }
        return FALSE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return reinterpret_cast<INT_PTR>(
            pageBrushFor(dialog, reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)));
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
        takePageColour(dialog);
        InvalidateRect(dialog, nullptr, TRUE);
        return FALSE;
    case WM_COMMAND:
        command(dialog, LOWORD(wParam));
        return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL ? TRUE : FALSE;
    case WM_NCDESTROY:
        destroyDialogIcon(dialog, ICON_SMALL);
        destroyDialogIcon(dialog, ICON_BIG);
        dropPageBrush();
        unregisterImageSetPanelClass(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)));
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR runConfigDialog(HINSTANCE instance, HWND parent) {
    // The template's tab control and trackbars need their classes before the dialog is made.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONFIG), parent, configDialogProc, 0);
}
