// The image-set panel: thumbnails with check boxes in a horizontally scrolling strip.
#include "config/win32/image_set_panel.h"

#include <cmath>

#include "common/win32/system_error.h"
#include "resource_ids.h"

ImageSetPanelState imageSetPanel;

namespace {

constexpr char kPanelClass[] = "IMAGE_SET";

ImageSetGeometry geometryOf(HWND panel) {
    RECT rect;
    GetWindowRect(panel, &rect);
    return imageSetGeometry(rect.bottom - rect.top, GetSystemMetrics(SM_CXHTHUMB));
}

// Creates the thumbnails and check boxes while the panel is being created. Stops at the first thumbnail that
// cannot be made: the images before it are complete, the rest have no check box.
void buildImageSet(HWND panel, HINSTANCE instance) {
    const ImageSetGeometry geometry = geometryOf(panel);
    imageSetPanel.imageStep = geometry.imageStep;
    const int checkWidth = GetSystemMetrics(SM_CXMENUCHECK) - 2 * GetSystemMetrics(SM_CXEDGE) + 1;
    const int checkHeight = GetSystemMetrics(SM_CYMENUCHECK) - 2 * GetSystemMetrics(SM_CYEDGE) + 1;

    int x = 1;
    for (int i = 0; i < kImageCount; ++i) {
        HANDLE bitmap = LoadImageA(instance, MAKEINTRESOURCEA(IDB_THUMBNAIL_FIRST + i), IMAGE_BITMAP,
                                   geometry.thumbnailWidth, geometry.thumbnailHeight, 0);
        DWORD error = bitmap != nullptr ? ERROR_SUCCESS : GetLastError();
        HWND thumbnail = CreateWindowExA(0, "Static", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, x, 0,
                                         geometry.thumbnailWidth, geometry.thumbnailHeight, panel,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_IMAGE_THUMBNAIL_FIRST + i)),
                                         instance, nullptr);
        if (thumbnail == nullptr && error == ERROR_SUCCESS) {
            error = GetLastError();
        }
        if (thumbnail == nullptr || bitmap == nullptr) {
            if (bitmap != nullptr) {
                DeleteObject(bitmap);
            }
            showSystemError(error);
            return;
        }
        SendMessageA(thumbnail, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));

        HWND box = CreateWindowExA(WS_EX_TRANSPARENT, "Button", "", WS_CHILD | WS_VISIBLE | BS_FLAT | BS_AUTOCHECKBOX,
                                   x + 6, 6, checkWidth, checkHeight, panel,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_IMAGE_CHECK_FIRST + i)), instance,
                                   nullptr);
        SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        imageSetPanel.imageCheckBoxes[i] = box;
        x += geometry.imageStep;
    }
}

BOOL CALLBACK releaseThumbnail(HWND child, LPARAM) {
    const int id = GetDlgCtrlID(child);
    if (id >= IDC_IMAGE_THUMBNAIL_FIRST && id < IDC_IMAGE_THUMBNAIL_FIRST + kImageCount) {
        HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
    }
    return TRUE;
}

// The scroll bar's new position for a WM_HSCROLL request; one pixel per arrow click.
int scrollTarget(int request, const SCROLLINFO& info) {
    switch (request) {
    case SB_LINELEFT:
        return info.nPos - 1;
    case SB_LINERIGHT:
        return info.nPos + 1;
    case SB_PAGELEFT:
        return info.nPos - static_cast<int>(info.nPage);
    case SB_PAGERIGHT:
        return info.nPos + static_cast<int>(info.nPage);
    case SB_THUMBTRACK:
        return info.nTrackPos;
    case SB_LEFT:
        return info.nMin;
    case SB_RIGHT:
        return info.nMax;
    default:
        return info.nPos;  // SB_THUMBPOSITION, SB_ENDSCROLL: the strip already is where the drag left it
    }
}

void scroll(HWND panel, int request) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(panel, SB_HORZ, &info);
    const int oldPosition = info.nPos;
    SetScrollPos(panel, SB_HORZ, scrollTarget(request, info), TRUE);
    const int newPosition = GetScrollPos(panel, SB_HORZ);
    if (newPosition != oldPosition) {
        ScrollWindow(panel, oldPosition - newPosition, 0, nullptr, nullptr);
    }
}

