// The settings dialog from its real template and procedure, driven with the messages a user's clicks send.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/win32/config_dialog.h"
#include "config/win32/image_set_panel.h"
#include "resource_ids.h"
#include "settings/settings_store.h"
#include "settings/win32/registry_backend.h"
#include "support/memory_backend.h"
#include "support/message_pump.h"

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

void pump() { pumpMessages(); }

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

    void open(HWND owner = nullptr) {
        dialog =
            CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG), owner, configDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        pump();
        backend->written.clear();
    }

    void store(const char* name, DWORD value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
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
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data), &dataSize) !=
                ERROR_SUCCESS) {
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
    for (int i = 0; i < kImageCount; ++i) {
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
        "detail_level", "rotation_speed", "interval_option", "shuffle_images", "quick_draw",     "transp_level",
        "palette_type", "light_source",   "gloss_level",     "gloss_random",   "light_distance", "light_2_sides",
        "image_0",      "image_1",        "image_2",         "image_3",        "image_4",        "monitor_mode"};
    EXPECT_EQ(backend->written, order);
    const std::map<std::string, int32_t> expected = {
        {"detail_level", 3}, {"rotation_speed", 33}, {"interval_option", 2},  {"shuffle_images", 1},
        {"quick_draw", 0},   {"transp_level", 27},   {"palette_type", 1},     {"light_source", 0},
        {"gloss_level", 7},  {"gloss_random", 1},    {"light_distance", 253}, {"light_2_sides", 0},
        {"image_0", 1},      {"image_1", 0},         {"image_2", 1},          {"image_3", 0},
        {"image_4", 1},      {"monitor_mode", 2}};
    EXPECT_EQ(stored(), expected);
}

TEST_F(ConfigDialog, CancelAndResetWriteNothingAndResetThenOkStoresEveryDefault) {
    const std::map<std::string, int32_t> before = {
        {"detail_level", 4}, {"rotation_speed", 12}, {"interval_option", 1}, {"shuffle_images", 1},
        {"quick_draw", 0},   {"transp_level", 30},   {"palette_type", 0},    {"light_source", 1},
        {"gloss_level", 9},  {"gloss_random", 1},    {"light_distance", 25}, {"light_2_sides", 0},
        {"image_0", 0},      {"image_1", 0},         {"image_2", 0},         {"image_3", 1},
        {"image_4", 0},      {"monitor_mode", 1}};
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
        {"detail_level", 1}, {"rotation_speed", 25}, {"interval_option", 0},  {"shuffle_images", 0},
        {"quick_draw", 1},   {"transp_level", 10},   {"palette_type", 2},     {"light_source", 2},
        {"gloss_level", 0},  {"gloss_random", 0},    {"light_distance", 100}, {"light_2_sides", 1},
        {"image_0", 1},      {"image_1", 1},         {"image_2", 1},          {"image_3", 1},
        {"image_4", 1},      {"monitor_mode", 0}};
    EXPECT_EQ(stored(), defaults);
}

