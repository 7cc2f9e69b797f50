// The settings dialog from its real template and procedure, driven with the messages a user's clicks send.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/win32/config_dialog.h"
#include "config/win32/image_set_panel.h"
#include "resource_ids.h"
#include "settings/memory_backend.h"
#include "settings/settings_store.h"
#include "settings/win32/registry_backend.h"

namespace {

// The registry backend on a throw-away key, noting the name of every value written, in order.
class RecordingRegistry final : public SettingsBackend {
public:
    explicit RecordingRegistry(const std::string& subkey) : registry_(subkey) {}
    bool openRead() override { return registry_.openRead(); }
    bool query(const char* name, int32_t* value) override { return registry_.query(name, value); }
    bool openWrite() override { return registry_.openWrite(); }
    void set(const char* name, int32_t value) override {
        written.push_back(name);
        registry_.set(name, value);
    }
    void close() override { registry_.close(); }

    std::vector<std::string> written;  // value names in the order they were set

private:
    RegistrySettingsBackend registry_;
};

// Message boxes seen by the thread's CBT hook; each is answered with OK at once.
struct SeenBox {
    std::string caption;
    std::string text;
};
std::vector<SeenBox> seenBoxes;

LRESULT CALLBACK answerMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[64] = {}, caption[128] = {}, text[256] = {};
        GetClassNameA(window, className, sizeof className);
        GetWindowTextA(window, caption, sizeof caption);
        if (std::string(className) == "#32770" && std::string(caption) != "Orbivane Setup") {
            GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
            seenBoxes.push_back({caption, text});
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

const std::vector<int> kTabIds[5] = {
    {1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009},
    {1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1110, 1111, 1112, 1113},
    {1201, 1202, 1203, IDC_IMAGE_SET_PANEL},
    {1302, 1303, 1304, 1305},
    {1401, 1402, 1403},
};

class ConfigDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        subkey = "Software\\OrbivaneTest\\Dialog" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
        backend = std::make_unique<RecordingRegistry>(subkey);
        scope = std::make_unique<ScopedSettingsBackend>(*backend);
        seenBoxes.clear();
        hook = SetWindowsHookExA(WH_CBT, answerMessageBoxes, nullptr, GetCurrentThreadId());
    }

    void TearDown() override {
        if (dialog != nullptr && IsWindow(dialog)) {
            DestroyWindow(dialog);
        }
        pump();
        UnhookWindowsHookEx(hook);
        scope.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
    }

    void open() {
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG), nullptr,
                                    configDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        pump();
        backend->written.clear();
    }

    void store(const char* name, DWORD value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }

    // Every value under the test key, straight from the registry.
    std::map<std::string, int32_t> stored() const {
        std::map<std::string, int32_t> values;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return values;
        }
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameSize = sizeof name, type = 0, data = 0, dataSize = sizeof data;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data),
                              &dataSize) != ERROR_SUCCESS) {
                break;
            }
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
            values[name] = static_cast<int32_t>(data);
        }
        RegCloseKey(key);
        return values;
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }
    bool visible(int id) const { return item(id) != nullptr && (GetWindowLongA(item(id), GWL_STYLE) & WS_VISIBLE); }
    bool checked(int id) const { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    int selection(int id) const { return static_cast<int>(SendMessageA(item(id), CB_GETCURSEL, 0, 0)); }
    int position(int id) const { return static_cast<int>(SendMessageA(item(id), TBM_GETPOS, 0, 0)); }
    void click(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
    void setPosition(int id, int value) { SendMessageA(item(id), TBM_SETPOS, TRUE, value); }

    // Clicks tab `tab`'s header as a user would.
    void chooseTab(int tab) {
        HWND tabs = item(IDC_TABS);
        RECT rect;
        ASSERT_TRUE(SendMessageA(tabs, TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&rect)));
        const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageA(tabs, WM_LBUTTONUP, 0, point);
        pump();
        ASSERT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), tab);
    }

    HWND imageBox(int i) const { return imageSetPanel.imageCheckBoxes[i]; }
    void clickImage(int i) { SendMessageA(imageBox(i), BM_CLICK, 0, 0); }

    // The rectangle of a child in its parent's client coordinates.
    static RECT childRect(HWND child) {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    std::string subkey;
    std::unique_ptr<RecordingRegistry> backend;
    std::unique_ptr<ScopedSettingsBackend> scope;
    HHOOK hook = nullptr;
    HWND dialog = nullptr;
};

