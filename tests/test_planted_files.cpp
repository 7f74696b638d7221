// Files planted beside a portable copy, or in the folder it is started from,
// never run: Task Manager and Explorer are started by their full paths, and a
// DLL that is no KnownDLL comes from the system folder.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include "core/process_command_line.h"
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

// Whether the process holds the system folder's copy of the DLL: the code that loads it has run.
bool HoldsSystemModule(DWORD processId, const wchar_t* name)
{
    wchar_t wanted[MAX_PATH];
    GetSystemDirectoryW(wanted, MAX_PATH);
    lstrcatW(wanted, L"\\");
    lstrcatW(wanted, name);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    MODULEENTRY32W module = {sizeof(module)};
    bool found = false;
    for (BOOL more = Module32FirstW(snapshot, &module); more && !found; more = Module32NextW(snapshot, &module))
        found = lstrcmpiW(module.szExePath, wanted) == 0;
    CloseHandle(snapshot);
    return found;
}

// Whether some process was started with "/select," on its command line (Open File Location's Explorer).
bool ExplorerSelectRuns()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W process = {sizeof(process)};
    static wchar_t commandLine[COMMAND_LINE_CAPACITY];
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &process); more && !found; more = Process32NextW(snapshot, &process))
        found = ReadProcessCommandLine(process.th32ProcessID, commandLine) && wcsstr(commandLine, L"/select,");
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
    // The variable never reaches the program (a child); the per-program key does. Not version: Wine's own
    // DLLs import it at start, before any of our code, and Wine ignores DependentLoadFlags.
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

    // A click beside Task Manager's first row names the row through Active Accessibility (oleacc).
    ClearRecordedAddresses();
    SetForegroundWindow(shell::FindTaskManagerWindow());
    PumpMessagesFor(500);
    RECT strip;
    GetWindowRect(shell::AttachedStrip(shell::FindTaskManagerWindow()), &strip);
    ClickScreenPoint(strip.left + 4, strip.top + 6);
    EXPECT_TRUE(WaitForRecordedAddresses(1, 20000)) << "the click opened no lookup";

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
    SendMessageW(filter, WM_SETTEXT, 0, (LPARAM)L"Tavrowen2");
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, 10000))
        << SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) << " rows";
    PostMessageW(filter, WM_KEYDOWN, VK_DOWN, 0);  // selects the first row
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 10000));
    // Its signer is checked (wintrust, crypt32) once the row is shown.
    EXPECT_TRUE(WaitUntil([&] { return HoldsSystemModule(program.dwProcessId, L"wintrust.dll"); }, 30000))
        << "no signer check ran";
    PostMessageW(window, WM_COMMAND, IDM_OPEN_LOCATION, 0);
    EXPECT_TRUE(WaitUntil(ExplorerSelectRuns, 20000)) << "Open File Location started no Explorer";
    // The finder (dwmapi) selects the process of the window behind, clearing the filter.
    PostMessageW(window, WM_COMMAND, IDM_FIND_WINDOW_PROCESS, 0);
    EXPECT_TRUE(WaitUntil([&] { return GetWindowTextLengthW(filter) == 0; }, 10000)) << "the finder found nothing";
    PumpMessagesFor(1000);

    for (const wchar_t* mark : {L"addresses.txt", L"version.dll.loaded", L"oleacc.dll.loaded", L"wintrust.dll.loaded",
                                L"crypt32.dll.loaded", L"dwmapi.dll.loaded"})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Beside(mark).c_str()))
            << "a decoy ran: " << NarrowUtf8(mark);
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
    DeleteRegistryTree(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Tavrowen2.exe");
}

}  // namespace
