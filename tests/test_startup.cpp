// Start-up and shutdown of the real program, observed from outside.
#include <gtest/gtest.h>
#include "app/app_state.h"
#include "app/file_lookup.h"
#include "app/main_window.h"
#include "core/background_jobs.h"
#include "core/debug_privilege.h"
#include "lookup/process_lookup.h"
#include "shell_support.h"
#include "taskmgr/link_strip.h"
#include "test_support.h"

namespace {

// Text of a message box with the given caption, once it shows.
std::wstring WaitForMessageBoxText(const wchar_t* caption, HWND* box)
{
    *box = WaitForTopWindow(L"#32770", caption, 15000);
    if (!*box)
        return L"";
    // The box exists a moment before its label is given its text.
    std::wstring text;
    WaitUntil(
        [&] {
            wchar_t buffer[256] = L"";
            HWND label = GetDlgItem(*box, 0xFFFF);
            if (label)
                GetWindowTextW(label, buffer, ARRAYSIZE(buffer));
            text = buffer;
            return !text.empty();
        },
        15000);
    return text;
}

class RunningProgram : public testing::Test {
protected:
    void SetUp() override
    {
        // Not from desktop: no Task Manager, no splash screen to wait for.
        ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), L"/autostart", &first));
        ASSERT_TRUE(WaitUntil([] { return FindMainWindow() != NULL; }, 20000));
    }
    void TearDown() override
    {
        EndProgram(&first);
        WaitUntil([] { return FindMainWindow() == NULL; }, 5000);
    }
    PROCESS_INFORMATION first = {};
};

}  // namespace

TEST_F(RunningProgram, SecondCopySaysAlreadyRunningAndLeavesTheFirst)
{
    PROCESS_INFORMATION second;
    ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), L"", &second));
    HWND box = NULL;
    EXPECT_EQ(L"Tavrowen2 is already running on this machine.", WaitForMessageBoxText(L"Tavrowen2", &box));
    ASSERT_TRUE(box != NULL);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, WaitForExit(second, 15000));
    EndProgram(&second);
    EXPECT_EQ(STILL_ACTIVE, WaitForExit(first, 0));
    EXPECT_TRUE(FindMainWindow() != NULL);
}

TEST_F(RunningProgram, ShutdownSwitchEndsTheRunningCopy)
{
    const wchar_t* notTheSwitch[] = {L"\" /shutdown\"", L"/shutdownx", L"x/shutdown"};
    for (const wchar_t* tail : notTheSwitch) {
        PROCESS_INFORMATION other;
        ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), tail, &other));
        HWND box = NULL;
        // Not the switch: an ordinary second start, which meets the first copy.
        EXPECT_EQ(L"Tavrowen2 is already running on this machine.", WaitForMessageBoxText(L"Tavrowen2", &box))
            << NarrowUtf8(tail);
        if (box)
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(0u, WaitForExit(other, 15000));
        EndProgram(&other);
    }
    EXPECT_EQ(STILL_ACTIVE, WaitForExit(first, 0));

    PROCESS_INFORMATION sender;
    ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), L"/SHUTDOWN", &sender));
    EXPECT_EQ(0u, WaitForExit(sender, 15000));
    EndProgram(&sender);
    EXPECT_EQ(1u, WaitForExit(first, 15000));
}

TEST(Shutdown, WithNoRunningCopyExitsZeroQuietly)
{
    PROCESS_INFORMATION sender;
    ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), L"/shutdown", &sender));
    EXPECT_EQ(0u, WaitForExit(sender, 15000));
    EndProgram(&sender);
    EXPECT_TRUE(FindWindowW(L"#32770", L"Tavrowen2") == NULL);
}

// S_FALSE: this thread already had COM, apartment-threaded; S_OK: it had none.
static HRESULT ProbeCom()
{
    HRESULT result = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result))
        CoUninitialize();
    return result;
}

