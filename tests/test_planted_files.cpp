// Files planted beside a portable copy, or in the folder it is started from,
// never run: Task Manager and Explorer are started by their full paths, and a
// DLL that is no KnownDLL comes from the system folder.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include "core/settings.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

namespace {

const wchar_t folder[] = L"C:\\tavrowen-test\\portable";

std::wstring Beside(const wchar_t* name)
{
    return std::wstring(folder) + L"\\" + name;
}

// Whether a toolhelp snapshot (one process's modules, or every process) holds an entry `match` accepts.
template <typename Entry, typename Match>
bool SnapshotHolds(DWORD flags, DWORD processId, BOOL(WINAPI* first)(HANDLE, Entry*),
                   BOOL(WINAPI* next)(HANDLE, Entry*), Match match)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(flags, processId);
    Entry entry = {sizeof(entry)};
    bool found = false;
    for (BOOL more = first(snapshot, &entry); more && !found; more = next(snapshot, &entry))
        found = match(entry);
    CloseHandle(snapshot);
    return found;
}

TEST(PlantedFiles, DecoysBesideTheProgramNeverRun)
{
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(folder, NULL);
    // The recorder writes addresses.txt beside itself whenever it runs.
    const wchar_t* copies[][2] = {{L"Tavrowen2.exe", L"Tavrowen2.exe"}, {L"recorder.exe", L"taskmgr.exe"},
                                  {L"recorder.exe", L"explorer.exe"}, {L"decoy_dll.dll", L"version.dll"},
                                  {L"decoy_dll.dll", L"oleacc.dll"},  {L"decoy_dll.dll", L"wintrust.dll"},
                                  {L"decoy_dll.dll", L"crypt32.dll"}, {L"decoy_dll.dll", L"dwmapi.dll"}};
    for (const auto& copy : copies)
        ASSERT_TRUE(CopyFileW(BinPath(copy[0]).c_str(), Beside(copy[1]).c_str(), FALSE));
    // Native first, so that only the search order keeps the decoys out.
    ASSERT_TRUE(SetEnvironmentVariableW(L"WINEDLLOVERRIDES",
                                        L"version,oleacc=n,b;winemenubuilder.exe=d;mscoree=d;mshtml=d"));
    // Only the per-program key reaches a child; not version, which Wine's own DLLs import at start.
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\Tavrowen2.exe\\DllOverrides";
    for (const wchar_t* name : {L"oleacc", L"wintrust", L"crypt32", L"dwmapi"})
        ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, overrides, name, REG_SZ, L"native,builtin", 30));
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsKeyPath, L"NoSplashScreen", 1));

    // Started from its own folder, not at logon: it starts Task Manager.
    PROCESS_INFORMATION program = {};
    ASSERT_TRUE(StartProgram(Beside(L"Tavrowen2.exe"), L"", &program, folder));
    ASSERT_TRUE(WaitUntil([] { return FindMainWindow() != NULL; }, 30000)) << "the program did not start";
    ASSERT_TRUE(WaitUntil([] { return shell::AttachedStrip(shell::FindTaskManagerWindow()) != NULL; }, 30000))
        << "no Task Manager started, or no strip in it";

    // A click beside Task Manager's first row names it through Active Accessibility (oleacc); again while rows come in.
    SetForegroundWindow(shell::FindTaskManagerWindow());
    EXPECT_TRUE(WaitUntil([] {
        RECT strip = {};
        GetWindowRect(shell::AttachedStrip(shell::FindTaskManagerWindow()), &strip);
        ClickScreenPoint(strip.left + 4, strip.top + 6);
        return WaitForRecordedAddresses(1, 3000);
    }, 30000)) << "no click opened a lookup";

    // Open File Location on the program's own row starts Explorer.
    PostMessageW(FindMainWindow(), WM_COMMAND, IDM_PROCESSES, 0);
    HWND window = NULL, filter = NULL, list = NULL;
    // The window exists a moment before its controls do.
    ASSERT_TRUE(WaitUntil([&] {
        window = FindWindowW(L"TavrowenProcesses", NULL);
        filter = GetDlgItem(window, IDC_PROCESS_FILTER);
        list = GetDlgItem(window, IDC_PROCESS_LIST);
        return filter && list;
    }, 30000));
    // Its folder: its name is also in the Parent cell of what it started.
    SendMessageW(filter, WM_SETTEXT, 0, (LPARAM)L"portable");
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, 10000))
        << SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) << " rows";
    PostMessageW(filter, WM_KEYDOWN, VK_DOWN, 0);  // selects the first row
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 10000));
    // Its signer is checked (wintrust, crypt32) once the row is shown.
    auto wintrust = [](const MODULEENTRY32W& m) { return lstrcmpiW(m.szModule, L"wintrust.dll") == 0; };
    EXPECT_TRUE(WaitUntil([&] { return SnapshotHolds(TH32CS_SNAPMODULE, program.dwProcessId, Module32FirstW,
                                                     Module32NextW, wintrust); }, 30000)) << "no signer check ran";
    PostMessageW(window, WM_COMMAND, IDM_OPEN_LOCATION, 0);
    // Explorer, besides the one that holds the desktop (a 32-bit test cannot read a 64-bit command line).
    DWORD desktop = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &desktop);
    auto explorer = [&](const PROCESSENTRY32W& p) {
        return p.th32ProcessID != desktop && lstrcmpiW(p.szExeFile, L"explorer.exe") == 0;
    };
    EXPECT_TRUE(WaitUntil([&] { return SnapshotHolds(TH32CS_SNAPPROCESS, 0, Process32FirstW, Process32NextW,
                                                     explorer); }, 20000)) << "Open File Location started no Explorer";
    // The finder (dwmapi) selects the process of the window behind, clearing the filter.
    PostMessageW(window, WM_COMMAND, IDM_FIND_WINDOW_PROCESS, 0);
    EXPECT_TRUE(WaitUntil([&] { return GetWindowTextLengthW(filter) == 0; }, 10000)) << "the finder found nothing";

    for (const wchar_t* mark : {L"addresses.txt", L"version.dll.loaded", L"oleacc.dll.loaded", L"wintrust.dll.loaded",
                                L"crypt32.dll.loaded", L"dwmapi.dll.loaded"})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Beside(mark).c_str()))
            << "a decoy ran: " << NarrowUtf8(mark);
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
    DeleteRegistryTree(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Tavrowen2.exe");
}

}  // namespace
