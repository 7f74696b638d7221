// The Running Processes window: its rows, refreshing, lookups, filter and
// sorting in this process; the tray command, keys, placement and the
// Windows 8 balloon through the real program.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <oleacc.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include "core/seams.h"
#include "app/app_state.h"
#include "app/process_window.h"
#include "app/row_details.h"
#include "core/background_jobs.h"
#include "core/ascii_folding.h"
#include "core/executable_locator.h"
#include "core/lookup_url.h"
#include "lookup/system_md5.h"
#include "lookup/version_resource.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const wchar_t placementName[] = L"ProcessWindowPlacement";
const wchar_t hintName[] = L"ProcessesHintShown";

std::string Narrow(const std::wstring& text)
{
    return NarrowUtf8(text);
}

// One parameter of an address, unescaped; "(absent)" when missing.
std::wstring QueryValue(const std::wstring& address, const std::wstring& key)
{
    size_t at = address.find(L"?" + key + L"=");
    if (at == std::wstring::npos)
        at = address.find(L"&" + key + L"=");
    if (at == std::wstring::npos)
        return L"(absent)";
    size_t start = at + key.size() + 2;
    std::wstring value = address.substr(start, address.find(L'&', start) - start);
    std::vector<wchar_t> buffer(value.begin(), value.end());
    buffer.push_back(L'\0');
    UrlUnescapeW(buffer.data(), NULL, NULL, URL_UNESCAPE_INPLACE);
    return buffer.data();
}

// Runs `action` and returns the address the browser received for it.
template <typename Action>
std::wstring AddressOf(Action action)
{
    size_t before = ReadRecordedAddresses().size();
    action();
    if (!WaitForRecordedAddresses(before + 1, 30000))
        return L"(no address)";
    return ReadRecordedAddresses()[before];
}

// Pumps this thread's messages as the program's loop does.
void PumpLikeProgram(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (!HandleProcessWindowMessage(&message))
                DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

struct ListedRow {
    std::wstring name, pid, description, company, signer, folder;
};

std::wstring ItemText(HWND list, int index, int column)
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

std::vector<ListedRow> ReadRows(HWND list)
{
    std::vector<ListedRow> rows;
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        rows.push_back({ItemText(list, i, 0), ItemText(list, i, 1), ItemText(list, i, 2), ItemText(list, i, 3),
                        ItemText(list, i, 4), ItemText(list, i, 5)});
    return rows;
}

// ---- The window in this process ---------------------------------------------------

ProcessPathSource realPathSource = seams.processPathSource;

// Knows no path for processes named procwin_nopath.exe.
bool PathSourceWithoutNoPath(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    if (wcscmp(process->szExeFile, L"procwin_nopath.exe") == 0)
        return false;
    return realPathSource(process, exePath);
}

// Sleeps 5 s in the read of procwin_slow.exe, as a file on a hung share would,
// noting the thread it was read on.
volatile LONG slowReadUnderWay;
DWORD slowReadThread;
void SlowVersionRead(VersionInfoBlock* block, const wchar_t* path)
{
    if (wcsstr(path, L"procwin_slow.exe")) {
        slowReadThread = GetCurrentThreadId();
        InterlockedExchange(&slowReadUnderWay, 1);
        Sleep(5000);
        InterlockedExchange(&slowReadUnderWay, 0);
    }
    LoadVersionInfo(block, path);
}

class ProcessWindow : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        directory = ProgramFilesFolder() + L"\\Tavrowen Processes";
        CreateDirectoryW(directory.c_str(), NULL);
        ShowProcessWindow();
        window = ProcessWindowHandle();
        ASSERT_TRUE(window != NULL) << "the window did not open";
        list = GetDlgItem(window, IDC_PROCESS_LIST);
        filter = GetDlgItem(window, IDC_PROCESS_FILTER);
    }
    void TearDown() override
    {
        CloseProcessWindow();
        for (PROCESS_INFORMATION& process : started)
            EndProgram(&process);
        for (auto made = files.rbegin(); made != files.rend(); ++made) {
            DeleteFileW(made->c_str());
            RemoveDirectoryW(made->c_str());
        }
        RemoveDirectoryW(directory.c_str());
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    // Starts a copy of locator_target.exe at directory\relative with the
    // version strings given; returns its PID (0 on failure).
    DWORD StartTarget(const std::wstring& relative, const std::wstring& description,
                      const std::wstring& company = L"Veltrix Tests")
    {
        std::wstring path = directory + L"\\" + relative;
        std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
        if (CreateDirectoryW(folder.c_str(), NULL))
            files.push_back(folder);
        VersionResource resource;
        resource.tables = {{L"040904b0", {{L"FileDescription", description}, {L"CompanyName", company}}}};
        if (!WriteVersionedCopy(BinPath(L"locator_target.exe"), path, resource))
            return 0;
        files.push_back(path);
        PROCESS_INFORMATION process;
        if (!StartLocatorTarget(path, L"", &process))
            return 0;
        started.push_back(process);
        return process.dwProcessId;
    }
    // A refresh, and the files of its new rows read.
    void Refresh()
    {
        RefreshProcessWindow();
        EXPECT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 30000)) << "details not read within 30 s";
    }
    void EndTarget(DWORD processId)
    {
        for (PROCESS_INFORMATION& process : started)
            if (process.dwProcessId == processId)
                EndProgram(&process);
    }
    int ItemOf(DWORD processId) const
    {
        int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < count; ++i)
            if (ItemText(list, i, 1) == std::to_wstring(processId))
                return i;
        return -1;
    }
    ListedRow RowOf(DWORD processId) const
    {
        int index = ItemOf(processId);
        return index < 0 ? ListedRow{L"(no row)"} : ReadRows(list)[index];
    }
    void Select(int index)
    {
        LVITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, index, (LPARAM)&item);
    }
    int Selected() const { return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED); }
    int Focused() const { return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED); }
    void DoubleClick(int index)
    {
        RECT rect;
        rect.left = LVIR_LABEL;
        SendMessageW(list, LVM_GETITEMRECT, index, (LPARAM)&rect);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(rect.left + 4, (rect.top + rect.bottom) / 2));
    }
    void ClickColumn(int column)
    {
        NMLISTVIEW notice;
        ZeroMemory(&notice, sizeof(notice));
        notice.hdr.hwndFrom = list;
        notice.hdr.idFrom = IDC_PROCESS_LIST;
        notice.hdr.code = LVN_COLUMNCLICK;
        notice.iItem = -1;
        notice.iSubItem = column;
        SendMessageW(window, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&notice);
    }
    // Opens the row menu from the keyboard (Shift+F10) on the selection,
    // records its items' states and types `key` into it (0: Esc).
    void UseRowMenu(wchar_t key, UINT* defaultItem, UINT* locationState, UINT* copyState)
    {
        ModalScript script([&] {
            std::vector<HWND> menus = ProcessWindows(GetCurrentProcessId(), L"#32768");
            if (menus.empty())
                return false;
            HMENU menu = (HMENU)SendMessageW(menus.front(), MN_GETHMENU, 0, 0);
            *defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
            *locationState = GetMenuState(menu, IDM_OPEN_LOCATION, MF_BYCOMMAND);
            *copyState = GetMenuState(menu, IDM_COPY_PATH, MF_BYCOMMAND);
            if (key)
                PostMessageW(menus.front(), WM_CHAR, key, 0);
            else
                PostMessageW(menus.front(), WM_KEYDOWN, VK_ESCAPE, 0);
            return true;
        });
        SendMessageW(window, WM_CONTEXTMENU, (WPARAM)list, -1);
        EXPECT_TRUE(script.finished()) << "the row menu did not open";
        PumpLikeProgram(100);  // the chosen command arrives posted
    }
    // Copies of locator_target.exe at directory\<name>, the first starting
    // the second, which starts the third...; returns the first's PID.
    DWORD StartChain(const std::vector<std::wstring>& names, const std::wstring& company = L"Veltrix Tests")
    {
        std::wstring arguments;
        for (size_t i = 0; i < names.size(); ++i) {
            std::wstring path = directory + L"\\" + names[i];
            VersionResource resource;
            resource.tables = {{L"040904b0", {{L"FileDescription", L"Chain"}, {L"CompanyName", company}}}};
            if (!WriteVersionedCopy(BinPath(L"locator_target.exe"), path, resource))
                return 0;
            files.push_back(path);
            if (i > 0)
                arguments += L" /child \"" + path + L"\"";
        }
        PROCESS_INFORMATION process;
        if (!StartLocatorTarget(directory + L"\\" + names[0], arguments, &process))
            return 0;
        started.push_back(process);
        return process.dwProcessId;
    }
    // The PID of the shown row of that name, 0 when none is shown.
    DWORD PidOfName(const std::wstring& name) const
    {
        for (const ListedRow& row : ReadRows(list))
            if (row.name == name)
                return std::stoul(row.pid);
        return 0;
    }
    int IndentOf(int index) const
    {
        LVITEMW item = {LVIF_INDENT, index};
        SendMessageW(list, LVM_GETITEMW, 0, (LPARAM)&item);
        return item.iIndent;
    }
    void PressOnList(WPARAM key) { PostMessageW(list, WM_KEYDOWN, key, 0); PumpLikeProgram(100); }
    std::wstring directory;
    std::vector<std::wstring> files;
    std::vector<PROCESS_INFORMATION> started;
    HWND window = NULL;
    HWND list = NULL;
    HWND filter = NULL;
};

