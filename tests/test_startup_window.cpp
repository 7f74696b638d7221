// The Startup Entries window through the real window in this process: a
// planted Run value's row, its lookup by Enter and its sheet by Ctrl+C.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <string>
#include "app/app_state.h"
#include "app/startup_window.h"
#include "core/lookup_url.h"
#include "lookup/system_md5.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t FOLDER[] = L"C:\\tavrowen-startwin";
const wchar_t ENTRY[] = L"Tavrowen Window Test";

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

int RowOfEntry(HWND list)
{
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        if (CellOf(list, i, 0) == ENTRY)
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
    CreateDirectoryW(FOLDER, NULL);
    std::wstring tool = std::wstring(FOLDER) + L"\\startwin_tool.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), tool.c_str(), FALSE));
    std::wstring command = L"\"" + tool + L"\" /quiet";
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, RUN, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
    RegSetValueExW(key, ENTRY, 0, REG_SZ, (const BYTE*)command.c_str(), (DWORD)((command.size() + 1) * 2));
    RegCloseKey(key);
    appState.mainWindow = CreateLookupResultWindow();

    ShowStartupWindow();
    HWND window = StartupWindowHandle();
    ASSERT_TRUE(window != NULL) << "the window did not open";
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"Startup Entries - Tavrowen 2", text);
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
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, ENTRY);
        RegCloseKey(key);
    }
    DeleteFileW(tool.c_str());
    RemoveDirectoryW(FOLDER);
}