LRESULT CALLBACK imageSetPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        buildImageSet(panel, reinterpret_cast<const CREATESTRUCTA*>(lParam)->hInstance);
        return 0;
    case WM_SIZE: {
        // The scroll bar starts again at 0: bring the strip back with it, or the thumbnails would stay
        // shifted by the old position while the bar says they are not.
        const int oldPosition = GetScrollPos(panel, SB_HORZ);
        if (oldPosition != 0) {
            ScrollWindow(panel, oldPosition, 0, nullptr, nullptr);
        }
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_POS;
        info.nMin = 0;
        // A client wider than the strip has nothing to scroll (the dialog's fixed size never gives one).
        const int maximum = kImageCount * imageSetPanel.imageStep - LOWORD(lParam);
        info.nMax = maximum > 0 ? maximum : 0;
        info.nPos = 0;
        SetScrollInfo(panel, SB_HORZ, &info, TRUE);
        return 0;
    }
    case WM_HSCROLL:
        scroll(panel, LOWORD(wParam));
        return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= IDC_IMAGE_CHECK_FIRST && id < IDC_IMAGE_CHECK_FIRST + kImageCount) {
            updateImageCheckEnabling();
            return 0;
        }
        break;
    }
    case WM_CTLCOLORBTN:
        SetBkMode(reinterpret_cast<HDC>(wParam), OPAQUE);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_MENU));
    case WM_DESTROY:
        EnumChildWindows(panel, releaseThumbnail, 0);
        for (HWND& box : imageSetPanel.imageCheckBoxes) {
            box = nullptr;
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcA(panel, message, wParam, lParam);
}

}  // namespace

ImageSetGeometry imageSetGeometry(int windowHeight, int thumbMetric) {
    ImageSetGeometry geometry;
    geometry.thumbnailHeight = windowHeight - thumbMetric - 2;
    geometry.thumbnailWidth = static_cast<int>(std::floor(geometry.thumbnailHeight * 1.6 + 0.5));
    geometry.imageStep = geometry.thumbnailWidth + 2;
    geometry.stripEnd = kImageCount * geometry.imageStep - 1;
    return geometry;
}

HWND createImageSetPanel(HWND dialog) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    if (!imageSetPanel.classRegistered) {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = imageSetPanelProc;
        windowClass.hInstance = instance;
        windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
        windowClass.lpszClassName = kPanelClass;
        if (RegisterClassExA(&windowClass) == 0) {
            showSystemError(GetLastError());
            return nullptr;
        }
        imageSetPanel.classRegistered = true;
    }

    HWND placeholder = GetDlgItem(dialog, IDC_IMAGE_SET_PLACEHOLDER);
    RECT rect{};
    GetWindowRect(placeholder, &rect);
    POINT topLeft{rect.left, rect.top};
    ScreenToClient(dialog, &topLeft);
    ShowWindow(placeholder, SW_HIDE);

    HWND panel = CreateWindowExA(WS_EX_CLIENTEDGE, kPanelClass, nullptr, WS_CHILD | WS_HSCROLL, topLeft.x, topLeft.y,
                                 rect.right - rect.left, rect.bottom - rect.top, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_IMAGE_SET_PANEL)), instance, nullptr);
    if (panel == nullptr) {
        showSystemError(GetLastError());
    }
    return panel;
}

void unregisterImageSetPanelClass(HINSTANCE instance) {
    if (imageSetPanel.classRegistered) {
        UnregisterClassA(kPanelClass, instance);
        imageSetPanel.classRegistered = false;
    }
}

void setImageChecks(const bool enabled[kImageCount]) {
    for (int i = 0; i < kImageCount; ++i) {
        if (imageSetPanel.imageCheckBoxes[i] != nullptr) {
            SendMessageA(imageSetPanel.imageCheckBoxes[i], BM_SETCHECK, enabled[i] ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
}

void updateImageCheckEnabling() {
    int checkedCount = 0;
    int lastChecked = -1;
    for (int i = 0; i < kImageCount; ++i) {
        if (isImageChecked(i)) {
            ++checkedCount;
            lastChecked = i;
        }
    }
    if (checkedCount == 1) {
        EnableWindow(imageSetPanel.imageCheckBoxes[lastChecked], FALSE);
        return;
    }
    for (HWND box : imageSetPanel.imageCheckBoxes) {
        if (box != nullptr) {
            EnableWindow(box, TRUE);
        }
    }
}

bool isImageChecked(int index) {
    HWND box = imageSetPanel.imageCheckBoxes[index];
    return box != nullptr && SendMessageA(box, BM_GETCHECK, 0, 0) != 0;
}