void expectDefaultsShown(HWND dialog) {
    auto sel = [&](int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)); };
    auto pos = [&](int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0)); };
    auto on = [&](int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; };
    EXPECT_EQ(sel(1002), 1);
    EXPECT_EQ(sel(1004), 0);
    EXPECT_EQ(pos(1003), 25);
    EXPECT_FALSE(on(1005));
    EXPECT_TRUE(on(1006));
    EXPECT_EQ(pos(1106), 10);
    EXPECT_TRUE(!on(1102) && !on(1103) && on(1104));
    EXPECT_TRUE(!on(1108) && !on(1109) && on(1110));
    EXPECT_EQ(pos(1112), 0);
    EXPECT_FALSE(on(1113));
    EXPECT_EQ(pos(1202), 100);
    EXPECT_TRUE(on(1203));
    EXPECT_TRUE(on(1303) && !on(1304) && !on(1305));
    for (int i = 0; i < kImageSetCount; ++i) {
        ASSERT_NE(imageSetPanel.imageCheckBoxes[i], nullptr);
        EXPECT_EQ(SendMessageA(imageSetPanel.imageCheckBoxes[i], BM_GETCHECK, 0, 0), BST_CHECKED) << i;
        EXPECT_TRUE(IsWindowEnabled(imageSetPanel.imageCheckBoxes[i])) << i;
    }
}

TEST_F(ConfigDialog, OpensWithTheDefaultsItemsRangesAndTooltipsWhenNothingIsStored) {
    open();
    expectDefaultsShown(dialog);

    char text[64];
    HWND tabs = item(IDC_TABS);
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 5);
    const char* tabTexts[] = {"General", "Appearance", "Advanced", "Monitors", "About"};
    for (int t = 0; t < 5; ++t) {
        TCITEMA tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = text;
        tab.cchTextMax = sizeof text;
        SendMessageA(tabs, TCM_GETITEMA, t, reinterpret_cast<LPARAM>(&tab));
        EXPECT_STREQ(text, tabTexts[t]);
    }
    ASSERT_EQ(SendMessageA(item(1002), CB_GETCOUNT, 0, 0), 5);
    SendMessageA(item(1002), CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Most detail (most CPU intensive)");
    ASSERT_EQ(SendMessageA(item(1004), CB_GETCOUNT, 0, 0), 3);
    SendMessageA(item(1004), CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "90 seconds");

    const int ranges[][3] = {{1003, 10, 40}, {1106, 0, 40}, {1112, 0, 10}, {1202, 20, 300}};
    for (const auto& r : ranges) {
        EXPECT_EQ(SendMessageA(item(r[0]), TBM_GETRANGEMIN, 0, 0), r[1]) << r[0];
        EXPECT_EQ(SendMessageA(item(r[0]), TBM_GETRANGEMAX, 0, 0), r[2]) << r[0];
    }

    // One tooltip window per control, owned by the dialog.
    std::map<int, std::string> tips;
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        char className[64];
        GetClassNameA(w, className, sizeof className);
        if (GetWindow(w, GW_OWNER) != dialog || std::string(className) != TOOLTIPS_CLASSA) continue;
        char tipText[128] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        ASSERT_TRUE(SendMessageA(w, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool)));
        tool.lpszText = tipText;
        SendMessageA(w, TTM_GETTEXTA, sizeof tipText, reinterpret_cast<LPARAM>(&tool));
        tips[GetDlgCtrlID(reinterpret_cast<HWND>(tool.uId))] = tipText;
    }
    EXPECT_EQ(tips.size(), 8u);
    EXPECT_EQ(tips[1002], "Controls how refined the resulting image appears");
    EXPECT_EQ(tips[1006], "Controls image quality (slower when un-checked)");
    EXPECT_EQ(tips[1305], "Show picture on every monitor, treating them as separate screens (slower option)");
    EXPECT_EQ(tips[IDC_IMAGE_SET_PANEL], "Check which images to show");

    EXPECT_EQ(addTooltip(dialog, 4242, "no such control"), nullptr);
    EXPECT_EQ(addTooltip(dialog, 1002, nullptr), nullptr);
}

