// Files planted beside a portable copy, or in the folder it is started from,
// never run: Task Manager and Explorer are started by their full paths, and a
// DLL that is no KnownDLL comes from the system folder.
#include <windows.h>
#include <commctrl.h>
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

TEST(PlantedFiles, DecoysBesideTheProgramNeverRun)
{
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(folder, NULL);
    // The recorder writes addresses.txt beside itself whenever it runs.
    const wchar_t* copies[][2] = {{L"Tavrowen2.exe", L"Tavrowen2.exe"}, {L"recorder.exe", L"taskmgr.exe"},
                                  {L"recorder.exe", L"explorer.exe"}, {L"decoy_dll.dll", L"version.dll"},
                                  {L"decoy_dll.dll", L"oleacc.dll"}};
    for (const auto& copy : copies)
        ASSERT_TRUE(CopyFileW(BinPath(copy[0]).c_str(), Beside(copy[1]).c_str(), FALSE));
    // Native first, so that only the search order keeps the decoys out.
    ASSERT_TRUE(SetEnvironmentVariableW(L"WINEDLLOVERRIDES",
                                        L"version,oleacc=n,b;winemenubuilder.exe=d;mscoree=d;mshtml=d"));
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsKeyPath, L"NoSplashScreen", 1));

    // Started from its own folder, not at logon: it starts Task Manager.
    PROCESS_INFORMATION program = {};
    ASSERT_TRUE(StartProgram(Beside(L"Tavrowen2.exe"), L"", &program, folder));
    ASSERT_TRUE(WaitUntil([] { return FindMainWindow() != NULL; }, 30000)) << "the program did not start";
    EXPECT_TRUE(WaitUntil([] { return shell::FindTaskManagerWindow() != NULL; }, 30000)) << "no Task Manager started";

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
    PostMessageW(window, WM_COMMAND, IDM_OPEN_LOCATION, 0);
    PumpMessagesFor(3000);

    for (const wchar_t* mark : {L"addresses.txt", L"version.dll.loaded", L"oleacc.dll.loaded"})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Beside(mark).c_str()))
            << "a decoy ran: " << NarrowUtf8(mark);
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
}

}  // namespace