TEST_F(ProcessWindow, HasTheFilterAndTheSixColumns)
{
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"Running Processes - Tavrowen 2", text);
    GetClassNameW(list, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"SysListView32", text);
    EXPECT_TRUE(filter != NULL) << "no filter field 1011";
    const wchar_t* expected[] = {L"Process", L"PID", L"Description", L"Company", L"Verified Signer", L"Folder"};
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    // Six at first sight; "Runs", "Notes", "Command Line" and "Parent" follow.
    ASSERT_EQ(10, (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    RECT client;
    GetClientRect(list, &client);
    for (int column = 0; column < 6; ++column) {
        LVCOLUMNW spec;
        ZeroMemory(&spec, sizeof(spec));
        spec.mask = LVCF_TEXT | LVCF_WIDTH;
        spec.pszText = text;
        spec.cchTextMax = ARRAYSIZE(text);
        SendMessageW(list, LVM_GETCOLUMNW, column, (LPARAM)&spec);
        EXPECT_STREQ(expected[column], text) << "column " << column;
        RECT item;
        SendMessageW(header, HDM_GETITEMRECT, column, (LPARAM)&item);
        EXPECT_LE(item.right, client.right) << "column " << Narrow(expected[column]) << " is cut off at first";
    }
    EXPECT_TRUE(GetClassLongPtrW(window, GCLP_HICON) && GetClassLongPtrW(window, GCLP_HICONSM)) << "no icons";
    DWORD style = (DWORD)GetWindowLongPtrW(list, GWL_STYLE);
    EXPECT_TRUE((style & LVS_TYPEMASK) == LVS_REPORT && (style & LVS_SINGLESEL)) << std::hex << style;
    EXPECT_TRUE(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
}

TEST_F(ProcessWindow, RowsFollowTheProcessesAndTheSelectionStays)
{
    DWORD target = StartTarget(L"procwin_target.exe", L"Processes window target");
    ASSERT_NE(0u, target);
    Refresh();
    ListedRow row = RowOf(target);
    EXPECT_EQ(L"procwin_target.exe", row.name);
    EXPECT_EQ(L"Processes window target", row.description);
    EXPECT_EQ(L"Veltrix Tests", row.company);
    EXPECT_EQ(L"%programfiles%\\Tavrowen Processes", row.folder);

    // This test program's own row stays selected, focused and in view.
    int own = ItemOf(GetCurrentProcessId());
    ASSERT_GE(own, 0) << "no row for this process";
    Select(own);
    SendMessageW(list, LVM_ENSUREVISIBLE, own, FALSE);
    int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);

    EndTarget(target);
    Refresh();
    EXPECT_LT(ItemOf(target), 0) << "the exited process kept its row";
    DWORD next = StartTarget(L"procwin_next.exe", L"Next target");
    ASSERT_NE(0u, next);
    Refresh();
    EXPECT_GE(ItemOf(next), 0) << "the new process has no row";
    own = ItemOf(GetCurrentProcessId());
    EXPECT_EQ(own, Selected()) << "the selection moved off this process";
    EXPECT_EQ(own, Focused());
    EXPECT_LE(abs((int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0) - top), 1) << "the list scrolled away";

    // One ends and one starts between two refreshes: as many processes as
    // before, yet the rows change.
    EndTarget(next);
    DWORD swapped = StartTarget(L"procwin_swapped.exe", L"Swapped target");
    ASSERT_NE(0u, swapped);
    Refresh();
    EXPECT_LT(ItemOf(next), 0) << "a process that ended as another started kept its row";
    EXPECT_GE(ItemOf(swapped), 0) << "a process that started as another ended has no row";

    // The timer's refresh finds a new process by itself.
    DWORD timed = StartTarget(L"procwin_timed.exe", L"Timed target");
    ASSERT_NE(0u, timed);
    EXPECT_TRUE(WaitUntil([&] { return ItemOf(timed) >= 0; }, 10000)) << "no refresh within 10 s";

    // Minimised: no timer refreshes, F5 still does; restored: at once.
    ShowWindow(window, SW_MINIMIZE);
    DWORD hidden = StartTarget(L"procwin_hidden.exe", L"Hidden target");
    ASSERT_NE(0u, hidden);
    PumpMessagesFor(5000);
    EXPECT_LT(ItemOf(hidden), 0) << "refreshed while minimised";
    PostMessageW(list, WM_KEYDOWN, VK_F5, 0);
    PumpLikeProgram(100);
    EXPECT_GE(ItemOf(hidden), 0) << "F5 did not refresh";
    DWORD restored = StartTarget(L"procwin_restored.exe", L"Restored target");
    ASSERT_NE(0u, restored);
    ShowWindow(window, SW_RESTORE);
    EXPECT_GE(ItemOf(restored), 0) << "not refreshed on restoring";
}

TEST_F(ProcessWindow, EachCopyOfOneNameIsLookedUpFromItsOwnFile)
{
    DWORD first = StartTarget(L"One\\procwin_twin.exe", L"First twin");
    DWORD second = StartTarget(L"Two\\procwin_twin.exe", L"Second twin, longer");
    seams.processPathSource = PathSourceWithoutNoPath;
    DWORD pathless = StartTarget(L"procwin_nopath.exe", L"Not shown");
    ASSERT_TRUE(first && second && pathless);
    Refresh();
    const struct {
        DWORD processId;
        const wchar_t* folder;
    } twins[] = {{first, L"One"}, {second, L"Two"}};

    ClearRecordedAddresses();
    for (const auto& twin : twins) {
        std::wstring path = directory + L"\\" + twin.folder + L"\\procwin_twin.exe";
        std::vector<unsigned char> bytes = ReadWholeFile(path);
        std::wstring lpath = std::wstring(L"%programfiles%\\Tavrowen Processes\\") + twin.folder;
        int index = ItemOf(twin.processId);
        ASSERT_GE(index, 0);
        std::wstring addresses[3];
        addresses[0] = AddressOf([&] { DoubleClick(index); });
        addresses[1] = AddressOf([&] {
            Select(index);
            SetFocus(list);
            PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
            PumpLikeProgram(200);
        });
        UINT defaultItem = 0, locationState = 0, copyState = 0;
        addresses[2] = AddressOf([&] { UseRowMenu(L'l', &defaultItem, &locationState, &copyState); });
        EXPECT_EQ((UINT)IDM_LOOK_UP_ROW, defaultItem);
        EXPECT_FALSE(locationState & MF_GRAYED);
        EXPECT_FALSE(copyState & MF_GRAYED);
        const char* ways[] = {"double click", "Enter", "menu"};
        for (int way = 0; way < 3; ++way) {
            EXPECT_EQ(0u, addresses[way].find(std::wstring(lookupBaseAddress) + L"procwin_twin.exe?"))
                << ways[way] << ": " << Narrow(addresses[way]);
            EXPECT_EQ(lpath, QueryValue(addresses[way], L"lpath")) << ways[way];
            EXPECT_EQ(WidenUtf8(SystemMd5(bytes)), QueryValue(addresses[way], L"md5")) << ways[way];
            EXPECT_EQ(std::to_wstring(bytes.size()), QueryValue(addresses[way], L"size")) << ways[way];
        }
        // "&Copy Path" puts the full path on the clipboard.
        UseRowMenu(L'c', &defaultItem, &locationState, &copyState);
        EXPECT_EQ(Narrow(path), Narrow(ClipboardText()));
    }

    // Without a path: the name alone, and no path to open or copy.
    int index = ItemOf(pathless);
    ASSERT_GE(index, 0);
    EXPECT_EQ(L"", ReadRows(list)[index].folder);
    EXPECT_EQ(L"", ReadRows(list)[index].description);
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"procwin_nopath.exe?qaver=2.0",
              AddressOf([&] { DoubleClick(index); }));
    Select(index);
    UINT defaultItem = 0, locationState = 0, copyState = 0;
    UseRowMenu(0, &defaultItem, &locationState, &copyState);
    EXPECT_TRUE(locationState & MF_GRAYED) << "Open File Location enabled without a path";
    EXPECT_TRUE(copyState & MF_GRAYED) << "Copy Path enabled without a path";

    // Exited and its file gone before the next refresh: looked up from what the row holds.
    std::wstring gone = directory + L"\\One\\procwin_twin.exe";
    EndTarget(first);
    ASSERT_TRUE(DeleteFileW(gone.c_str()));
    index = ItemOf(first);
    ASSERT_GE(index, 0) << "refreshed too early";
    std::wstring address = AddressOf([&] { DoubleClick(index); });
    EXPECT_EQ(L"%programfiles%\\Tavrowen Processes\\One", QueryValue(address, L"lpath")) << Narrow(address);
    EXPECT_EQ(L"(absent)", QueryValue(address, L"md5")) << Narrow(address);
}