TEST_F(ConfigDialog, StoredValuesOutsideTheRangesOpenAsStoredAndOkKeepsThem) {
    store("detail_level", 9);
    store("interval_option", 7);
    store("palette_type", 5);
    store("light_source", static_cast<DWORD>(-1));
    store("gloss_random", 0);
    open();
    EXPECT_EQ(selection(1002), 4);
    EXPECT_EQ(selection(1004), -1);
    EXPECT_FALSE(checked(1102) || checked(1103) || checked(1104));
    EXPECT_FALSE(checked(1108) || checked(1109) || checked(1110));
    EXPECT_FALSE(checked(1113));

    click(IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));  // ended
    const auto values = stored();
    EXPECT_EQ(values.at("detail_level"), 4);
    EXPECT_EQ(values.at("interval_option"), -1);
    EXPECT_EQ(values.at("palette_type"), 5);
    EXPECT_EQ(values.at("light_source"), -1);
    for (const auto& name : backend->written) {
        EXPECT_NE(name, "palette_type");
        EXPECT_NE(name, "light_source");
    }
}

TEST_F(ConfigDialog, EachTabShowsOnlyItsOwnControlsAndButtons) {
    open();
    for (int pass = 0; pass < 2; ++pass) {  // every tab, then again from the About tab
        for (int tab : {0, 1, 2, 3, 4}) {
            if (pass == 0 && tab == 0) {
                // As opened: General, without a click.
            } else {
                chooseTab(tab);
            }
            for (int t = 0; t < 5; ++t) {
                for (int id : kTabIds[t]) {
                    EXPECT_EQ(visible(id), t == tab) << "tab " << tab << " control " << id;
                }
            }
            const bool about = tab == 4;
            for (int id : {IDC_RESET_DEFAULTS, IDOK, IDCANCEL}) EXPECT_EQ(visible(id), !about) << tab << " " << id;
            for (int id : {IDC_DONATE, IDC_WEBSITE}) EXPECT_EQ(visible(id), about) << tab << " " << id;
            EXPECT_FALSE(visible(IDC_IMAGE_SET_PLACEHOLDER));
            EXPECT_TRUE(visible(IDC_TABS));
        }
    }
}

TEST_F(ConfigDialog, OkWritesEveryValueInOrderAndTheRegistryHoldsThem) {
    open();
    SendMessageA(item(1002), CB_SETCURSEL, 3, 0);
    SendMessageA(item(1004), CB_SETCURSEL, 2, 0);
    setPosition(1003, 33);
    click(1005);
    click(1006);
    chooseTab(1);
    setPosition(1106, 27);
    click(1103);
    click(1108);
    setPosition(1112, 7);
    click(1113);
    chooseTab(2);
    setPosition(1202, 253);
    click(1203);
    clickImage(1);
    clickImage(3);
    chooseTab(3);
    click(1305);
    chooseTab(0);
    click(IDOK);

    EXPECT_FALSE(IsWindowVisible(dialog));
    const std::vector<std::string> order = {
        "detail_level", "rotation_speed", "interval_option", "shuffle_images", "quick_draw",
        "transp_level", "palette_type", "light_source", "gloss_level", "gloss_random",
        "light_distance", "light_2_sides", "image_0", "image_1", "image_2", "image_3", "image_4",
        "monitor_mode"};
    EXPECT_EQ(backend->written, order);
    const std::map<std::string, int32_t> expected = {
        {"detail_level", 3}, {"rotation_speed", 33}, {"interval_option", 2}, {"shuffle_images", 1},
        {"quick_draw", 0}, {"transp_level", 27}, {"palette_type", 1}, {"light_source", 0},
        {"gloss_level", 7}, {"gloss_random", 1}, {"light_distance", 253}, {"light_2_sides", 0},
        {"image_0", 1}, {"image_1", 0}, {"image_2", 1}, {"image_3", 0}, {"image_4", 1},
        {"monitor_mode", 2}};
    EXPECT_EQ(stored(), expected);
}