TEST_F(ConfigDialog, OkWithNoImageCheckedWarnsWritesNothingAndStaysOpen) {
    for (int i = 0; i < kImageCount; ++i) store(("image_" + std::to_string(i)).c_str(), 0);
    open();
    chooseTab(2);
    for (int i = 0; i < kImageCount; ++i) {
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
    for (int i = 0; i < kImageCount; ++i) {
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
    for (int i = 0; i < kImageCount; ++i) {
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
    for (int i = 0; i < kImageCount; ++i) EXPECT_EQ(imageBox(i), nullptr);
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

TEST_F(ConfigDialog, TheDefaultButtonFollowsTheTab) {
    open();
    for (int tab : {0, 1, 2, 3, 4, 0, 4, 3}) {
        chooseTab(tab);
        // Enter presses OK, or Donate on the About tab: always a button that the tab shows.
        const int expected = tab == 4 ? IDC_DONATE : IDOK;
        const LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        EXPECT_EQ(HIWORD(defaultId), DC_HASDEFID) << tab;
        EXPECT_EQ(LOWORD(defaultId), expected) << tab;
        EXPECT_TRUE(visible(expected)) << tab;
        // Only the default button is drawn as the default.
        for (int id : {IDOK, IDCANCEL, IDC_RESET_DEFAULTS, IDC_DONATE, IDC_WEBSITE}) {
            EXPECT_EQ(GetWindowLongA(item(id), GWL_STYLE) & BS_TYPEMASK,
                      id == expected ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)
                << tab << " " << id;
        }
    }
}

// Enter on the first tab as opened, and on the Monitors tab after a visit to the About tab, whose default
// button is Donate (pressing it would open the donation page, so it is not pressed here).
TEST_F(ConfigDialog, EnterStoresTheSettingsAndClosesTheDialogOnTheFirstFourTabs) {
    for (int tab : {0, 3}) {
        RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
        open();
        if (tab != 0) chooseTab(4);
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

// The colour a window paints at (x, y) of its client area when asked to draw itself into a bitmap.
COLORREF printedPixel(HWND window, int x, int y) {
    RECT client{};
    GetClientRect(window, &client);
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF colour = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return colour;
}

// Labels, check boxes, radio buttons, group boxes and trackbars stand on the tab page as its siblings:
// where they leave their own area unpainted by text or marks, they show the page's colour, not the
// dialog's (a box behind every label on a lighter page, as themed tab controls draw it).
TEST_F(ConfigDialog, ControlsOnTheTabPageShowThePagesBackground) {
    open();
    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    RECT page{};
    GetClientRect(tabs, &page);
    SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    const COLORREF pageColour = printedPixel(tabs, (page.left + page.right) / 2, (page.top + page.bottom) / 2);
    ASSERT_NE(pageColour, CLR_INVALID);
    if (pageColour == GetSysColor(COLOR_BTNFACE)) {
        GTEST_SKIP() << "the page is drawn in the dialog's own colour here";
    }
    struct Spot {
        int tab, id;
        bool fromRight;  // sample near the right end (text on the left) instead of the left end
    };
    const Spot spots[] = {
        {0, IDC_DETAIL_LABEL, false},          {0, IDC_ROTATION_LABEL, false},  {0, IDC_SHUFFLE_CHECK, true},
        {0, IDC_ROTATION_TRACKBAR, false},     {1, IDC_PALETTE_STANDARD, true}, {1, IDC_GLOSS_RANDOM_CHECK, true},
        {1, IDC_TRANSPARENCY_TRACKBAR, false}, {2, IDC_TWO_SIDES_CHECK, true},  {3, IDC_MONITOR_CROSS, true},
    };
    for (const Spot& spot : spots) {
        chooseTab(spot.tab);
        HWND control = item(spot.id);
        ASSERT_NE(control, nullptr) << spot.id;
        RECT own{};
        GetClientRect(control, &own);
        const int x = spot.fromRight ? own.right - 2 : 1;
        EXPECT_EQ(printedPixel(control, x, own.bottom / 2), pageColour) << "control " << spot.id;
    }
    // The buttons below the page keep the dialog's own colour around them.
    chooseTab(0);
    HDC memory = CreateCompatibleDC(nullptr);
    const LRESULT brush =
        SendMessageA(dialog, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(memory), reinterpret_cast<LPARAM>(item(IDOK)));
    DeleteDC(memory);
    LOGBRUSH drawn{};
    ASSERT_NE(GetObjectA(reinterpret_cast<HBRUSH>(brush), sizeof drawn, &drawn), 0);
    EXPECT_NE(drawn.lbColor, pageColour);
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
    EXPECT_EQ(info.nMax,
              kImageCount * (childRect(GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST + 1)).left - childRect(first).left) -
                  client.right);
    // The strip follows the scroll bar: it starts at its left edge again, check boxes with it.
    EXPECT_EQ(childRect(first).left, 1);
    EXPECT_EQ(childRect(imageBox(0)).left, 7);
    EXPECT_EQ(SendMessageA(panel, WM_HSCROLL, SB_LINERIGHT, 0), 0);
    EXPECT_EQ(childRect(first).left, 0);
}

TEST(DialogPlacement, CentresOnTheTargetAndKeepsTheWindowInsideTheWorkArea) {
    const RECT window{0, 0, 400, 300};
    const RECT work{0, 0, 1280, 984};
    auto origin = [&](RECT target, RECT area) {
        const POINT p = centredWindowOrigin(window, target, area);
        return std::make_pair(p.x, p.y);
    };
    EXPECT_EQ(origin({100, 100, 701, 500}, work), std::make_pair(LONG{200}, LONG{150}));  // odd sizes round down
    EXPECT_EQ(origin(work, work), std::make_pair(LONG{440}, LONG{342}));
    EXPECT_EQ(origin({1100, 900, 1300, 1000}, work), std::make_pair(LONG{880}, LONG{684}));  // clamped right, bottom
    EXPECT_EQ(origin({-300, -200, -100, 0}, work), std::make_pair(LONG{0}, LONG{0}));        // clamped left, top
    // A second monitor left of the primary, and one smaller than the window: its top-left corner wins.
    EXPECT_EQ(origin({-1024, 0, 0, 768}, {-1024, 0, 0, 740}), std::make_pair(LONG{-712}, LONG{234}));
    EXPECT_EQ(origin({0, 0, 320, 200}, {0, 0, 320, 200}), std::make_pair(LONG{0}, LONG{0}));
}

// A plain top-level window standing in for the window that opens the settings.
struct OwnerWindow {
    OwnerWindow(int x, int y, int width, int height, bool shown) {
        handle = CreateWindowExA(0, "Static", "Owner", WS_OVERLAPPEDWINDOW | (shown ? WS_VISIBLE : 0), x, y, width,
                                 height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~OwnerWindow() { DestroyWindow(handle); }
    HWND handle;
};

POINT centreOf(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

RECT workAreaAt(POINT point) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

bool inside(HWND window, const RECT& area) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect.left >= area.left && rect.top >= area.top && rect.right <= area.right && rect.bottom <= area.bottom;
}

TEST_F(ConfigDialog, OpensCentredOnItsOwnerAndWhollyOnItsMonitor) {
    const POINT pointer = [] {
        POINT p{};
        GetCursorPos(&p);
        return p;
    }();
    const RECT work = workAreaAt(pointer);
    {
        OwnerWindow owner(work.left + 120, work.top + 90, 700, 520, true);
        open(owner.handle);
        ASSERT_EQ(GetWindow(dialog, GW_OWNER), owner.handle);
        const POINT a = centreOf(dialog), b = centreOf(owner.handle);
        EXPECT_LE(std::abs(a.x - b.x), 1);
        EXPECT_LE(std::abs(a.y - b.y), 1);
        EXPECT_NE(item(IDC_IMAGE_SET_PANEL), nullptr);  // the first positioning made the panel
        DestroyWindow(dialog);
    }
    {
        // An owner in the work area's bottom-right corner: the dialog stays on the screen.
        OwnerWindow owner(work.right - 150, work.bottom - 100, 200, 150, true);
        open(owner.handle);
        EXPECT_TRUE(inside(dialog, work));
        RECT rect;
        GetWindowRect(dialog, &rect);
        EXPECT_EQ(rect.right, work.right);
        EXPECT_EQ(rect.bottom, work.bottom);
        DestroyWindow(dialog);
    }
    {
        // An owner that is not shown counts as none: the pointer's monitor decides.
        OwnerWindow owner(work.left, work.top, 100, 80, false);
        open(owner.handle);
        const POINT a = centreOf(dialog);
        EXPECT_LE(std::abs(a.x - (work.left + work.right) / 2), 1);
        EXPECT_LE(std::abs(a.y - (work.top + work.bottom) / 2), 1);
        DestroyWindow(dialog);
    }
    dialog = nullptr;
}

TEST_F(ConfigDialog, WithoutAnOwnerOpensCentredOnTheMonitorThatHoldsThePointer) {
    POINT pointer{};
    GetCursorPos(&pointer);
    open();
    const RECT work = workAreaAt(pointer);
    const POINT a = centreOf(dialog);
    EXPECT_LE(std::abs(a.x - (work.left + work.right) / 2), 1);
    EXPECT_LE(std::abs(a.y - (work.top + work.bottom) / 2), 1);
    EXPECT_TRUE(inside(dialog, work));
}

// One control of the settings dialog as it must open: rectangle in dialog units, style without WS_CHILD
// and WS_VISIBLE (which `shown` gives).
struct TemplateControl {
    int id;
    const char* className;
    const char* caption;  // null: not compared
    RECT units;           // x, y, width, height
    DWORD style;
    bool shown;
};

const TemplateControl kTemplate[] = {
    {1000, "SysTabControl32", "Tab1", {7, 6, 270, 134}, WS_TABSTOP, true},
    {1007, "Static", "Detail Level", {26, 35, 50, 8}, SS_RIGHT | WS_GROUP, true},
    {1008, "Static", "Rotation Speed", {16, 60, 60, 8}, SS_RIGHT | WS_GROUP, true},
    {1009, "Static", "Time Interval", {26, 85, 50, 8}, SS_RIGHT | WS_GROUP, true},
    {1002, "ComboBox", nullptr, {86, 33, 148, 230}, CBS_DROPDOWNLIST | WS_VSCROLL | WS_GROUP | WS_TABSTOP, true},
    {1003, "msctls_trackbar32", nullptr, {86, 58, 148, 15}, TBS_AUTOTICKS | WS_TABSTOP, true},
    {1004, "ComboBox", nullptr, {86, 83, 148, 230}, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, true},
    {1005, "Button", "Shuffle Images", {86, 110, 60, 10}, BS_AUTOCHECKBOX | WS_TABSTOP, true},
    {1006, "Button", "Quick Draw", {170, 110, 60, 10}, BS_AUTOCHECKBOX | WS_TABSTOP, true},
    {1105, "Static", "Transparency Level", {30, 59, 90, 8}, SS_LEFT | WS_GROUP, false},
    {1106, "msctls_trackbar32", nullptr, {103, 58, 126, 13}, TBS_NOTICKS | WS_TABSTOP, false},
    {1101, "Button", "Palette", {30, 24, 210, 26}, BS_GROUPBOX, false},
    {1102, "Button", "Standard", {50, 35, 50, 10}, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, false},
    {1103, "Button", "Alternative", {115, 35, 50, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP, false},
    {1104, "Button", "Random", {180, 35, 50, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP, false},
    {1107, "Button", "Light Source", {30, 74, 210, 26}, BS_GROUPBOX, false},
    {1108, "Button", "Fixed", {50, 85, 50, 10}, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, false},
    {1109, "Button", "Moving", {115, 85, 50, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP, false},
    {1110, "Button", "Random", {180, 85, 50, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP, false},
    {1111, "Button", "Gloss Level", {30, 104, 210, 26}, BS_GROUPBOX, false},
    {1112, "msctls_trackbar32", nullptr, {48, 115, 100, 12}, TBS_NOTICKS | WS_TABSTOP, false},
    {1113, "Button", "Random", {180, 115, 50, 10}, BS_AUTOCHECKBOX | WS_TABSTOP, false},
    {1201, "Static", "Distance to Light", {30, 31, 60, 8}, SS_LEFT | WS_GROUP, false},
    {1202, "msctls_trackbar32", nullptr, {100, 30, 126, 13}, TBS_NOTICKS | WS_TABSTOP, false},
    {1203, "Button", "Light both sides (default)", {30, 50, 180, 10}, BS_AUTOCHECKBOX | WS_TABSTOP, false},
    {9204, "Static", "", {30, 68, 220, 62}, SS_WHITERECT | SS_SUNKEN, false},
    {1302, "Button", "Multi-monitor support mode", {30, 30, 210, 70}, BS_GROUPBOX, false},
    {1303, "Button", "Cross-screen mode", {50, 46, 150, 10}, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, false},
    {1304, "Button", "Primary monitor mode", {50, 62, 150, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP, false},
    {1305, "Button", "Individual monitors mode", {50, 78, 150, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP, false},
    {1401, "Static", "Orbivane Screensaver", {10, 25, 250, 10}, SS_CENTER | WS_GROUP, false},
    {1402, "Static", nullptr, {80, 40, 110, 73}, SS_BITMAP | SS_CENTERIMAGE | SS_SUNKEN, false},
    {1403, "Static", nullptr, {10, 120, 250, 10}, SS_CENTER | WS_GROUP, false},
    {3000, "Button", "Reset to Defaults", {8, 145, 90, 14}, BS_PUSHBUTTON | WS_TABSTOP, true},
    {1, "Button", "OK", {166, 145, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP, true},
    {2, "Button", "Cancel", {226, 145, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP, true},
    {9004, "Button", "Visit Our Website", {17, 145, 100, 14}, BS_PUSHBUTTON | WS_TABSTOP, false},
    {9003, "Button", "Donate", {166, 145, 100, 14}, BS_PUSHBUTTON | WS_TABSTOP, false},
};

// The settings dialog's template as stored in the resource (an extended dialog template).
struct StoredTemplate {
    struct Item {
        DWORD style = 0, exStyle = 0;
        RECT units{};  // x, y, width, height
        int id = 0;
        std::string className;  // a predefined class as its name
        std::string caption;    // a resource ordinal as "#<n>"
    };
    WORD version = 0, signature = 0;
    DWORD style = 0;
    RECT units{};
    std::string caption, font;
    WORD pointSize = 0, weight = 0;
    std::vector<Item> items;
};

// Reads one "string or ordinal" field of a dialog template and moves past it.
std::string readNameOrOrdinal(const WORD*& p) {
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80:
            return "Button";
        case 0x81:
            return "Edit";
        case 0x82:
            return "Static";
        case 0x83:
            return "ListBox";
        case 0x84:
            return "ScrollBar";
        case 0x85:
            return "ComboBox";
        default:
            return "#" + std::to_string(ordinal);
        }
    }
    std::string text;
    for (; *p != 0; ++p) text += static_cast<char>(*p);  // the template's texts are ASCII
    ++p;
    return text;
}

StoredTemplate readStoredTemplate(int id) {
    StoredTemplate t;
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (resource == nullptr) return t;
    const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
    const WORD* p = reinterpret_cast<const WORD*>(base);
    t.version = p[0];
    t.signature = p[1];
    if (t.version != 1 || t.signature != 0xFFFF) return t;
    const auto dword = [](const WORD* at) {
        DWORD v;
        std::memcpy(&v, at, sizeof v);
        return v;
    };
    t.style = dword(p + 6);
    const WORD count = p[8];
    t.units = {static_cast<SHORT>(p[9]), static_cast<SHORT>(p[10]), static_cast<SHORT>(p[11]),
               static_cast<SHORT>(p[12])};
    p += 13;
    readNameOrOrdinal(p);  // menu
    readNameOrOrdinal(p);  // class
    t.caption = readNameOrOrdinal(p);
    if (t.style & DS_SETFONT) {
        t.pointSize = p[0];
        t.weight = p[1];
        p += 3;  // point size, weight, italic and character set bytes
        t.font = readNameOrOrdinal(p);
    }
    for (WORD i = 0; i < count; ++i) {
        const auto offset = reinterpret_cast<const BYTE*>(p) - base;
        p = reinterpret_cast<const WORD*>(base + ((offset + 3) & ~3));  // items start on a DWORD boundary
        StoredTemplate::Item item;
        item.exStyle = dword(p + 2);
        item.style = dword(p + 4);
        item.units = {static_cast<SHORT>(p[6]), static_cast<SHORT>(p[7]), static_cast<SHORT>(p[8]),
                      static_cast<SHORT>(p[9])};
        item.id = static_cast<int>(dword(p + 10));
        p += 12;
        item.className = readNameOrOrdinal(p);
        item.caption = readNameOrOrdinal(p);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        t.items.push_back(item);
    }
    return t;
}

TEST(DialogTemplate, IsTheTableExactlyIdsClassesCaptionsRectanglesAndStyles) {
    const StoredTemplate t = readStoredTemplate(IDD_CONFIG);
    ASSERT_EQ(t.version, 1);  // extended
    ASSERT_EQ(t.signature, 0xFFFF);
    EXPECT_EQ(t.style,
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(t.units.right, 284);
    EXPECT_EQ(t.units.bottom, 164);
    EXPECT_EQ(t.caption, "Orbivane Setup");
    EXPECT_EQ(t.font, "Arial");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, FW_NORMAL);

    ASSERT_EQ(t.items.size(), sizeof kTemplate / sizeof kTemplate[0]);
    for (size_t i = 0; i < t.items.size(); ++i) {
        const StoredTemplate::Item& item = t.items[i];
        SCOPED_TRACE(item.id);
        const TemplateControl* row = nullptr;
        for (const TemplateControl& r : kTemplate) row = r.id == item.id ? &r : row;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(lstrcmpiA(item.className.c_str(), row->className), 0) << item.className;
        if (row->caption != nullptr) {
            EXPECT_EQ(item.caption, row->caption);
        }
        EXPECT_EQ(item.style, WS_CHILD | (row->shown ? WS_VISIBLE : 0) | row->style) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_TRUE(EqualRect(&item.units, &row->units))
            << item.units.left << "," << item.units.top << "," << item.units.right << "," << item.units.bottom;
    }
    for (const StoredTemplate::Item& item : t.items) {
        if (item.id == IDC_ABOUT_PICTURE) {
            EXPECT_EQ(item.caption, "#9003");  // the About bitmap
        }
    }
}

TEST_F(ConfigDialog, TheOpenDialogHasTheTemplatesFontSizeAndControlsInPlace) {
    open();
    char text[128];
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, "Orbivane Setup");
    LOGFONTA font{};
    ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_STREQ(font.lfFaceName, "Arial");
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    RECT size{0, 0, 284, 164}, client;
    MapDialogRect(dialog, &size);
    GetClientRect(dialog, &client);
    EXPECT_TRUE(EqualRect(&size, &client));

    for (const TemplateControl& row : kTemplate) {
        SCOPED_TRACE(row.id);
        HWND control = item(row.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control), dialog);
        char className[64];
        GetClassNameA(control, className, sizeof className);
        EXPECT_EQ(lstrcmpiA(className, row.className), 0) << className;
        if (row.caption != nullptr) {
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(text, row.caption);
        }
        EXPECT_EQ(IsWindowVisible(control) != FALSE, row.shown);
        // The kind of control as created (the system adjusts tab stops and scroll bars of some).
        const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(style & 0xFFFF, row.style & 0xFFFF) << std::hex << style;

        RECT expected{row.units.left, row.units.top, row.units.left + row.units.right,
                      row.units.top + row.units.bottom};
        MapDialogRect(dialog, &expected);
        const RECT actual = childRect(control);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right, expected.right);
        // A closed combo box is as high as its selection field; the template gives the open height.
        if (lstrcmpiA(row.className, "ComboBox") != 0) {
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
    }
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(SendMessageA(item(1402), STM_GETIMAGE, IMAGE_BITMAP, 0))),
              static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_GT(GetWindowTextLengthA(item(1403)), 0);

    // Nothing else: besides the table's controls the dialog holds only the panel made in the placeholder's place.
    int children = 0;
    for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) ++children;
    EXPECT_EQ(children, static_cast<int>(sizeof kTemplate / sizeof kTemplate[0]) + 1);
}

TEST_F(ConfigDialog, DraggingThePanelsThumbMovesTheStripWithIt) {
    open();
    chooseTab(2);
    HWND panel = item(IDC_IMAGE_SET_PANEL);
    HWND first = GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST);
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof bar;
    ASSERT_TRUE(GetScrollBarInfo(panel, OBJID_HSCROLL, &bar));
    const POINT grab{bar.rcScrollBar.left + (bar.xyThumbTop + bar.xyThumbBottom) / 2,
                     (bar.rcScrollBar.top + bar.rcScrollBar.bottom) / 2};
    // The drag as the scroll bar's tracking loop reads it: queued moves (client coordinates), then the release.
    POINT to{grab.x + 60, grab.y};
    ScreenToClient(panel, &to);
    PostMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    PostMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    SendMessageA(panel, WM_NCLBUTTONDOWN, HTHSCROLL, MAKELPARAM(grab.x, grab.y));
    pump();

    const int position = GetScrollPos(panel, SB_HORZ);
    EXPECT_GT(position, 0);
    EXPECT_EQ(childRect(first).left, 1 - position);
    EXPECT_EQ(childRect(imageBox(0)).left, 7 - position);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ConfigDialog, AMissingThumbnailShowsTheErrorBoxAndLeavesTheImagesAfterItWithoutCheckBoxes) {
    HMODULE module = LoadLibraryA(TWO_THUMBNAILS_MODULE);
    ASSERT_NE(module, nullptr);
    dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_CONFIG), nullptr, configDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    pump();
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].caption.rfind("Unexpected Error (1814)", 0), 0u)
        << seenBoxes[0].caption;  // no such resource

    HWND panel = item(IDC_IMAGE_SET_PANEL);
    ASSERT_NE(panel, nullptr);
    for (int i = 0; i < kImageCount; ++i) {
        SCOPED_TRACE(i);
        HWND thumbnail = GetDlgItem(panel, IDC_IMAGE_THUMBNAIL_FIRST + i);
        const bool complete = i < 2;
        EXPECT_EQ(imageBox(i) != nullptr, complete);
        EXPECT_EQ(GetDlgItem(panel, IDC_IMAGE_CHECK_FIRST + i) != nullptr, complete);
        if (complete) {
            ASSERT_NE(thumbnail, nullptr);
            EXPECT_NE(SendMessageA(thumbnail, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        }
        if (i > 2) {
            EXPECT_EQ(thumbnail, nullptr);  // the build stopped at the missing one
        }
    }

    // The two complete images work as ever: the last checked one cannot be cleared, OK stores them.
    chooseTab(2);
    clickImage(0);
    EXPECT_FALSE(IsWindowEnabled(imageBox(1)));
    click(IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(stored().at("image_0"), 0);
    EXPECT_EQ(stored().at("image_1"), 1);
    DestroyWindow(dialog);
    dialog = nullptr;
    FreeLibrary(module);
}

}  // namespace