TEST_F(ProcessWindow, RowsShowAtOnceAndTheWindowAnswersWhileAFileIsRead)
{
    DWORD own = GetCurrentThreadId();
    seams.loadVersionInfo = SlowVersionRead;
    DWORD slow = StartTarget(L"procwin_slow.exe", L"Slow to read");
    ASSERT_NE(0u, slow);
    RefreshProcessWindow();
    ASSERT_TRUE(WaitUntil([] { return slowReadUnderWay != 0; }, 10000)) << "the file was never read";
    EXPECT_NE(own, slowReadThread) << "read on the window's thread";
    ListedRow bare = RowOf(slow);
    EXPECT_EQ(L"procwin_slow.exe", bare.name);
    EXPECT_EQ(L"", bare.description);

    // Asked from another thread while this one pumps as the program does (the emulated build is slower).
    DWORD limit = sizeof(void*) == 8 ? 100 : 1000;
    std::atomic<int> answered(0);
    std::thread asker([&] {
        for (int i = 0; i < 10; ++i) {
            DWORD_PTR result = 0;
            answered += SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, limit, &result) != 0;
            Sleep(50);
        }
    });
    while (!WaitUntil([&] { return answered == 10; }, 100) && slowReadUnderWay)
        continue;
    asker.join();
    EXPECT_EQ(10, answered) << "the window did not answer within " << limit << " ms while the file was read";
    EXPECT_TRUE(slowReadUnderWay) << "the read ended before the window was asked";

    EXPECT_TRUE(WaitUntil([&] { return RowOf(slow).description == L"Slow to read"; }, 30000))
        << "the row was never filled in";
    EXPECT_EQ(L"%programfiles%\\Tavrowen Processes", RowOf(slow).folder);
}

