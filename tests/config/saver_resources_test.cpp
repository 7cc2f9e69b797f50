// The built Orbivane.scr read back as the system reads it: its version block, its manifest, and the common
// controls its settings dialog is given.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

const char* const kSaver = ORBIVANE_SCR;  // path of the built Orbivane.scr

std::vector<BYTE> versionBlockOf(const char* path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoA(path, 0, size, block.data())) block.clear();
    return block;
}

std::string versionString(std::vector<BYTE>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0) {
        return "(missing)";
    }
    return std::string(value);
}

TEST(SaverResources, VersionBlockNamesTheProgramItsVersionAndItsAuthors) {
    std::vector<BYTE> block = versionBlockOf(kSaver);
    ASSERT_FALSE(block.empty()) << kSaver;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);              // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(versionString(block, "FileVersion"), "1.0.0.0");
    EXPECT_EQ(versionString(block, "ProductVersion"), "1.0.0.0");
    EXPECT_EQ(versionString(block, "InternalName"), "Screen Saver");
    EXPECT_EQ(versionString(block, "OriginalFilename"), "Orbivane.scr");
    EXPECT_EQ(versionString(block, "ProductName"), "Orbivane");
    for (const char* name : {"CompanyName", "LegalCopyright", "FileDescription"}) {
        const std::string value = versionString(block, name);
        EXPECT_NE(value, "(missing)") << name;
        EXPECT_NE(value.find("Orbivane"), std::string::npos) << name << ": " << value;
    }
}

std::string manifestOf(const char* path) {
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return {};
    std::string text;
    if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {  // RT_MANIFEST
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
        text.assign(data, SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

// The manifest with runs of white space made single spaces, so that attribute checks ignore line breaks.
std::string squeezed(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
        if (!space || (!out.empty() && out.back() != ' ')) out += space ? ' ' : c;
    }
    return out;
}

TEST(SaverResources, ManifestAsksForTheInvokersLevelThemedControlsAndNamesWindows7To11) {
    const std::string manifest = squeezed(manifestOf(kSaver));
    ASSERT_FALSE(manifest.empty()) << kSaver;
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(manifest.find("<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">"), std::string::npos);
    for (const char* id : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                           "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos) << id;
    }
}

struct DialogSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK findProcessDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char caption[32] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (process == search->process && std::string(caption) == "Orbivane Setup" && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::string comctl32Of(HANDLE process) {
    HMODULE modules[512];
    DWORD bytes = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &bytes)) return {};
    for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
        char path[MAX_PATH] = {};
        GetModuleFileNameExA(process, modules[i], path, sizeof path);
        std::string name(path);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string file = "\\comctl32.dll";
        if (name.size() >= file.size() && name.compare(name.size() - file.size(), file.size(), file) == 0) {
            return path;
        }
    }
    return {};
}

TEST(SaverResources, TheSettingsDialogGetsVersionSixOfTheCommonControls) {
    std::string command = std::string("\"") + kSaver + "\" /c";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    DialogSearch search{info.dwProcessId, nullptr};
    for (int tries = 0; tries < 600 && search.found == nullptr; ++tries) {  // up to a minute on a busy machine
        if (WaitForSingleObject(info.hProcess, 100) == WAIT_OBJECT_0) break;
        EnumWindows(findProcessDialog, reinterpret_cast<LPARAM>(&search));
    }
    ASSERT_NE(search.found, nullptr) << "no settings dialog from " << command;

    // Version 6 comes from its side-by-side assembly, which only the manifest's dependency selects; without
    // it the loader takes the system folder's version 5 (whose file version both carry under Wine).
    std::string comctl32 = comctl32Of(info.hProcess);
    for (char& c : comctl32) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(comctl32.find("\\winsxs\\"), std::string::npos) << comctl32;
    EXPECT_NE(comctl32.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos) << comctl32;

    // Cancel stores nothing; the process ends with the dialog's result.
    PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    EXPECT_EQ(code, 0u);
    if (code == STILL_ACTIVE) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

}  // namespace
