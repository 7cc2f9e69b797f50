// The tab page's own colour for the dialog's controls that stand on the page.
#include "config/win32/tab_page.h"

#include <commctrl.h>

#include "resource_ids.h"

namespace {

// The page's colour and a brush of it, taken by takePageColour; the brush is null when it could not be taken.
HBRUSH pageBrush = nullptr;
COLORREF pageColour = 0;

// The tab control's page in its client coordinates.
RECT tabPageRect(HWND tabs) {
    RECT page{};
    GetClientRect(tabs, &page);
    SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    return page;
}

// True for a control of the dialog that lies wholly on the tab page.
bool standsOnPage(HWND dialog, HWND control) {
    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    if (control == nullptr || control == tabs || GetParent(control) != dialog) return false;
    RECT page = tabPageRect(tabs);
    MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&page), 2);
    RECT own{}, both{};
    GetWindowRect(control, &own);
    return IntersectRect(&both, &own, &page) && EqualRect(&both, &own);
}

}  // namespace

void dropPageBrush() {
    if (pageBrush != nullptr) DeleteObject(pageBrush);
    pageBrush = nullptr;
}

// Has the tab control draw itself into a bitmap and keeps the colour at the middle of its page.
void takePageColour(HWND dialog) {
    dropPageBrush();
    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    RECT client{};
    GetClientRect(tabs, &client);
    const RECT page = tabPageRect(tabs);
    if (page.right <= page.left || page.bottom <= page.top) return;
    HDC screen = GetDC(tabs);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        SendMessageA(tabs, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
        const COLORREF colour = GetPixel(memory, (page.left + page.right) / 2, (page.top + page.bottom) / 2);
        SelectObject(memory, old);
        if (colour != CLR_INVALID) {
            pageColour = colour;
            pageBrush = CreateSolidBrush(colour);
        }
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(tabs, screen);
}

HBRUSH pageBrushFor(HWND dialog, HWND control, HDC dc) {
    if (pageBrush == nullptr || !standsOnPage(dialog, control)) return nullptr;
    SetBkColor(dc, pageColour);
    return pageBrush;
}