// Two processes of one path: each row checks its own file, and the one whose
// file changed after it started is told so, not verified.
TEST_F(ProcessWindow, EachRowChecksItsOwnFileAndAChangeAfterItsStartIsShown)
{
    // Minimised, the window lists nothing until it is restored: no row is read before the change.
    ShowWindow(window, SW_MINIMIZE);
    DWORD before = StartTarget(L"procwin_changed.exe", L"Changed later");
    ASSERT_NE(0u, before);
    std::wstring path = directory + L"\\procwin_changed.exe";
    Sleep(1100);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    EXPECT_TRUE(SetFileTime(file, NULL, NULL, &now));
    CloseHandle(file);
    Sleep(1100);
    PROCESS_INFORMATION after;
    ASSERT_TRUE(StartLocatorTarget(path, L"", &after));
    started.push_back(after);
    ShowWindow(window, SW_RESTORE);
    Refresh();
    EXPECT_EQ(L"(Not signed) (changed after the process started)", RowOf(before).signer);
    EXPECT_EQ(L"(Not signed)", RowOf(after.dwProcessId).signer) << "a row took another row's verdict";
    // The two rows share one read of the path's details: both are filled.
    EXPECT_EQ(L"Changed later", RowOf(after.dwProcessId).description);
    EXPECT_EQ(L"Changed later", RowOf(before).description);
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

// Without a thread for the reads, a new row is answered as unread, never left "Checking..."
TEST_F(ProcessWindow, ReadsThatFindNoThreadAreAnsweredNotLeftChecking)
{
    StopBackgroundJobs();
    ReopenBackgroundJobs();
    seams.createThread = NoThread;
    DWORD target = StartTarget(L"procwin_nothread.exe", L"Never read");
    ASSERT_NE(0u, target);
    Refresh();
    ListedRow row = RowOf(target);
    EXPECT_EQ(L"procwin_nothread.exe", row.name);
    EXPECT_EQ(L"(Cannot read the file)", row.signer);
    EXPECT_EQ(L"", row.description);
    EXPECT_FALSE(AreRowDetailsPending());
}

// A row tells of the modules with notes it loads; a process of the system's DLLs only tells of none.
TEST_F(ProcessWindow, ARowTellsOfTheModulesWithNotesItLoads)
{
    // Wine lets anyone write to the system's folder; Windows does not.
    wchar_t system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    ASSERT_TRUE(SetFolderRights(system, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
    // The rows' answers on a folder are kept two seconds: the earlier tests' must have aged.
    Sleep(2500);
    // A folder of its own: the plain process must not find the planted DLL beside it.
    const std::wstring folder = L"C:\\tavrowen-row-modules";
    CreateDirectoryW(folder.c_str(), NULL);
    const std::wstring host = folder + L"\\module_host.exe", planted = folder + L"\\dwmapi.dll";
    ASSERT_TRUE(CopyFileW(BinPath(L"module_host.exe").c_str(), host.c_str(), FALSE));
    const std::wstring mapped = folder + L"\\mapped-only.dll";
    for (const std::wstring& copy : {planted, mapped})
        ASSERT_TRUE(CopyFileW(BinPath(L"payload_dll.dll").c_str(), copy.c_str(), FALSE));
    files.insert(files.end(), {folder, host, planted, mapped});
    // Wine would load its own dwmapi.dll in place of the one named.
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\module_host.exe\\DllOverrides";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, overrides, L"dwmapi", REG_SZ, L"native", sizeof(L"native")));
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, L"TavrowenRowModulesReady");
    PROCESS_INFORMATION loader;
    ASSERT_TRUE(StartProgram(host, L"TavrowenRowModulesReady \"" + planted + L"\" \"" + mapped + L"\"", &loader));
    started.push_back(loader);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 30000));
    CloseHandle(ready);
    DWORD plain = StartTarget(L"procwin_plain.exe", L"Plain target");
    ASSERT_NE(0u, plain);
    Refresh();

    // The notes come after every row's own reads: the filter takes them in as they come.
    SetWindowTextW(filter, L"Loads dwmapi.dll, which has the name of the Windows library dwmapi.dll but is not in");
    EXPECT_TRUE(WaitUntil([&] { return ItemOf(loader.dwProcessId) >= 0; }, 30000))
        << "the row does not tell of its dwmapi.dll";
    SetWindowTextW(filter, L"procwin_plain");
    EXPECT_TRUE(WaitUntil([&] { return !ItemText(list, 0, COLUMN_NOTES).empty(); }, 30000)) << "its notes never came";
    SetWindowTextW(filter, L"Loads ");
    EXPECT_LT(ItemOf(plain), 0) << "a process of the system's DLLs tells of a module";
    SetWindowTextW(filter, L"");
}

