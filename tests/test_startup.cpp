// Start-up and shutdown of the real program, observed from outside.
#include <gtest/gtest.h>
#include "test_support.h"

namespace {

// Text of a message box with the given caption, once it shows.
std::wstring WaitForMessageBoxText(const wchar_t* caption, HWND* box)
{
    *box = WaitForTopWindow(L"#32770", caption, 15000);
    if (!*box)
        return L"";
    wchar_t text[256] = L"";
    HWND label = GetDlgItem(*box, 0xFFFF);
    if (label)
        GetWindowTextW(label, text, ARRAYSIZE(text));
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