TEST_F(ConfigDialog, CancelAndResetWriteNothingAndResetThenOkStoresEveryDefault) {
    const std::map<std::string, int32_t> before = {
        {"detail_level", 4}, {"rotation_speed", 12}, {"interval_option", 1}, {"shuffle_images", 1},
        {"quick_draw", 0}, {"transp_level", 30}, {"palette_type", 0}, {"light_source", 1},
        {"gloss_level", 9}, {"gloss_random", 1}, {"light_distance", 25}, {"light_2_sides", 0},
        {"image_0", 0}, {"image_1", 0}, {"image_2", 0}, {"image_3", 1}, {"image_4", 0},
        {"monitor_mode", 1}};
    for (const auto& [name, value] : before) store(name.c_str(), static_cast<DWORD>(value));

    // Changes, then Cancel.
    open();
    EXPECT_EQ(position(1202), 25);
    EXPECT_FALSE(IsWindowEnabled(imageBox(3)));  // the only image left cannot be cleared
    setPosition(1003, 40);
    click(1005);
    click(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_TRUE(backend->written.empty());
    EXPECT_EQ(stored(), before);
    DestroyWindow(dialog);

    // Reset, then Cancel: the controls show the defaults, the registry keeps its values.
    open();
    click(IDC_RESET_DEFAULTS);
    EXPECT_TRUE(IsWindowVisible(dialog));
    expectDefaultsShown(dialog);
    EXPECT_TRUE(SettingsStore::instance().registryEnabled);
    click(IDCANCEL);
    EXPECT_TRUE(backend->written.empty());
    EXPECT_EQ(stored(), before);
    DestroyWindow(dialog);

    // Reset, then OK: every default is stored, all five images enabled.
    open();
    click(IDC_RESET_DEFAULTS);
    click(IDOK);
    const std::map<std::string, int32_t> defaults = {
        {"detail_level", 1}, {"rotation_speed", 25}, {"interval_option", 0}, {"shuffle_images", 0},
        {"quick_draw", 1}, {"transp_level", 10}, {"palette_type", 2}, {"light_source", 2},
        {"gloss_level", 0}, {"gloss_random", 0}, {"light_distance", 100}, {"light_2_sides", 1},
        {"image_0", 1}, {"image_1", 1}, {"image_2", 1}, {"image_3", 1}, {"image_4", 1},
        {"monitor_mode", 0}};
    EXPECT_EQ(stored(), defaults);
}

TEST_F(ConfigDialog, OkWithNoImageCheckedWarnsWritesNothingAndStaysOpen) {
    for (int i = 0; i < kImageSetCount; ++i) store(("image_" + std::to_string(i)).c_str(), 0);
    open();
    chooseTab(2);
    for (int i = 0; i < kImageSetCount; ++i) {
        EXPECT_EQ(SendMessageA(imageBox(i), BM_GETCHECK, 0, 0), BST_UNCHECKED) << i;
        EXPECT_TRUE(IsWindowEnabled(imageBox(i))) << i;
    }
    click(IDOK);
    pump();
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].caption, "Warning");
    EXPECT_EQ(seenBoxes[0].text, "Please select at least one image (in Advanced tab)");
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(backend->written.empty());
    EXPECT_EQ(stored().size(), 5u);

    clickImage(4);
    EXPECT_FALSE(IsWindowEnabled(imageBox(4)));
    click(IDOK);
    EXPECT_EQ(seenBoxes.size(), 1u);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(stored().at("image_4"), 1);
    EXPECT_EQ(stored().at("image_0"), 0);
}