// The screen reader's description of a row.
std::wstring AccessibleDescription(HWND list, int index)
{
    IAccessible* object = NULL;
    if (FAILED(AccessibleObjectFromWindow(list, OBJID_CLIENT, IID_IAccessible, (void**)&object)) || !object)
        return L"(no object)";
    VARIANT child = {};
    child.vt = VT_I4;
    child.lVal = index + 1;
    BSTR text = NULL;
    std::wstring description = SUCCEEDED(object->get_accDescription(child, &text)) && text ? text : L"(none)";
    SysFreeString(text);
    object->Release();
    return description;
}
void EndProcess(DWORD processId)
{
    PROCESS_INFORMATION process = {OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId)};
    EndProgram(&process);
}

TEST_F(ProcessWindow, TheTreeShowsWhoStartedWhomAndAnExitedParentLeavesItsChildOnTop)
{
    DWORD top = StartChain({L"tree_top.exe", L"tree_child.exe", L"tree_grandchild.exe"});
    ASSERT_NE(0u, top);
    Refresh();
    DWORD child = PidOfName(L"tree_child.exe"), grandchild = PidOfName(L"tree_grandchild.exe");
    ASSERT_TRUE(child && grandchild);
    EXPECT_EQ(L"tree_child.exe (" + std::to_wstring(child) + L")", ItemText(list, ItemOf(grandchild), COLUMN_PARENT));
    EXPECT_EQ(L"tree_top.exe (" + std::to_wstring(top) + L")", ItemText(list, ItemOf(child), COLUMN_PARENT));
    SetWindowTextW(filter, L"tree_top.exe (");
    EXPECT_EQ(1u, ReadRows(list).size()) << "the filter matches the Parent column";
    SetWindowTextW(filter, L"");
    SendMessageW(window, WM_COMMAND, IDM_SHOW_TREE, 0);
    int at = ItemOf(top);
    ASSERT_GE(at, 0);
    EXPECT_EQ(at + 1, ItemOf(child));
    EXPECT_EQ(at + 2, ItemOf(grandchild));
    int level = IndentOf(at);
    EXPECT_GT(level, 0) << "the test program started the first";
    EXPECT_EQ(level + 1, IndentOf(at + 1));
    EXPECT_EQ(level + 2, IndentOf(at + 2));
    EXPECT_EQ(0u, AccessibleDescription(list, at + 2).find(L"level " + std::to_wstring(level + 3)));

    // The filter keeps a matching row's ancestors, and nothing else.
    SetWindowTextW(filter, L"tree_grandchild");
    EXPECT_EQ((size_t)level + 3, ReadRows(list).size());
    EXPECT_GE(ItemOf(top), 0);
    SetWindowTextW(filter, L"");
    // Left goes to the parent, then closes it; `*` opens all below; a box's click closes.
    Select(ItemOf(grandchild));
    PressOnList(VK_LEFT);
    EXPECT_EQ(ItemOf(child), Selected());
    PressOnList(VK_LEFT);
    EXPECT_LT(ItemOf(grandchild), 0) << "Left did not collapse the child";
    Select(ItemOf(top));
    PressOnList(VK_LEFT);
    PressOnList(VK_MULTIPLY);
    EXPECT_EQ(ItemOf(top) + 2, ItemOf(grandchild)) << "* did not open every level";
    EXPECT_EQ(ItemOf(top), Selected()) << "the selection did not follow its PID";
    RECT icon = {LVIR_ICON};
    SendMessageW(list, LVM_GETITEMRECT, ItemOf(child), (LPARAM)&icon);
    NMITEMACTIVATE click = {{list, IDC_PROCESS_LIST, (UINT)NM_CLICK}, ItemOf(child)};
    click.ptAction = {icon.left - GetSystemMetrics(SM_CXSMICON) / 2, (icon.top + icon.bottom) / 2};
    SendMessageW(window, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&click);
    EXPECT_LT(ItemOf(grandchild), 0) << "a click on the box did not collapse";
    PressOnList(VK_MULTIPLY);
    EndProcess(child);
    Refresh();
    EXPECT_EQ(L"(exited)", ItemText(list, ItemOf(grandchild), COLUMN_PARENT));
    EXPECT_EQ(0, IndentOf(ItemOf(grandchild))) << "an orphan stands at the top";
    EndProcess(grandchild);
    DWORD kept = 0;
    EXPECT_TRUE(ReadDwordValue(HKEY_CURRENT_USER, settingsPath, L"ProcessesShowTree", &kept) && kept == 1);
    SendMessageW(window, WM_COMMAND, IDM_SHOW_TREE, 0);
    EXPECT_EQ(0, IndentOf(ItemOf(top))) << "the flat list again";
}

// The snapshot as the system gives it, but with the parent PIDs the test chose.
ProcessWalkProc realWalk = seams.walkProcesses;
std::vector<std::pair<DWORD, DWORD>> claimedParents;  // child, parent
std::pair<ProcessVisitor, void*> realVisit;
bool WalkClaimingParents(ProcessVisitor visit, void* context)
{
    realVisit = {visit, context};
    return realWalk([](const PROCESSENTRY32W* process, void*) {
        PROCESSENTRY32W entry = *process;
        for (const auto& claim : claimedParents)
            entry.th32ParentProcessID = claim.first == entry.th32ProcessID ? claim.second : entry.th32ParentProcessID;
        realVisit.first(&entry, realVisit.second);
    }, NULL);
}

TEST_F(ProcessWindow, AProcessStartedAfterTheChildIsNotItsParent)
{
    DWORD older = StartTarget(L"tree_older.exe", L"Older");
    DWORD newer = StartTarget(L"tree_newer.exe", L"Newer");
    ASSERT_TRUE(older && newer);
    // As though each PID had been its parent's, freed and taken again.
    claimedParents = {{older, newer}, {newer, older}};
    seams.walkProcesses = WalkClaimingParents;
    Refresh();
    seams.walkProcesses = realWalk;
    EXPECT_EQ(L"(exited)", ItemText(list, ItemOf(older), COLUMN_PARENT));
    EXPECT_EQ(L"tree_older.exe (" + std::to_wstring(older) + L")", ItemText(list, ItemOf(newer), COLUMN_PARENT));
}

