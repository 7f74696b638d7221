// The Properties sheet through the Running Processes window opened in this
// process: a copy named svch0st.exe in temp, claiming to be Microsoft's,
// unsigned, started, then touched, with a Run value starting it; beside it
// the idle program signed by the test leaf, installed two days ago under
// Program Files, and one claiming Microsoft's name that only the test
// catalog vouches for. Ctrl+C, the Notes column and the Properties window.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string>
#include "app/app_state.h"
#include "app/process_list.h"
#include "app/process_window.h"
#include "app/row_details.h"
#include "core/background_jobs.h"
#include "core/clipboard_text.h"
#include "core/lookup_url.h"
#include "lookup/svch0st_copy.h"
#include "lookup/system_md5.h"
#include "resource.h"
#include "shell_support.h"
#include "signer/test_root.h"
#include "test_support.h"

namespace {

const wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const int NOTES_COLUMN = COLUMN_NOTES;

// Pumps this thread's messages as the program's loop does.
bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (!HandleProcessWindowMessage(&message))
                DispatchMessageW(&message);
        }
        if (condition())
            return true;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
    return condition();
}

std::wstring ItemText(HWND list, int index, int column)
{
    wchar_t text[1040] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = ARRAYSIZE(text);
    SendMessageW(list, LVM_GETITEMTEXTW, index, (LPARAM)&item);
    return text;
}

// A key pressed with modifiers held, as the accelerators read them.
void PressKey(HWND target, UINT message, WPARAM key, LPARAM flags, BYTE modifier)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[modifier] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(target, message, key, flags);
    PumpUntil([] { return false; }, 200);
    keys[modifier] = 0;
    SetKeyboardState(keys);
}

class PropertiesWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StartTouchedSvch0st(&fake, &fakeProcess));
        std::wstring quoted = L"\"" + fake + L"\"";
        ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Tavrowen svch0st", REG_SZ, quoted.c_str(),
                                       (DWORD)(quoted.size() + 1) * 2));
        TrustTestRoot();
        folder = ProgramFilesFolder() + L"\\Tavrowen Properties";
        CreateDirectoryW(folder.c_str(), NULL);
        ASSERT_TRUE(SetFolderRights(folder, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
        signedTool = folder + L"\\signed_tool.exe";
        ASSERT_TRUE(CopyFileW(BinPath(L"signer-samples\\signed-idle_process.exe").c_str(), signedTool.c_str(), FALSE));
        EXPECT_TRUE(BackdateTwoDays(signedTool)) << "installed two days ago";
        ASSERT_TRUE(StartProgram(signedTool, L"", &toolProcess));
        ShowProcessWindow();
        window = ProcessWindowHandle();
        ASSERT_TRUE(window != NULL);
        list = GetDlgItem(window, IDC_PROCESS_LIST);
        filter = GetDlgItem(window, IDC_PROCESS_FILTER);
        RefreshProcessWindow();
        ASSERT_TRUE(PumpUntil([] { return !IsJobLaneBusy(LANE_READS); }, 60000)) << "rows not read in 60 s";
    }
    void TearDown() override
    {
        CloseProcessWindow();
        EndProgram(&fakeProcess);
        EndProgram(&toolProcess);
        DeleteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Tavrowen svch0st");
        DeleteFileW(fake.c_str());
        DeleteFileW(signedTool.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    int ItemOf(DWORD processId) const
    {
        int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < count; ++i)
            if (ItemText(list, i, 1) == std::to_wstring(processId))
                return i;
        return -1;
    }
    bool SelectProcess(DWORD processId)
    {
        int index = ItemOf(processId);
        LVITEMW item = {};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        return index >= 0 && SendMessageW(list, LVM_SETITEMSTATE, index, (LPARAM)&item);
    }
    // Ctrl+C on the list with the process's row selected; the clipboard's text then.
    std::string CopiedSheet(DWORD processId)
    {
        EXPECT_TRUE(SelectProcess(processId));
        SetFocus(list);
        OpenClipboard(NULL);
        EmptyClipboard();
        CloseClipboard();
        PressKey(list, WM_KEYDOWN, 'C', 0, VK_CONTROL);
        PumpUntil([] { return ClipboardText() != L"(nothing)"; }, 60000);
        return NarrowUtf8(ClipboardText());
    }
    std::wstring fake, folder, signedTool;
    PROCESS_INFORMATION fakeProcess = {}, toolProcess = {};
    HWND window = NULL, list = NULL, filter = NULL;
};

TEST_F(PropertiesWindow, CtrlCCopiesTheSheetAndTheNotesColumnCountsTheNotes)
{
    std::string sheet = CopiedSheet(fakeProcess.dwProcessId), bytes = ReadFileText(fake.c_str());
    for (std::string line : {std::string("Process: svch0st.exe\r\n"), "MD5: " + SystemDigest(bytes, CALG_MD5) + "\r\n",
                             "SHA-256: " + SystemDigest(bytes, SHA256_ALGORITHM) + "\r\n",
                             "File: " + NarrowUtf8(fake) + "\r\n", std::string("Company: Microsoft Corporation\r\n"),
                             std::string("Starts at logon: HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: "
                                         "Tavrowen svch0st\r\n"),
                             std::string("Notes:\r\n- Claims to be from Microsoft Corporation but is not signed\r\n"),
                             std::string("- Has a name that looks like the Windows program svchost.exe\r\n"),
                             std::string("- Runs from a folder the user can write to (%temp%)\r\n"),
                             std::string("- Changed after the process started\r\n")})
        EXPECT_NE(std::string::npos, sheet.find(line)) << line << " missing from:\n" << sheet;
    EXPECT_EQ(std::string::npos, sheet.find("Reading...")) << sheet;

    std::string signedSheet = CopiedSheet(toolProcess.dwProcessId);
    EXPECT_NE(std::string::npos, signedSheet.find("Verified signer: Veltrix Test Signer (embedded)\r\n")) << signedSheet;
    // No note of its own: at most the one on its parent, this test, which has notes.
    const std::string parentNote = "Notes:\r\n- Started by test_properties_window.exe, which has notes\r\nModules:";
    size_t notes = signedSheet.find("Notes:");
    EXPECT_TRUE(notes == std::string::npos || signedSheet.compare(notes, parentNote.size(), parentNote) == 0)
        << signedSheet;

    // Unsigned but listed in a catalog: the catalog's signer, and no "not signed" note.
    TestCatalog catalog;
    ASSERT_TRUE(catalog.placed);
    PROCESS_INFORMATION listed = {};
    ASSERT_TRUE(StartProgram(BinPath(L"signer-samples\\catalogued.exe"), L"", &listed));
    RefreshProcessWindow();
    PumpUntil([] { return !IsJobLaneBusy(LANE_READS); }, 60000);
    std::string listedSheet = CopiedSheet(listed.dwProcessId);
    EndProgram(&listed);
    EXPECT_NE(std::string::npos, listedSheet.find("Verified signer: Veltrix Test Signer (catalog)\r\n")) << listedSheet;
    EXPECT_NE(std::string::npos, listedSheet.find("- Claims to be from Microsoft Corporation but is signed by Veltrix"))
        << listedSheet;

    // The column: how many, and the first; the filter finds a row by any note.
    int count = 0;
    std::wstring cell = ItemText(list, ItemOf(fakeProcess.dwProcessId), NOTES_COLUMN);
    EXPECT_EQ(L"Claims to be from Microsoft Corporation but is not signed", cell.substr(cell.find(L": ") + 2));
    count = _wtoi(cell.c_str());
    EXPECT_GE(count, 5) << NarrowUtf8(cell);
    // No note of its own: only that this test program, its parent, has notes.
    EXPECT_EQ(L"1: Started by test_properties_window.exe, which has notes",
              ItemText(list, ItemOf(toolProcess.dwProcessId), NOTES_COLUMN));
    SetWindowTextW(filter, L"Changed after the process");
    EXPECT_GE(ItemOf(fakeProcess.dwProcessId), 0);
    EXPECT_LT(ItemOf(toolProcess.dwProcessId), 0);
    SetWindowTextW(filter, L"");
    NMLISTVIEW click = {};
    click.hdr = {list, IDC_PROCESS_LIST, (UINT)LVN_COLUMNCLICK};
    click.iItem = -1;
    click.iSubItem = NOTES_COLUMN;
    SendMessageW(window, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&click);
    SendMessageW(window, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&click);  // most notes first
    EXPECT_GE(_wtoi(ItemText(list, 0, NOTES_COLUMN).c_str()), count);

    // A copy whose clipboard was written while its sheet was read leaves that text alone.
    HoldJobLane(LANE_READS);
    ASSERT_TRUE(SelectProcess(fakeProcess.dwProcessId));
    SetFocus(list);
    PressKey(list, WM_KEYDOWN, 'C', 0, VK_CONTROL);
    PutTextOnClipboard(window, L"copied meanwhile");
    ReleaseJobLane(LANE_READS);
    PumpUntil([] { return !IsJobLaneBusy(LANE_READS); }, 60000);
    EXPECT_EQ(L"copied meanwhile", ClipboardText());

    // In the filter, Ctrl+C copies the filter's selection.
    SetWindowTextW(filter, L"svch0st");
    SetFocus(filter);
    SendMessageW(filter, EM_SETSEL, 0, -1);
    PressKey(filter, WM_KEYDOWN, 'C', 0, VK_CONTROL);
    EXPECT_EQ(L"svch0st", ClipboardText());
}

TEST_F(PropertiesWindow, OpensOncePerProcessReadsInTheBackgroundAndEscClosesIt)
{
    ASSERT_TRUE(SelectProcess(fakeProcess.dwProcessId));
    SetFocus(list);
    auto opened = [] { return shell::ProcessWindows(GetCurrentProcessId(), L"TavrowenProperties"); };
    // While the reads wait, the sheet shows what it knows.
    HoldJobLane(LANE_READS);
    PressKey(list, WM_SYSKEYDOWN, VK_RETURN, 1 << 29, VK_MENU);
    ASSERT_EQ(1u, opened().size()) << "Alt+Enter opened no window";
    HWND properties = opened().front();
    wchar_t title[128] = L"";
    GetWindowTextW(properties, title, ARRAYSIZE(title));
    EXPECT_EQ(L"Properties of svch0st.exe (PID " + std::to_wstring(fakeProcess.dwProcessId) + L")", title);
    HWND text = GetWindow(properties, GW_CHILD);
    auto shown = [&] {
        std::wstring content(GetWindowTextLengthW(text) + 1, L'\0');
        GetWindowTextW(text, &content[0], (int)content.size());
        return NarrowUtf8(content.c_str());
    };
    EXPECT_NE(std::string::npos, shown().find("PID: " + std::to_string(fakeProcess.dwProcessId) + "\r\nParent: Reading...\r\n"))
        << shown();
    ReleaseJobLane(LANE_READS);
    EXPECT_TRUE(PumpUntil([&] { return shown().find("Reading...") == std::string::npos; }, 60000)) << shown();
    EXPECT_NE(std::string::npos, shown().find("- Changed after the process started")) << shown();

    // Again from the row menu's command: the same window, no other.
    PostMessageW(window, WM_COMMAND, IDM_PROPERTIES, 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(1u, opened().size());
    EXPECT_EQ(properties, opened().front());

    // Tab moves from the text to the buttons; "Copy" copies the text shown.
    SetFocus(text);
    PostMessageW(text, WM_KEYDOWN, VK_TAB, 0);
    PumpUntil([] { return false; }, 200);
    wchar_t caption[64] = L"";
    GetWindowTextW(GetFocus(), caption, ARRAYSIZE(caption));
    EXPECT_STREQ(L"&Look Up on Kestrava", caption);
    HWND copy = FindWindowExW(properties, NULL, L"Button", L"&Copy");
    ASSERT_TRUE(copy != NULL);
    SendMessageW(copy, BM_CLICK, 0, 0);
    EXPECT_EQ(shown(), NarrowUtf8(ClipboardText()));

    PostMessageW(text, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(properties); }, 5000)) << "Esc";
}

