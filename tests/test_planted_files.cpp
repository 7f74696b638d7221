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

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(PlantedFiles, DecoysBesideTheProgramNeverRun)
{
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(folder, NULL);
    ASSERT_TRUE(CopyFileW(BinPath(L"Tavrowen2.exe").c_str(), Beside(L"Tavrowen2.exe").c_str(), FALSE));
    // The recorder writes addresses.txt beside itself whenever it runs.
    for (const wchar_t* decoy : {L"taskmgr.exe", L"explorer.exe"})
        ASSERT_TRUE(CopyFileW(BinPath(L"recorder.exe").c_str(), Beside(decoy).c_str(), FALSE));
    for (const wchar_t* decoy : {L"version.dll", L"oleacc.dll"})
        ASSERT_TRUE(CopyFileW(BinPath(L"decoy_dll.dll").c_str(), Beside(decoy).c_str(), FALSE));
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

    EXPECT_FALSE(Exists(Beside(L"addresses.txt"))) << "a decoy taskmgr.exe or explorer.exe ran";
    for (const wchar_t* decoy : {L"version.dll.loaded", L"oleacc.dll.loaded"})
        EXPECT_FALSE(Exists(Beside(decoy))) << "the decoy was loaded: " << NarrowUtf8(decoy);
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
}

}  // namespace