TEST_F(ProcessWindow, AShellStartedByADocumentProgramSaysSo)
{
    ASSERT_NE(0u, StartChain({L"winword.exe", L"powershell.exe"}, L"Microsoft Corporation"));
    Refresh();
    DWORD shell = PidOfName(L"powershell.exe");
    ASSERT_NE(0u, shell);
    SetWindowTextW(filter, L"Started by winword.exe, a document program");
    EXPECT_EQ(1u, ReadRows(list).size());
    EXPECT_GE(ItemOf(shell), 0);
    // Its parent claims Microsoft but is not signed: a note of its own, passed on.
    SetWindowTextW(filter, L"Started by winword.exe, which has notes");
    EXPECT_TRUE(WaitUntil([&] { return ItemOf(shell) >= 0; }, 30000)) << "the parent's notes were not passed on";
    SetWindowTextW(filter, L"powershell.exe");
    EXPECT_TRUE(WaitUntil([&] { return ItemText(list, ItemOf(shell), COLUMN_NOTES).find(L"Started by") == std::wstring::npos; }, 30000))
        << "its own notes never came first";
    SetWindowTextW(filter, L"Started by winword.exe, a document program");
    EXPECT_GE(ItemOf(shell), 0) << "its own notes wiped its parent's";

    // Both notes in its sheet, as Copy Properties puts it on the clipboard.
    const std::wstring document = L"Started by winword.exe, a document program";
    const std::wstring noted = L"Started by winword.exe, which has notes";
    Select(ItemOf(shell));
    SetFocus(list);
    DWORD clipboard = GetClipboardSequenceNumber();
    SendMessageW(window, WM_COMMAND, IDM_COPY_PROPERTIES, 0);
    EXPECT_TRUE(WaitUntil([&] { return GetClipboardSequenceNumber() != clipboard; }, 60000)) << "no sheet copied";
    std::wstring sheet = ClipboardText();
    EXPECT_NE(std::wstring::npos, sheet.find(L"- " + document + L"\r\n")) << NarrowUtf8(sheet);
    EXPECT_NE(std::wstring::npos, sheet.find(L"- " + noted + L"\r\n")) << NarrowUtf8(sheet);
    // And in the report's notes of that process, from the real program.
    std::wstring json = directory + L"\\parents.json";
    std::wstring line = L"\"" + BinPath(L"Tavrowen2.exe") + L"\" /report \"" + json + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION report = {};
    ASSERT_TRUE(CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &report));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(report.hProcess, 180000));
    CloseHandle(report.hProcess);
    CloseHandle(report.hThread);
    files.push_back(json);
    std::wstring text = WidenUtf8(ReadFileText(json.c_str()));
    size_t start = text.find(L"\"pid\": " + std::to_wstring(shell) + L",");
    ASSERT_NE(std::wstring::npos, start) << "the shell is not in the report";
    std::wstring process = text.substr(start, text.find(L"\"pid\": ", start + 1) - start);
    EXPECT_NE(std::wstring::npos, process.find(L"\"" + document + L"\"")) << NarrowUtf8(process);
    EXPECT_NE(std::wstring::npos, process.find(L"\"" + noted + L"\"")) << NarrowUtf8(process);
}

// Image names folding A to Z, ties by PID.
bool NameOrder(const ListedRow& a, const ListedRow& b)
{
    for (size_t i = 0;; ++i) {
        wchar_t x = FoldAsciiLetter(a.name.c_str()[i]), y = FoldAsciiLetter(b.name.c_str()[i]);
        if (x != y)
            return x < y;
        if (!x)
            return std::stoul(a.pid) < std::stoul(b.pid);
    }
}

TEST_F(ProcessWindow, FilterKeepsMatchingRowsAndColumnsSortBothWays)
{
    DWORD alpha = StartTarget(L"procwin_alpha.exe", L"Filter Probe Alpha");
    DWORD beta = StartTarget(L"PROCWIN_BETA.exe", L"filter probe beta");
    DWORD gamma = StartTarget(L"procwin_gamma.exe", L"Unrelated", L"Filter Probe Company");
    DWORD other = StartTarget(L"procwin_other.exe", L"Something else");
    ASSERT_TRUE(alpha && beta && gamma && other);
    Refresh();
    std::vector<ListedRow> all = ReadRows(list);

    SetWindowTextW(filter, L"pRoBe");
    std::vector<ListedRow> kept = ReadRows(list);
    ASSERT_EQ(3u, kept.size()) << "rows left by the filter \"pRoBe\"";
    EXPECT_TRUE(ItemOf(alpha) >= 0 && ItemOf(beta) >= 0 && ItemOf(gamma) >= 0);
    SetWindowTextW(filter, L"procwin_O");
    EXPECT_EQ(1u, ReadRows(list).size()) << "by image name";
    EXPECT_EQ(0, ItemOf(other));
    SetWindowTextW(filter, L"");
    EXPECT_EQ(all.size(), ReadRows(list).size()) << "clearing the filter";

    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), NameOrder)) << "first order: by name";
    EXPECT_LT(ItemOf(alpha), ItemOf(beta)) << "PROCWIN_BETA sorts as procwin_beta";

    auto pids = [&] {
        std::vector<unsigned long> numbers;
        for (const ListedRow& row : ReadRows(list))
            numbers.push_back(std::stoul(row.pid));
        return numbers;
    };
    auto arrow = [&](int column) {
        HDITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.mask = HDI_FORMAT;
        SendMessageW((HWND)SendMessageW(list, LVM_GETHEADER, 0, 0), HDM_GETITEMW, column, (LPARAM)&item);
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    };
    EXPECT_EQ(HDF_SORTUP, arrow(0));
    ClickColumn(1);
    std::vector<unsigned long> numbers = pids();
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << "by PID, numerically";
    EXPECT_EQ(HDF_SORTUP, arrow(1));
    EXPECT_EQ(0, arrow(0));
    ClickColumn(1);
    numbers = pids();
    EXPECT_TRUE(std::is_sorted(numbers.rbegin(), numbers.rend())) << "by PID, reversed";
    EXPECT_EQ(HDF_SORTDOWN, arrow(1));
    ClickColumn(0);
    std::vector<ListedRow> rows = ReadRows(list);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), NameOrder)) << "by name again";
    ClickColumn(0);
    rows = ReadRows(list);
    EXPECT_TRUE(std::is_sorted(rows.rbegin(), rows.rend(), NameOrder)) << "by name, reversed";
}