// The Modules list: every module, those with notes first; Enter looks one up as /lookup would.
TEST_F(PropertiesWindow, ListsTheModulesWithNotesFirstAndLooksOneUp)
{
    // Wine lets anyone write to the system's folder; Windows does not.
    wchar_t system[MAX_PATH], temp[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    ASSERT_TRUE(SetFolderRights(system, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
    Sleep(2500);  // the folders' answers kept meanwhile have aged
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring loaded = std::wstring(temp) + L"zz-modules-loaded.dll";
    const std::wstring mapped = std::wstring(temp) + L"zz-modules-mapped.dll";
    for (const std::wstring& copy : {loaded, mapped})
        ASSERT_TRUE(CopyFileW(BinPath(L"payload_dll.dll").c_str(), copy.c_str(), FALSE));
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, L"TavrowenModuleListReady");
    PROCESS_INFORMATION host = {};
    ASSERT_TRUE(StartProgram(BinPath(L"module_host.exe"),
                             L"TavrowenModuleListReady \"" + loaded + L"\" \"" + mapped + L"\"", &host));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 30000));
    CloseHandle(ready);
    appState.mainWindow = CreateLookupResultWindow();
    RefreshProcessWindow();
    PumpUntil([] { return !IsJobLaneBusy(LANE_READS); }, 60000);
    ASSERT_TRUE(SelectProcess(host.dwProcessId));
    PostMessageW(window, WM_COMMAND, IDM_PROPERTIES, 0);
    HWND properties = NULL, modules = NULL;
    EXPECT_TRUE(PumpUntil([&] {
        properties = FindWindowW(L"TavrowenProperties", NULL);
        modules = properties ? GetDlgItem(properties, IDC_PROPERTIES_MODULES) : NULL;
        return modules && SendMessageW(modules, LVM_GETITEMCOUNT, 0, 0) > 2;
    }, 60000)) << "the Modules list was never filled";

    EXPECT_EQ(L"zz-modules-loaded.dll", ItemText(modules, 0, 0)) << "with notes, first by name";
    EXPECT_EQ(L"zz-modules-mapped.dll", ItemText(modules, 1, 0));
    EXPECT_EQ(L"%temp%", ItemText(modules, 0, 1));
    EXPECT_NE(std::wstring::npos, ItemText(modules, 0, 5).find(L"(%temp%)")) << NarrowUtf8(ItemText(modules, 0, 5));
    EXPECT_EQ(L"", ItemText(modules, 2, 5)) << "a system DLL after them, without notes";

    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(modules, LVM_SETITEMSTATE, 0, (LPARAM)&item);
    SetFocus(modules);
    ClearRecordedAddresses();
    PostMessageW(modules, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(PumpUntil([] { return !ReadRecordedAddresses().empty(); }, 30000)) << "Enter opened no address";
    std::wstring address = ReadRecordedAddresses().empty() ? L"" : ReadRecordedAddresses()[0];
    EXPECT_EQ(0u, address.find(std::wstring(lookupBaseAddress) + L"zz-modules-loaded.dll?")) << NarrowUtf8(address);
    std::string md5 = SystemDigest(ReadFileText(loaded.c_str()), CALG_MD5);
    EXPECT_NE(std::wstring::npos, address.find(L"md5=" + WidenUtf8(md5))) << NarrowUtf8(address);
    DestroyWindow(properties);
    EndProgram(&host);
    DeleteFileW(loaded.c_str());
    DeleteFileW(mapped.c_str());
}

}  // namespace