TEST_F(ConfigDialog, TheLastCheckedImageCannotBeCleared) {
    store("image_1", 0);
    store("image_3", 0);
    store("image_4", 0);
    open();
    chooseTab(2);
    for (int i : {0, 1, 2, 3, 4}) EXPECT_TRUE(IsWindowEnabled(imageBox(i))) << i;
    clickImage(2);
    EXPECT_EQ(SendMessageA(imageBox(2), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(IsWindowEnabled(imageBox(0)));
    for (int i : {1, 2, 3, 4}) EXPECT_TRUE(IsWindowEnabled(imageBox(i))) << i;
    clickImage(3);
    for (int i : {0, 1, 2, 3, 4}) EXPECT_TRUE(IsWindowEnabled(imageBox(i))) << i;
}

TEST(ImageSetGeometry, FollowsTheWindowHeightAndTheThumbMetric) {
    const ImageSetGeometry g = imageSetGeometry(110, 17);
    EXPECT_EQ(g.thumbnailHeight, 91);
    EXPECT_EQ(g.thumbnailWidth, 146);  // 145.6 rounded
    EXPECT_EQ(g.imageStep, 148);
    EXPECT_EQ(g.stripEnd, 739);
    EXPECT_EQ(imageSetGeometry(100, 17).thumbnailWidth, 130);  // 81 * 1.6 = 129.6
    EXPECT_EQ(imageSetGeometry(97, 16).thumbnailWidth, 126);   // 79 * 1.6 = 126.4
}

TEST_F(ConfigDialog, PanelTakesThePlaceholdersPlaceAndLaysOutTheStripForTheSystemMetrics) {
    open();
    HWND panel = item(IDC_IMAGE_SET_PANEL);
    ASSERT_NE(panel, nullptr);
    char className[32];
    GetClassNameA(panel, className, sizeof className);
    EXPECT_STREQ(className, "IMAGE_SET");
    EXPECT_TRUE(GetWindowLongA(panel, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    RECT placeholder = childRect(item(IDC_IMAGE_SET_PLACEHOLDER));
    RECT panelRect = childRect(panel);
    EXPECT_TRUE(EqualRect(&placeholder, &panelRect));

    RECT window, client;
    GetWindowRect(panel, &window);
    GetClientRect(panel, &client);
    const ImageSetGeometry g = imageSetGeometry(window.bottom - window.top, GetSystemMetrics(SM_CXHTHUMB));
    ASSERT_GT(g.thumbnailHeight, 0);
    for (int i = 0; i < kImageSetCount; ++i) {
        RECT thumb = childRect(GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST + i));
        EXPECT_EQ(thumb.left, 1 + i * g.imageStep) << i;
        EXPECT_EQ(thumb.top, 0) << i;
        EXPECT_EQ(thumb.right - thumb.left, g.thumbnailWidth) << i;
        EXPECT_EQ(thumb.bottom - thumb.top, g.thumbnailHeight) << i;
        RECT box = childRect(imageBox(i));
        EXPECT_EQ(box.left, thumb.left + 6) << i;
        EXPECT_EQ(box.top, 6) << i;
        EXPECT_EQ(GetDlgCtrlID(imageBox(i)), IDC_IMAGE_CHECK_FIRST + i);
        // The check box lies above its thumbnail in the z-order.
        bool boxFirst = false;
        for (HWND w = GetWindow(panel, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
            if (w == imageBox(i)) boxFirst = true;
            if (GetDlgCtrlID(w) == IDC_IMAGE_THUMBNAIL_FIRST + i) break;
        }
        EXPECT_TRUE(boxFirst) << i;
    }
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(panel, SB_HORZ, &info);
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax, g.stripEnd + 1 - client.right);
    EXPECT_EQ(info.nPos, 0);
    EXPECT_EQ(info.nPage, 0u);
}

TEST_F(ConfigDialog, PanelScrollsOnePixelPerArrowAndStopsAtItsEnds) {
    open();
    chooseTab(2);
    HWND panel = item(IDC_IMAGE_SET_PANEL);
    HWND first = GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST);
    HWND last = GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST + 4);
    auto scroll = [&](int request) {
        SendMessageA(panel, WM_HSCROLL, MAKEWPARAM(request, 0), 0);
        pump();
        return GetScrollPos(panel, SB_HORZ);
    };
    EXPECT_EQ(scroll(SB_LINERIGHT), 1);
    EXPECT_EQ(childRect(first).left, 0);
    EXPECT_EQ(childRect(imageBox(0)).left, 6);
    EXPECT_EQ(scroll(SB_LINERIGHT), 2);
    EXPECT_EQ(childRect(first).left, -1);
    EXPECT_EQ(scroll(SB_LINELEFT), 1);
    EXPECT_EQ(childRect(first).left, 0);
    EXPECT_EQ(scroll(SB_PAGERIGHT), 1);  // the page is empty: a click in the trough does not move
    EXPECT_EQ(scroll(SB_THUMBPOSITION), 1);
    EXPECT_EQ(scroll(SB_LINELEFT), 0);
    EXPECT_EQ(scroll(SB_LINELEFT), 0);  // clamped at the left end
    EXPECT_EQ(childRect(first).left, 1);

    RECT client;
    GetClientRect(panel, &client);
    const int maximum = scroll(SB_RIGHT);
    EXPECT_GT(maximum, 0);
    EXPECT_EQ(childRect(first).left, 1 - maximum);
    EXPECT_EQ(childRect(last).right, client.right - 1);  // the strip's last pixel at the right edge
    EXPECT_EQ(scroll(SB_LINERIGHT), maximum);
    EXPECT_EQ(scroll(SB_LEFT), 0);
    EXPECT_EQ(childRect(first).left, 1);
}

TEST_F(ConfigDialog, MovingTheDialogCreatesNoSecondPanelAndTheClassGoesWithTheDialog) {
    open();
    HWND panel = item(IDC_IMAGE_SET_PANEL);
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(IsWindowVisible(panel));
    SetWindowPos(dialog, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    pump();
    SetWindowPos(dialog, nullptr, 80, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    pump();
    int panels = 0;
    for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        char className[32];
        GetClassNameA(w, className, sizeof className);
        panels += std::string(className) == "IMAGE_SET";
    }
    EXPECT_EQ(panels, 1);
    EXPECT_EQ(item(IDC_IMAGE_SET_PANEL), panel);
    EXPECT_EQ(GetWindow(dialog, GW_CHILD), panel);  // brought above its siblings

    std::vector<HGDIOBJ> bitmaps;
    for (int i = 0; i < kImageSetCount; ++i) {
        HWND thumbnail = GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST + i);
        bitmaps.push_back(reinterpret_cast<HGDIOBJ>(SendMessageA(thumbnail, STM_GETIMAGE, IMAGE_BITMAP, 0)));
        ASSERT_EQ(GetObjectType(bitmaps.back()), static_cast<DWORD>(OBJ_BITMAP)) << i;
    }

    DestroyWindow(dialog);
    dialog = nullptr;
    for (HGDIOBJ bitmap : bitmaps) EXPECT_EQ(GetObjectType(bitmap), 0u);  // deleted with the panel
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(nullptr), "IMAGE_SET", &windowClass));
    for (int i = 0; i < kImageSetCount; ++i) EXPECT_EQ(imageBox(i), nullptr);
}