// The other build's programs, when test.sh built both.
std::wstring OtherBuildProgram(const wchar_t* name)
{
    std::wstring bin = BinDirectory();
    std::wstring build = bin.substr(0, bin.find_last_of(L'\\'));
    std::wstring root = build.substr(0, build.find_last_of(L'\\'));
    const wchar_t* other = sizeof(void*) == 8 ? L"i686" : L"x86_64";
    return root + L"\\" + other + L"\\bin\\" + name;
}

TEST_F(ProcessWindow, ProcessesOfTheOtherBitnessHaveTheirPaths)
{
    std::wstring program = OtherBuildProgram(L"locator_target.exe");
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the other build's locator_target.exe is missing (" << Narrow(program)
                     << "); test.sh builds both";
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartLocatorTarget(program, L"", &process));
    started.push_back(process);
    Refresh();
    std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    EXPECT_TRUE(SameText(folder, RowOf(process.dwProcessId).folder))
        << "the other bitness's process has no path: " << Narrow(RowOf(process.dwProcessId).folder);
    EXPECT_TRUE(SameText(BinDirectory(), RowOf(GetCurrentProcessId()).folder)) << "this process has no path";
    // The run-time path query reaches it whatever the module list allows.
    wchar_t queried[MAX_PATH] = L"";
    EXPECT_TRUE(QueryProcessImagePath(process.dwProcessId, queried));
    EXPECT_TRUE(SameText(program, queried)) << Narrow(queried);

    std::vector<unsigned char> bytes = ReadWholeFile(program);
    std::wstring address = AddressOf([&] { DoubleClick(ItemOf(process.dwProcessId)); });
    EXPECT_EQ(WidenUtf8(SystemMd5(bytes)), QueryValue(address, L"md5")) << Narrow(address);
}

// A path with a quotation mark (a process's own module list can report
// one) would end the folder's argument early: it is refused, and said so.
bool QuotedPath(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    return process->th32ProcessID == GetCurrentProcessId()
               ? lstrcpyW(exePath, L"C:\\tavrowen-test\\a\" /e,\"C:\\windows\\x.exe") != NULL
               : realPathSource(process, exePath);
}

TEST_F(ProcessWindow, OpenFileLocationRefusesAQuotationMark)
{
    CloseProcessWindow();
    seams.processPathSource = QuotedPath;
    ShowProcessWindow();
    list = GetDlgItem(window = ProcessWindowHandle(), IDC_PROCESS_LIST);
    Refresh();
    Select(ItemOf(GetCurrentProcessId()));
    wchar_t told[512] = L"";
    ModalScript script([&] {
        std::vector<HWND> boxes = ProcessWindows(GetCurrentProcessId(), L"#32770");
        return !boxes.empty() && GetDlgItemTextW(boxes[0], 0xFFFF, told, 512) >= 0 &&
               PostMessageW(boxes[0], WM_COMMAND, IDOK, 0);
    });
    SendMessageW(window, WM_COMMAND, IDM_OPEN_LOCATION, 0);
    EXPECT_TRUE(wcsstr(told, L"quotation mark")) << "nobody was told: " << Narrow(told);
}

// ---- The real program -------------------------------------------------------------

TEST(ProcessWindowMenu, TheItemFollowsShowTaskManager)
{
    HMENU menu = LoadMenuW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDR_TASKMENU));
    ASSERT_TRUE(menu != NULL);
    HMENU popup = GetSubMenu(menu, 0);
    // The three switches, then Language.
    EXPECT_EQ(14, GetMenuItemCount(popup));
    EXPECT_EQ((UINT)IDM_TASK_MANAGER, GetMenuItemID(popup, 5));
    EXPECT_EQ((UINT)IDM_PROCESSES, GetMenuItemID(popup, 6));
    EXPECT_EQ((UINT)IDM_STARTUP_ENTRIES, GetMenuItemID(popup, 7));
    wchar_t text[128] = L"";
    GetMenuStringW(popup, 6, text, ARRAYSIZE(text), MF_BYPOSITION);
    EXPECT_STREQ(L"Running &Processes...", text);
    DestroyMenu(menu);
    LoadStringW(GetModuleHandleW(NULL), IDM_PROCESSES, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"Lists the running processes, each with a link to Kestrava.", text);
}

class RunningProgram : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
    }
    void TearDown() override
    {
        if (program.hProcess)
            ShutDownTavrowen(&program);
        SetWindowsVersionFor(L"Tavrowen2.exe", NULL);
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    void Start()
    {
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program)) << "no main window";
        mainWindow = FindMainWindow();
    }
    std::vector<HWND> Windows() const { return ProcessWindows(program.dwProcessId, L"TavrowenProcesses"); }
    HWND Open()
    {
        PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_PROCESSES, 0), 0);
        HWND window = NULL;
        WaitUntil([&] { return !Windows().empty() && (window = Windows().front()) != NULL; }, 15000);
        return window;
    }
    HWND FocusIn(HWND window) const
    {
        GUITHREADINFO info;
        ZeroMemory(&info, sizeof(info));
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info);
        return info.hwndFocus;
    }
    bool Closed(HWND window) const
    {
        return WaitUntil([&] { return !IsWindow(window); }, 10000);
    }
    PROCESS_INFORMATION program = {};
    HWND mainWindow = NULL;
};

