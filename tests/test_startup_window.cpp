// The Startup Entries window through the real window in this process: a
// planted Run value's row, its lookup by Enter and its sheet by Ctrl+C.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <string>
#include "app/app_state.h"
#include "app/startup_window.h"
#include "core/lookup_url.h"
#include "core/seams.h"
#include "core/settings.h"
#include <strsafe.h>
#include "lookup/system_md5.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t FOLDER[] = L"C:\\tavrowen-startwin";
const wchar_t ENTRY[] = L"Tavrowen Window Test";
const wchar_t WINDOWS_ENTRY[] = L"Tavrowen Window Microsoft";
const wchar_t NEW_ENTRY[] = L"Tavrowen Window New";

// The system's catalogs, which Wine lacks: one vouches for startwin_ms.exe
// as Microsoft's, once a search.
bool OpenFakeSearch(HANDLE, CatalogHash algorithm, CatalogSearch* search)
{
    ZeroMemory(search, sizeof(*search));
    search->algorithm = algorithm;
    return true;
}

bool NextFakeCatalog(CatalogSearch* search, const wchar_t* path, HANDLE, SignerVerdict* verdict, wchar_t* signer)
{
    if (!wcsstr(path, L"startwin_ms.exe") || search->hashSize++ > 0)
        return false;
    *verdict = SIGNER_VERIFIED;
    StringCchCopyW(signer, SIGNER_NAME_CAPACITY, L"Microsoft Windows");
    return true;
}

void CloseFakeSearch(CatalogSearch*) {}

// A Run value naming a copy of the idle program, made long ago (a file
// made today is noted as recent); returns the copy's path.
std::wstring PlantRunValue(const wchar_t* name, const std::wstring& folder, const wchar_t* file,
                           std::wstring* command)
{
    CreateDirectoryW(folder.c_str(), NULL);
    std::wstring tool = folder + L"\\" + file;
    EXPECT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), tool.c_str(), FALSE));
    HANDLE handle = CreateFileW(tool.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    SYSTEMTIME old = {2020, 1, 3, 1, 12, 0, 0, 0};
    FILETIME then;
    SystemTimeToFileTime(&old, &then);
    EXPECT_TRUE(handle != INVALID_HANDLE_VALUE && SetFileTime(handle, &then, &then, &then));
    CloseHandle(handle);
    *command = L"\"" + tool + L"\" /quiet";
    HKEY key = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, RUN, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
    RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)command->c_str(), (DWORD)((command->size() + 1) * 2));
    RegCloseKey(key);
    return tool;
}

std::wstring CellOf(HWND list, int index, int column)
{
    wchar_t text[1040] = L"";
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = ARRAYSIZE(text);
    SendMessageW(list, LVM_GETITEMTEXTW, index, (LPARAM)&item);
    return text;
}

int RowOfEntry(HWND list, const wchar_t* name = ENTRY)
{
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        if (CellOf(list, i, 0) == name)
            return i;
    return -1;
}

// Pumps this thread's messages as the program's loop does.
void PumpLikeProgram(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (!HandleStartupWindowMessage(&message))
                DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

// A key pressed on the list with Ctrl held or not, through the window's keys.
void PressKey(HWND list, WPARAM key, bool control)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(list, WM_KEYDOWN, key, 0);
    PumpLikeProgram(200);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

// Opens the row menu from the keyboard on the selection, notes the Disable
// item's state, types `key` into it and answers a confirmation box Yes,
// returning its text ("(no box)" when none came).
std::wstring UseRowMenu(HWND window, HWND list, wchar_t key, UINT* disableState)
{
    int phase = 0;
    std::wstring boxText = L"(no box)";
    ModalScript script([&] {
        if (phase == 0) {
            std::vector<HWND> menus = ProcessWindows(GetCurrentProcessId(), L"#32768");
            if (menus.empty())
                return false;
            HMENU menu = (HMENU)SendMessageW(menus.front(), MN_GETHMENU, 0, 0);
            *disableState = GetMenuState(menu, IDM_STARTUP_DISABLE, MF_BYCOMMAND);
            PostMessageW(menus.front(), WM_CHAR, key, 0);
            phase = 1;
            return false;
        }
        HWND box = FindOwnDialog(L"Tavrowen 2");
        if (!box)
            return false;
        wchar_t text[512] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, ARRAYSIZE(text));
        boxText = text;
        PostMessageW(box, WM_COMMAND, IDYES, 0);
        return true;
    });
    SendMessageW(window, WM_CONTEXTMENU, (WPARAM)list, -1);
    PumpLikeProgram(1000);  // the chosen command arrives posted
    return boxText;
}