// The whole program in this process: COM is ready on its thread for the shell
// for the whole run, the accessibility query leaves it so, and the end undoes it.
TEST(Com, InitialisedForTheWholeRunAndUndoneAtItsEnd)
{
    ASSERT_EQ(S_OK, ProbeCom()) << "COM was already initialised before the run";
    HWND mainWindow = NULL;
    HRESULT whileRunning = E_FAIL, afterQuery = E_FAIL;
    shell::ModalScript script([&] {
        mainWindow = appState.mainWindow;
        if (!mainWindow || !shell::TrayIconExists(mainWindow))
            return false;
        whileRunning = ProbeCom();
        wchar_t name[MAX_PATH] = L"";
        POINT point = {5, 5};
        NameAtPoint(point, name);
        afterQuery = ProbeCom();
        PostMessageW(mainWindow, WM_SHUTDOWN_REQUEST, 0, 0);
        return true;
    });
    EXPECT_EQ(1, RunTavrowen(GetModuleHandleW(NULL), L"/autostart", 0));
    EXPECT_EQ(S_FALSE, whileRunning) << "COM was not initialised while the program ran";
    EXPECT_EQ(S_FALSE, afterQuery) << "the accessibility query took COM away";
    EXPECT_EQ(S_OK, ProbeCom()) << "COM was left initialised after the run";
    if (mainWindow)
        DestroyWindow(mainWindow);
    MSG quit;
    PeekMessageW(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
}

// Any process of our integrity can post the worker's message. Whatever it
// carries, it opens nothing, and the program runs on to an orderly end.
TEST_F(RunningProgram, AForgedLookupMessageIsIgnored)
{
    ClearRecordedAddresses();
    HWND main = FindMainWindow();
    const LPARAM forged[] = {0, 1, 2, 0x10000, (LPARAM)0x12345678, (LPARAM)-1, (LPARAM)main};
    for (LPARAM lParam : forged)
        ASSERT_TRUE(PostMessageW(main, WM_LOOKUP_FINISHED, 0, lParam));
    // The shutdown request queues behind them: an orderly end means they were taken.
    EXPECT_EQ(1u, ShutDownTavrowen(&first)) << "the program did not survive the forged messages";
    EXPECT_TRUE(ReadRecordedAddresses().empty());
}

// Forged while a real lookup is under way, and again once it was taken: the
// ids of no finished job open nothing, and the real one opens its address once.
TEST_F(RunningProgram, ForgedLookupMessagesBesideARealLookupOpenOnlyItsAddress)
{
    ClearRecordedAddresses();
    HWND main = FindMainWindow();
    wchar_t system[MAX_PATH] = L"";
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    std::wstring path = std::wstring(system) + L"\\kernel32.dll";
    COPYDATASTRUCT data = {LOOKUP_PATH_DATA, (DWORD)((path.size() + 1) * sizeof(wchar_t)), (void*)path.c_str()};
    ASSERT_EQ(TRUE, SendMessageW(main, WM_COPYDATA, 0, (LPARAM)&data));
    auto forge = [main] {
        for (LPARAM id = 0; id < 64; ++id)
            PostMessageW(main, WM_LOOKUP_FINISHED, 0, id);
    };
    forge();
    ASSERT_TRUE(WaitForRecordedAddresses(1, 30000));
    forge();
    EXPECT_EQ(1u, ShutDownTavrowen(&first)) << "the program did not survive the forged messages";
    std::vector<std::wstring> addresses = ReadRecordedAddresses();
    ASSERT_EQ(1u, addresses.size()) << "a forged message opened an address again";
    EXPECT_NE(std::wstring::npos, addresses[0].find(L"kernel32.dll")) << NarrowUtf8(addresses[0]);
}

// Whether the process's token has SeDebugPrivilege enabled.
bool DebugPrivilegeEnabled(HANDLE process)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return false;
    LUID debug;
    BYTE buffer[4096];
    DWORD bytes = 0;
    bool enabled = false;
    if (LookupPrivilegeValueW(NULL, L"SeDebugPrivilege", &debug) &&
        GetTokenInformation(token, TokenPrivileges, buffer, sizeof(buffer), &bytes)) {
        const TOKEN_PRIVILEGES* privileges = (const TOKEN_PRIVILEGES*)buffer;
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
            if (entry.Luid.LowPart == debug.LowPart && entry.Luid.HighPart == debug.HighPart)
                enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

// Held only while other accounts' processes are opened, never while idle.
TEST_F(RunningProgram, DebugPrivilegeIsEnabledOnlyAroundTheCallsThatNeedIt)
{
    PumpMessagesFor(500);
    EXPECT_FALSE(DebugPrivilegeEnabled(first.hProcess)) << "enabled for the whole run";
    BeginDebugPrivilege();
    BeginDebugPrivilege();
    EndDebugPrivilege();
    EXPECT_TRUE(DebugPrivilegeEnabled(GetCurrentProcess())) << "a nested user disabled it";
    EndDebugPrivilege();
    EXPECT_FALSE(DebugPrivilegeEnabled(GetCurrentProcess())) << "left enabled after its last user";
}