TEST_F(RunningProgram, CommandOpensOneWindowAndKeysWork)
{
    Start();
    HWND window = Open();
    ASSERT_TRUE(window != NULL) << "command 40009 opened no window";
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"Running Processes - Tavrowen 2", text);
    HWND filter = GetDlgItem(window, IDC_PROCESS_FILTER);
    HWND list = GetDlgItem(window, IDC_PROCESS_LIST);
    ASSERT_TRUE(filter && list);
    GetClassNameW(filter, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"Edit", text);
    GetClassNameW(list, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"SysListView32", text);
    EXPECT_EQ(10, (int)SendMessageW((HWND)SendMessageW(list, LVM_GETHEADER, 0, 0), HDM_GETITEMCOUNT, 0, 0));
    EXPECT_GT((int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1) << "no rows";

    // A second command brings the same window back from the taskbar.
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, 5000));
    EXPECT_EQ(window, Open());
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(window); }, 10000)) << "not restored";
    EXPECT_EQ(1u, Windows().size());

    // Keys go through the program's loop: Tab, Alt+F, Down, Esc.
    ASSERT_TRUE(WaitUntil([&] { return FocusIn(window) == filter; }, 5000)) << "the filter has no focus at first";
    PostMessageW(filter, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(WaitUntil([&] { return FocusIn(window) == list; }, 5000)) << "Tab";
    PostMessageW(list, WM_SYSKEYDOWN, 'F', 1 << 29);
    EXPECT_TRUE(WaitUntil([&] { return FocusIn(window) == filter; }, 5000)) << "Alt+F";
    PostMessageW(filter, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_TRUE(WaitUntil([&] { return FocusIn(window) == list; }, 5000)) << "Down in the filter";
    EXPECT_GE((int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 0) << "Down selected no row";
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(Closed(window)) << "Esc";
    EXPECT_EQ(sizeof(WINDOWPLACEMENT), ReadSwitchValue(placementName).data.size()) << "placement not stored";

    // The balloon's click opens it too.
    PostMessageW(mainWindow, WM_TRAY_CALLBACK, 0, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(WaitUntil([&] { return !Windows().empty(); }, 10000)) << "the balloon's click";
}

TEST_F(RunningProgram, PlacementIsKeptAndBroughtBackOnScreen)
{
    Start();
    HWND window = Open();
    ASSERT_TRUE(window != NULL);
    // First time: the default size, centred.
    RECT rect;
    GetWindowRect(window, &rect);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(760, rect.right - rect.left);
    EXPECT_EQ(480, rect.bottom - rect.top);
    EXPECT_LE(abs((rect.left + rect.right) / 2 - screenWidth / 2), 1);
    EXPECT_LE(abs((rect.top + rect.bottom) / 2 - screenHeight / 2), 1);

    SetWindowPos(window, NULL, 100, 120, 700, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] { return GetWindowRect(window, &rect) && rect.left == 100 && rect.top == 120; }, 5000));
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Closed(window));
    window = Open();
    ASSERT_TRUE(window != NULL);
    GetWindowRect(window, &rect);
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(120, rect.top);
    EXPECT_EQ(700, rect.right - rect.left);
    EXPECT_EQ(400, rect.bottom - rect.top);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Closed(window));

    // Far off every screen: opens on the screen, at its size.
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof(placement));
    placement.length = sizeof(placement);
    placement.showCmd = SW_SHOWNORMAL;
    SetRect(&placement.rcNormalPosition, 9000, -7000, 9600, -6600);
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, settingsPath, placementName, REG_BINARY, &placement,
                                   sizeof(placement)));
    window = Open();
    ASSERT_TRUE(window != NULL);
    GetWindowRect(window, &rect);
    EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= screenWidth && rect.bottom <= screenHeight)
        << rect.left << "," << rect.top << " - " << rect.right << "," << rect.bottom;
    EXPECT_EQ(600, rect.right - rect.left);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Closed(window));

    // Three bytes are no placement: the default again.
    const BYTE shortValue[3] = {1, 2, 3};
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, settingsPath, placementName, REG_BINARY, shortValue, 3));
    window = Open();
    ASSERT_TRUE(window != NULL);
    GetWindowRect(window, &rect);
    EXPECT_EQ(760, rect.right - rect.left);
    EXPECT_LE(abs((rect.left + rect.right) / 2 - screenWidth / 2), 1);

    // Shutting down with the window open closes it, keeping its placement.
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, placementName);
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
    EXPECT_EQ(sizeof(WINDOWPLACEMENT), ReadSwitchValue(placementName).data.size()) << "not closed at shutdown";
}

// The balloon's tooltip in Wine's tray, when one shows our text.
bool HintBalloonShown()
{
    DWORD trayProcess = WindowProcessId(FindTrayWindow());
    for (HWND tip : ProcessWindows(trayProcess, L"tooltips_class32")) {
        wchar_t text[512] = L"";
        SendMessageTimeoutW(tip, WM_GETTEXT, ARRAYSIZE(text), (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
        if (wcsstr(text, L"no room for the link strip"))
            return true;
    }
    return false;
}

TEST_F(RunningProgram, BalloonShowsOnceOnWindows8AndLaterOnly)
{
    SetWindowsVersionFor(L"Tavrowen2.exe", L"win10");
    Start();
    EXPECT_TRUE(WaitUntil([] { return IsDword(ReadSwitchValue(hintName), 1); }, 10000))
        << Describe(ReadSwitchValue(hintName));
    EXPECT_TRUE(WaitUntil(HintBalloonShown, 10000)) << "no balloon with the hint";
    ShutDownTavrowen(&program);
    WaitUntil([] { return !HintBalloonShown(); }, 20000);

    Start();
    PumpMessagesFor(3000);
    EXPECT_FALSE(HintBalloonShown()) << "shown again at the second start";
    EXPECT_TRUE(IsDword(ReadSwitchValue(hintName), 1));
    ShutDownTavrowen(&program);

    SetWindowsVersionFor(L"Tavrowen2.exe", L"winxp");
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, hintName);
    Start();
    PumpMessagesFor(3000);
    EXPECT_FALSE(HintBalloonShown()) << "shown on Windows XP";
    EXPECT_FALSE(ReadSwitchValue(hintName).present) << Describe(ReadSwitchValue(hintName));
}

}  // namespace