bool IsRunValuePresent()
{
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool present = RegQueryValueExW(key, ENTRY, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    return present;
}

}  // namespace

TEST(StartupWindow, APlantedRunValueIsListedLookedUpAndCopied)
{
    std::wstring command, windowsCommand;
    std::wstring tool = PlantRunValue(ENTRY, FOLDER, L"startwin_tool.exe", &command);
    // Where only administrators write on Windows (not system32, which a
    // 32-bit process on 64-bit Windows sees elsewhere).
    wchar_t windows[MAX_PATH] = L"";
    GetWindowsDirectoryW(windows, ARRAYSIZE(windows));
    std::wstring windowsTool = PlantRunValue(WINDOWS_ENTRY, windows, L"startwin_ms.exe", &windowsCommand);
    seams.openCatalogSearch = OpenFakeSearch;
    seams.findNextCatalogVerdict = NextFakeCatalog;
    seams.closeCatalogSearch = CloseFakeSearch;
    appState.mainWindow = CreateLookupResultWindow();
    ASSERT_TRUE(EnsureSettingsKey());  // as the program does when it starts

    ShowStartupWindow();
    HWND window = StartupWindowHandle();
    ASSERT_TRUE(window != NULL) << "the window did not open";
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    GetClassNameW(window, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"TavrowenStartup", text);
    HWND list = GetDlgItem(window, IDC_STARTUP_LIST);
    // Filled: the row is there and its file's signer no longer being checked.
    EXPECT_TRUE(WaitUntil([&] {
        int row = RowOfEntry(list);
        return row >= 0 && !CellOf(list, row, 5).empty() && CellOf(list, row, 5) != L"Checking...";
    }, 60000)) << "not filled within 60 s";
    int row = RowOfEntry(list);
    ASSERT_GE(row, 0);
    // "Hide Windows Entries" is on at first, and hides only a verified
    // Microsoft file with nothing noted. Wine lets the user write to every
    // folder, so each file has that note: the entry verified as Microsoft's stays.
    HWND hide = GetDlgItem(window, IDC_STARTUP_HIDE_WINDOWS);
    EXPECT_EQ(BST_CHECKED, SendMessageW(hide, BM_GETCHECK, 0, 0));
    int windowsRow = RowOfEntry(list, WINDOWS_ENTRY);
    ASSERT_GE(windowsRow, 0) << "hidden with a note";
    EXPECT_TRUE(WaitUntil([&] { return CellOf(list, RowOfEntry(list, WINDOWS_ENTRY), 5) == L"Microsoft Windows"; },
                          30000));
    EXPECT_NE(L"", CellOf(list, RowOfEntry(list, WINDOWS_ENTRY), 6));
    GetWindowTextW(window, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"Startup Entries - Tavrowen 2", text);
    SendMessageW(hide, BM_CLICK, 0, 0);
    PumpLikeProgram(100);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(hide, BM_GETCHECK, 0, 0));
    DWORD shown = 0;
    EXPECT_TRUE(ReadDwordValue(HKEY_CURRENT_USER, settingsPath, L"StartupShowWindowsEntries", &shown) && shown == 1);
    row = RowOfEntry(list);
    EXPECT_EQ(L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", CellOf(list, row, 1));
    EXPECT_EQ(NarrowUtf8(tool), NarrowUtf8(CellOf(list, row, 2)));
    EXPECT_EQ(command, CellOf(list, row, 7));
    EXPECT_EQ(L"Enabled", CellOf(list, row, 8));

    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
    SetFocus(list);
    ClearRecordedAddresses();
    PressKey(list, VK_RETURN, false);
    ASSERT_TRUE(WaitForRecordedAddresses(1, 30000)) << "Enter opened no address";
    std::wstring address = ReadRecordedAddresses()[0];
    std::vector<unsigned char> bytes = ReadWholeFile(tool);
    EXPECT_EQ(0u, address.find(std::wstring(lookupBaseAddress) + L"startwin_tool.exe?")) << NarrowUtf8(address);
    EXPECT_NE(std::wstring::npos, address.find(L"md5=" + WidenUtf8(SystemMd5(bytes)))) << NarrowUtf8(address);

    PressKey(list, 'C', true);
    std::wstring sheet = ClipboardText();
    std::wstring head = std::wstring(L"Entry: ") + ENTRY + L"\r\nLocation: " +
                        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\r\nCommand: " + command +
                        L"\r\nState: Enabled\r\nFile: startwin_tool.exe\r\nFolder: " + FOLDER + L"\r\n";
    EXPECT_EQ(NarrowUtf8(head), NarrowUtf8(sheet.substr(0, head.size())));
    EXPECT_NE(std::wstring::npos, sheet.find(L"\r\nVerified signer: ")) << NarrowUtf8(sheet);

    // Disable asks first, naming the entry; then the value waits in our
    // keeping (Windows 7, Wine's default) and the row says so. Enable brings it back.
    UINT disableState = 0;
    std::wstring asked = UseRowMenu(window, list, L'd', &disableState);
    EXPECT_FALSE(disableState & MF_GRAYED);
    EXPECT_NE(std::wstring::npos, asked.find(std::wstring(L"\"") + ENTRY + L"\"")) << NarrowUtf8(asked);
    EXPECT_FALSE(IsRunValuePresent()) << "still in Run";
    EXPECT_EQ(L"Disabled", CellOf(list, RowOfEntry(list), 8));
    UseRowMenu(window, list, L'n', &disableState);
    EXPECT_TRUE(disableState & MF_GRAYED) << "Disable offered for a disabled entry";
    EXPECT_TRUE(IsRunValuePresent()) << "not back in Run";
    EXPECT_EQ(L"Enabled", CellOf(list, RowOfEntry(list), 8));

    CloseStartupWindow();
    EXPECT_TRUE(StartupWindowHandle() == NULL);

    // The next opening notes what is new since this one; each entry has its first day.
    std::wstring newCommand;
    std::wstring newTool = PlantRunValue(NEW_ENTRY, FOLDER, L"startwin_new.exe", &newCommand);
    ShowStartupWindow();
    window = StartupWindowHandle();
    list = GetDlgItem(window, IDC_STARTUP_LIST);
    EXPECT_TRUE(WaitUntil([&] {
        int row = RowOfEntry(list, NEW_ENTRY);
        return row >= 0 && !CellOf(list, row, 5).empty() && CellOf(list, row, 5) != L"Checking...";
    }, 60000));
    std::wstring newNotes = CellOf(list, RowOfEntry(list, NEW_ENTRY), 6);
    EXPECT_EQ(0u, newNotes.find(L"New since ")) << NarrowUtf8(newNotes);
    EXPECT_EQ(std::wstring::npos, CellOf(list, RowOfEntry(list), 6).find(L"New since"));
    EXPECT_NE(L"", CellOf(list, RowOfEntry(list), 9)) << "no First Seen";
    CloseStartupWindow();
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, ENTRY);
        RegDeleteValueW(key, WINDOWS_ENTRY);
        RegDeleteValueW(key, NEW_ENTRY);
        RegCloseKey(key);
    }
    DeleteFileW(tool.c_str());
    DeleteFileW(windowsTool.c_str());
    DeleteFileW(newTool.c_str());
    RemoveDirectoryW(FOLDER);
}