TEST_F(ConfigDialog, WithoutItsPanelTheDialogShowsTheErrorBoxOnceAndOkOnlyWarns) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA taken{};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = instance;
    taken.lpszClassName = "IMAGE_SET";
    ASSERT_NE(RegisterClassExA(&taken), 0);  // the panel's class cannot be registered again
    open();
    UnregisterClassA("IMAGE_SET", instance);
    EXPECT_EQ(item(IDC_IMAGE_SET_PANEL), nullptr);
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].caption.rfind("Unexpected Error (1410)", 0), 0u) << seenBoxes[0].caption;

    SetWindowPos(dialog, nullptr, 50, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    pump();
    EXPECT_EQ(seenBoxes.size(), 1u);  // moving the dialog does not repeat the box

    click(IDOK);
    ASSERT_EQ(seenBoxes.size(), 2u);
    EXPECT_EQ(seenBoxes[1].caption, "Warning");
    EXPECT_TRUE(IsWindowVisible(dialog));
    click(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_TRUE(stored().empty());
}

// The settings dialog this thread shows, if it is up (other processes may show theirs at the same time).
BOOL CALLBACK findSetupDialog(HWND window, LPARAM found) {
    char className[16] = {}, caption[32] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::string(className) == "#32770" && std::string(caption) == "Orbivane Setup") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}
HWND ownSetupDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findSetupDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Posts a click on the modal dialog's button `id` once the dialog is up.
UINT clickWhenShown = 0;
void CALLBACK clickModalDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = ownSetupDialog();
    if (dialog != nullptr) {
        KillTimer(nullptr, timer);
        PostMessageA(GetDlgItem(dialog, clickWhenShown), BM_CLICK, 0, 0);
    }
}

TEST_F(ConfigDialog, RunsModallyAndReturnsOneAfterOkAndZeroAfterCancel) {
    clickWhenShown = IDCANCEL;
    SetTimer(nullptr, 0, 50, clickModalDialog);
    EXPECT_EQ(runConfigDialog(GetModuleHandleA(nullptr), nullptr), 0);
    EXPECT_TRUE(stored().empty());

    clickWhenShown = IDOK;
    SetTimer(nullptr, 0, 50, clickModalDialog);
    EXPECT_EQ(runConfigDialog(GetModuleHandleA(nullptr), nullptr), 1);
    EXPECT_EQ(stored().size(), 18u);
}

// The Enter key as the dialog manager receives it: a key press at the control that has the focus.
MSG enterKeyAt(HWND dialog) {
    HWND focus = GetFocus();
    MSG message{};
    message.hwnd = focus != nullptr && IsChild(dialog, focus) ? focus : dialog;
    message.message = WM_KEYDOWN;
    message.wParam = VK_RETURN;
    message.lParam = 0x001C0001;  // repeat count 1, scan code of Enter
    return message;
}

TEST_F(ConfigDialog, OkIsTheDefaultButtonOnEveryTab) {
    open();
    for (int tab : {0, 1, 2, 3, 4, 0}) {
        chooseTab(tab);
        const LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        EXPECT_EQ(HIWORD(defaultId), DC_HASDEFID) << tab;
        EXPECT_EQ(LOWORD(defaultId), IDOK) << tab;
        // Only OK is drawn as the default; the About tab's buttons are plain.
        EXPECT_EQ(GetWindowLongA(item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON) << tab;
        for (int id : {IDCANCEL, IDC_RESET_DEFAULTS, IDC_DONATE, IDC_WEBSITE}) {
            EXPECT_EQ(GetWindowLongA(item(id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << tab << " " << id;
        }
    }
}

TEST_F(ConfigDialog, EnterStoresTheSettingsAndClosesTheDialogOnTheFirstAndTheAboutTab) {
    for (int tab : {0, 4}) {
        RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
        open();
        chooseTab(tab);
        SetFocus(item(IDC_TABS));
        MSG enter = enterKeyAt(dialog);
        EXPECT_TRUE(IsDialogMessageA(dialog, &enter));
        pump();
        EXPECT_FALSE(IsWindowVisible(dialog)) << "tab " << tab;
        EXPECT_EQ(stored().size(), 18u) << "tab " << tab;
        DestroyWindow(dialog);
        dialog = nullptr;
    }
}

// Presses Enter in the modal dialog once it is up, through the dialog's own message loop; a Cancel click
// queued behind it ends a dialog that Enter left open.
void CALLBACK pressEnterInModalDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = ownSetupDialog();
    if (dialog != nullptr) {
        KillTimer(nullptr, timer);
        const MSG enter = enterKeyAt(dialog);
        PostMessageA(enter.hwnd, enter.message, enter.wParam, enter.lParam);
        PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    }
}

TEST_F(ConfigDialog, EnterInTheModalDialogEndsItLikeOk) {
    SetTimer(nullptr, 0, 50, pressEnterInModalDialog);
    EXPECT_EQ(runConfigDialog(GetModuleHandleA(nullptr), nullptr), 1);
    EXPECT_EQ(stored().size(), 18u);
}

TEST_F(ConfigDialog, ResizingThePanelBringsTheStripBackToItsStart) {
    open();
    chooseTab(2);
    HWND panel = item(IDC_IMAGE_SET_PANEL);
    HWND first = GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST);
    SendMessageA(panel, WM_HSCROLL, SB_RIGHT, 0);
    pump();
    ASSERT_GT(GetScrollPos(panel, SB_HORZ), 0);
    ASSERT_LT(childRect(first).left, 0);

    RECT window, client;
    GetWindowRect(panel, &window);
    SetWindowPos(panel, nullptr, 0, 0, window.right - window.left - 40, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    pump();
    GetClientRect(panel, &client);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(panel, SB_HORZ, &info);
    EXPECT_EQ(info.nPos, 0);
    EXPECT_EQ(info.nMax, kImageSetCount * (childRect(GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST + 1)).left -
                                           childRect(first).left) - client.right);
    // The strip follows the scroll bar: it starts at its left edge again, check boxes with it.
    EXPECT_EQ(childRect(first).left, 1);
    EXPECT_EQ(childRect(imageBox(0)).left, 7);
    EXPECT_EQ(SendMessageA(panel, WM_HSCROLL, SB_LINERIGHT, 0), 0);
    EXPECT_EQ(childRect(first).left, 0);
}

}  // namespace
