// The real Tavrowen2.exe beside the stand-in Task Manager, watched from
// outside as a user would see it: where the strip is, and what the browser
// (the recorder) receives when the strip is clicked with the mouse.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>
#include "core/settings.h"
#include "core/lookup_url.h"
#include "taskmgr/link_strip.h"
#include "shell_support.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

const int STRIP_WIDTH = 12;

void Observe(const char* what, DWORD milliseconds)
{
    printf("[ observed ] %s: %lu ms\n", what, milliseconds);
    testing::Test::RecordProperty(what, (int)milliseconds);
}

HWND ChildOfClass(HWND parent, const wchar_t* className)
{
    return parent ? FindWindowExW(parent, NULL, className, NULL) : NULL;
}

int CountChildrenOfClass(HWND parent, const wchar_t* className)
{
    int count = 0;
    for (HWND child = FindWindowExW(parent, NULL, className, NULL); child;
         child = FindWindowExW(parent, child, className, NULL))
        ++count;
    return count;
}

int CountTaskManagers()
{
    int count = 0;
    for (HWND window = FindWindowExW(NULL, NULL, MAKEINTATOM(0x8002), STANDIN_TITLE); window;
         window = FindWindowExW(NULL, window, MAKEINTATOM(0x8002), STANDIN_TITLE))
        ++count;
    return count;
}

// A real left click (or double click) where the cursor is put.
void ClickAt(int x, int y, int clicks = 1)
{
    SetCursorPos(x, y);
    std::vector<INPUT> inputs;
    for (int i = 0; i < clicks; ++i) {
        for (DWORD flag : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
            INPUT input = {};
            input.type = INPUT_MOUSE;
            input.mi.dwFlags = flag;
            inputs.push_back(input);
        }
    }
    SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT));
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        // The welcome screen would hold start-up for ten seconds.
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsKeyPath, L"NoSplashScreen", 1));
        ClearRecordedAddresses();
    }
    void TearDown() override { StopProgram(); }

    // Starts Tavrowen2.exe and returns when its main window exists.
    bool StartTavrowen(const wchar_t* arguments) { return ::StartTavrowen(L"Tavrowen2.exe", arguments, &program); }

    void StopProgram()
    {
        if (program.hProcess) {
            EXPECT_EQ(1u, ShutDownTavrowen(&program)) << "the program did not end through /shutdown";
        }
    }

    HWND Strip(const StandInTaskManager& standIn) { return ChildOfClass(standIn.page, L"LinksMarlet"); }

    // Waits until the program's strip lies in the stand-in's page; reports the time.
    HWND WaitForAttachment(const StandInTaskManager& standIn, const char* what)
    {
        DWORD start = GetTickCount();
        HWND strip = NULL;
        bool attached = WaitUntil([&] {
            strip = Strip(standIn);
            return strip && ChildOfClass(standIn.page, L"MarletSpy");
        }, 10000, 1);
        EXPECT_TRUE(attached) << what << ": the strip never reached the Processes page";
        if (attached)
            Observe(what, GetTickCount() - start);
        return strip;
    }

    RECT StripRectInPage(HWND strip, const StandInTaskManager& standIn)
    {
        RECT rect;
        GetWindowRect(strip, &rect);
        MapWindowPoints(NULL, standIn.page, (POINT*)&rect, 2);
        return rect;
    }

    bool StripCovers(HWND strip, const StandInTaskManager& standIn, int rows)
    {
        RECT rect = StripRectInPage(strip, standIn);
        return GetParent(strip) == standIn.page && rect.left == 0 &&
               rect.top == standIn.HeaderBottomInPage() + 1 && rect.right - rect.left == STRIP_WIDTH &&
               rect.bottom - rect.top == rows * standIn.RowHeight();
    }

    void ExpectStripCovers(HWND strip, const StandInTaskManager& standIn, int rows, const char* what)
    {
        DWORD start = GetTickCount();
        bool covers = WaitUntil([&] { return StripCovers(strip, standIn, rows); }, 5000, 1);
        RECT rect = StripRectInPage(strip, standIn);
        EXPECT_TRUE(covers) << what << ": strip at " << rect.left << "," << rect.top << " size "
                            << rect.right - rect.left << "x" << rect.bottom - rect.top << "; expected 0,"
                            << standIn.HeaderBottomInPage() + 1 << " size " << STRIP_WIDTH << "x"
                            << rows * standIn.RowHeight();
        if (covers)
            Observe(what, GetTickCount() - start);
    }

    // Both windows are back under the program's hidden main window.
    bool Detached(HWND strip, HWND spy)
    {
        HWND main = FindMainWindow();
        return main && GetParent(strip) == main && GetParent(spy) == main;
    }

    // The program's open tray menu, if any.
    HWND OpenMenu() const
    {
        std::vector<HWND> menus = shell::ProcessWindows(program.dwProcessId, L"#32768");
        return menus.empty() ? NULL : menus.front();
    }

    PROCESS_INFORMATION program = {};
};

}  // namespace

TEST_F(EndToEnd, StartedBesideAnOpenTaskManagerTheStripAttachesAtOnce)
{
    struct Case {
        const wchar_t* rows;
        int shown;
    } cases[] = {{L"/count:30 /perpage:20", 20}, {L"/count:5 /perpage:20", 5}};
    for (const Case& test : cases) {
        StandInTaskManager standIn;
        ASSERT_TRUE(standIn.Start(test.rows));
        ASSERT_TRUE(StartTavrowen(L""));
        HWND strip = WaitForAttachment(standIn, "attach after start-up beside an open Task Manager");
        ASSERT_TRUE(strip != NULL) << NarrowUtf8(test.rows);
        ExpectStripCovers(strip, standIn, test.shown, "strip sized to the rows");
        PumpMessagesFor(300);
        EXPECT_EQ(1, CountTaskManagers()) << "a second Task Manager was started";
        StopProgram();
        EXPECT_TRUE(Strip(standIn) == NULL) << "the strip stayed in Task Manager after Exit";
    }
}

TEST_F(EndToEnd, StartedWithoutTaskManagerItStartsOneAndAttaches)
{
    ASSERT_EQ(0, CountTaskManagers());
    ASSERT_TRUE(StartTavrowen(L""));
    StandInTaskManager started;
    ASSERT_TRUE(started.Adopt(20000)) << "Task Manager was not started";
    ASSERT_TRUE(WaitUntil([&] { return started.FindWindows(); }, 10000));
    EXPECT_TRUE(WaitForAttachment(started, "attach to the Task Manager it started") != NULL);
}

TEST_F(EndToEnd, InAutostartModeTaskManagerIsNotStartedAndIsAttachedOnceShown)
{
    ASSERT_TRUE(StartTavrowen(L"/autostart"));
    PumpMessagesFor(1000);
    EXPECT_EQ(0, CountTaskManagers()) << "Task Manager was started in autostart mode";

    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/hidden /count:30 /perpage:20"));
    PumpMessagesFor(600);
    EXPECT_TRUE(Strip(standIn) == NULL) << "attached to a hidden Task Manager";
    EXPECT_TRUE(ChildOfClass(FindMainWindow(), L"LinksMarlet") != NULL);

    standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
    HWND strip = WaitForAttachment(standIn, "attach after Task Manager became visible");
    ASSERT_TRUE(strip != NULL);
    ExpectStripCovers(strip, standIn, 20, "strip sized to the rows");
}

TEST_F(EndToEnd, StripFollowsTaskManagerButNotScrolling)
{
    ASSERT_TRUE(StartTavrowen(L"/autostart"));
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:30 /perpage:20"));
    HWND strip = WaitForAttachment(standIn, "attach");
    ASSERT_TRUE(strip != NULL);

    standIn.Send(STANDIN_FIT_ROWS, 10);
    ExpectStripCovers(strip, standIn, 10, "follow a smaller window");
    RECT window;
    GetWindowRect(standIn.window, &window);
    standIn.Send(STANDIN_RESIZE, window.right - window.left + 60, window.bottom - window.top + 3 * standIn.RowHeight());
    ExpectStripCovers(strip, standIn, 13, "follow a wider and taller window");
    standIn.Send(STANDIN_MOVE_LIST, 45);
    ExpectStripCovers(strip, standIn, standIn.CountPerPage(), "follow the header moving down");

    // Put the strip somewhere else: a re-positioning would show.
    SetWindowPos(strip, NULL, 0, 3, STRIP_WIDTH, 7, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(5, (int)standIn.Send(STANDIN_SCROLL_TO, 5));
    PumpMessagesFor(600);
    RECT rect = StripRectInPage(strip, standIn);
    EXPECT_TRUE(rect.top == 3 && rect.bottom - rect.top == 7) << "scrolling alone re-positioned the strip";

    for (int row = 29; row >= 4; --row)
        standIn.Send(STANDIN_REMOVE_ROW, row);
    ExpectStripCovers(strip, standIn, 4, "follow rows removed");
    standIn.SendText(STANDIN_COPY_ADD_ROW, L"late.exe");
    ExpectStripCovers(strip, standIn, 5, "follow a row added");
}

TEST_F(EndToEnd, AttachesAgainAfterEveryKindOfEnd)
{
    ASSERT_TRUE(StartTavrowen(L"/autostart"));
    HWND strip = NULL, spy = NULL;
    {
        StandInTaskManager first;
        ASSERT_TRUE(first.Start(L"/count:6"));
        strip = WaitForAttachment(first, "attach");
        spy = ChildOfClass(first.page, L"MarletSpy");
        ASSERT_TRUE(strip && spy);
        ASSERT_TRUE(first.Close());
        EXPECT_TRUE(WaitUntil([&] { return Detached(strip, spy); }, 3000)) << "normal close: windows not back";
    }

    StandInTaskManager second;
    ASSERT_TRUE(second.Start(L"/count:6"));
    EXPECT_TRUE(WaitForAttachment(second, "attach after a normal close") == strip) << "the strip was made anew";

    second.Send(STANDIN_DESTROY_PAGE);
    EXPECT_TRUE(WaitUntil([&] { return Detached(strip, spy); }, 3000)) << "destroyed page: windows not back";
    ASSERT_TRUE(second.Send(STANDIN_CREATE_PAGE));
    ASSERT_TRUE(second.FindWindows());
    EXPECT_TRUE(WaitForAttachment(second, "attach to a new page") == strip);

    // WM_CLOSE detaches; Task Manager is still there, so the next tick attaches again.
    PostMessageW(spy, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return Detached(strip, spy); }, 3000, 1)) << "WM_CLOSE to the spy did not detach";
    EXPECT_TRUE(WaitForAttachment(second, "attach again after WM_CLOSE to the spy") == strip);
    EXPECT_TRUE(IsWindow(spy)) << "WM_CLOSE destroyed the spy";

    second.Kill();
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(strip) && !IsWindow(spy); }, 3000));
    HWND main = FindMainWindow();
    EXPECT_TRUE(WaitUntil([&] { return ChildOfClass(main, L"LinksMarlet") && ChildOfClass(main, L"MarletSpy"); },
                          3000))
        << "no new strip and spy after Task Manager was killed";
    EXPECT_EQ(1, CountChildrenOfClass(main, L"LinksMarlet"));
    EXPECT_EQ(1, CountChildrenOfClass(main, L"MarletSpy"));

    StandInTaskManager third;
    ASSERT_TRUE(third.Start(L"/count:6"));
    HWND newStrip = WaitForAttachment(third, "attach after Task Manager was killed");
    ASSERT_TRUE(newStrip != NULL);
    ExpectStripCovers(newStrip, third, 6, "new strip sized to the rows");
}

TEST_F(EndToEnd, MouseClickBesideARowOpensItsLookup)
{
    ASSERT_TRUE(StartTavrowen(L"/autostart"));
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:1 /perpage:10"));
    ASSERT_TRUE(standIn.SendText(STANDIN_COPY_SET_ROWS, L"alpha.exe|beta.exe *32|*gamma|Tavrowen2.exe *32"));
    HWND strip = WaitForAttachment(standIn, "attach");
    ASSERT_TRUE(strip != NULL);
    ExpectStripCovers(strip, standIn, 4, "strip beside the four rows");
    SetForegroundWindow(standIn.window);
    PumpMessagesFor(200);

    RECT stripRect;
    GetWindowRect(strip, &stripRect);
    auto rowMiddle = [&](int row) {
        RECT rect = standIn.RowScreenRect(row);
        return (rect.top + rect.bottom) / 2;
    };
    const std::wstring base = lookupBaseAddress;
    size_t expectedCount = 0;

    // Anywhere across the strip's width gives the same row.
    for (int x : {0, 6, STRIP_WIDTH - 1}) {
        DWORD start = GetTickCount();
        ClickAt(stripRect.left + x, rowMiddle(0));
        ASSERT_TRUE(WaitForRecordedAddresses(++expectedCount, 15000)) << "no address after a click at x " << x;
        Observe("click to address received", GetTickCount() - start);
        EXPECT_EQ(base + L"alpha.exe?qaver=2.0", ReadRecordedAddresses().back()) << "click at x " << x;
    }

    ClickAt(stripRect.left + 4, rowMiddle(1));
    ASSERT_TRUE(WaitForRecordedAddresses(++expectedCount, 15000));
    EXPECT_EQ(base + L"beta.exe?qaver=2.0", ReadRecordedAddresses().back()) << "the \" *32\" mark must be cut";

    ClickAt(stripRect.left + 4, rowMiddle(2));
    ASSERT_TRUE(WaitForRecordedAddresses(++expectedCount, 15000));
    EXPECT_EQ(base + L"?qaver=2.0", ReadRecordedAddresses().back()) << "a name cut away entirely still looks up";

    // A running process: its executable is found and described.
    ClickAt(stripRect.left + 4, rowMiddle(3));
    ASSERT_TRUE(WaitForRecordedAddresses(++expectedCount, 15000));
    std::wstring address = ReadRecordedAddresses().back();
    EXPECT_EQ(0u, address.find(base + L"Tavrowen2.exe?")) << NarrowUtf8(address);
    EXPECT_NE(std::wstring::npos, address.find(L"md5=")) << NarrowUtf8(address);
    const std::wstring tag = L"&qaver=2.0";
    EXPECT_TRUE(address.size() > tag.size() && address.compare(address.size() - tag.size(), tag.size(), tag) == 0)
        << NarrowUtf8(address);

    ClickAt(stripRect.left + 4, rowMiddle(1), 2);
    ASSERT_TRUE(WaitForRecordedAddresses(++expectedCount, 15000)) << "a double click opened nothing";
    PumpMessagesFor(2000);
    EXPECT_EQ(expectedCount, ReadRecordedAddresses().size()) << "a double click opened more than one lookup";

    // The strip's last pixel row lies beside the pixel row under the last row.
    ClickAt(stripRect.left + 4, stripRect.bottom - 1);
    PumpMessagesFor(2000);
    EXPECT_EQ(expectedCount, ReadRecordedAddresses().size()) << "a click beside no row opened a lookup";
}

// With Task Manager's PID column shown, a click looks up the row's own
// process: two of one name in two folders each get their own page.
TEST_F(EndToEnd, WithThePidColumnAClickLooksUpTheRowsOwnProcess)
{
    const std::wstring folders[2] = {L"C:\\tavrowen-test\\pid one", L"C:\\tavrowen-test\\pid two"};
    PROCESS_INFORMATION twins[2] = {};
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    for (int i = 0; i < 2; ++i) {
        CreateDirectoryW(folders[i].c_str(), NULL);
        ASSERT_TRUE(CopyFileW(BinPath(L"locator_target.exe").c_str(), (folders[i] + L"\\twin.exe").c_str(), FALSE));
        ASSERT_TRUE(StartLocatorTarget(folders[i] + L"\\twin.exe", L"", &twins[i]));
    }
    ASSERT_TRUE(StartTavrowen(L"/autostart"));
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/pid /perpage:30"));
    HWND strip = WaitForAttachment(standIn, "attach");
    ASSERT_TRUE(strip != NULL);
    SetForegroundWindow(standIn.window);
    PumpMessagesFor(200);
    RECT stripRect;
    GetWindowRect(strip, &stripRect);
    std::vector<std::wstring> addresses;
    for (int row = 0; row < standIn.ItemCount(); ++row) {
        RECT rect = standIn.RowScreenRect(row);
        POINT point = {stripRect.right + 4, (rect.top + rect.bottom) / 2};
        wchar_t name[MAX_PATH] = L"";
        if (!NameAtPoint(point, name) || wcscmp(name, L"twin.exe") != 0)
            continue;
        size_t before = ReadRecordedAddresses().size();
        ClickAt(stripRect.left + 4, point.y);
        ASSERT_TRUE(WaitForRecordedAddresses(before + 1, 15000)) << "no address for row " << row;
        addresses.push_back(UnescapeUtf8(ReadRecordedAddresses().back()));
    }
    ASSERT_EQ(2u, addresses.size()) << "both rows of twin.exe are listed";
    bool oneThenTwo = addresses[0].find(L"pid one") != std::wstring::npos &&
                      addresses[1].find(L"pid two") != std::wstring::npos;
    bool twoThenOne = addresses[0].find(L"pid two") != std::wstring::npos &&
                      addresses[1].find(L"pid one") != std::wstring::npos;
    EXPECT_TRUE(oneThenTwo || twoThenOne) << NarrowUtf8(addresses[0]) << "\n" << NarrowUtf8(addresses[1]);
    for (PROCESS_INFORMATION& twin : twins)
        EndProgram(&twin);
}

// While Task Manager hangs with the strip in its page, the program keeps
// answering, its menu opens, and Exit or "/shutdown" end it without waiting
// for Task Manager, which wakes up later unharmed.
TEST_F(EndToEnd, HungTaskManagerHoldsUpNeitherTheMenuNorTheEnd)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:8"));
    for (const char* how : {"Exit", "/shutdown"}) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(StartTavrowen(L"/autostart"));
        HWND strip = WaitForAttachment(standIn, "attach");
        ASSERT_TRUE(strip != NULL);
        RECT stripRect;
        GetWindowRect(strip, &stripRect);
        int firstRowMiddle = stripRect.top + standIn.RowHeight() / 2;
        ASSERT_TRUE(standIn.Hang(STANDIN_HANG_DEFAULT_MS)) << "the stand-in did not hang";

        // Every watch asks the hung list meanwhile; a click beside a row asks it too.
        PumpMessagesFor(1500);
        ClickAt(stripRect.left + 4, firstRowMiddle);
        PumpMessagesFor(1000);
        DWORD start = GetTickCount();
        if (how == std::string("Exit")) {
            ASSERT_TRUE(shell::ClickTrayIcon(shell::Click::right));
            HWND menu = NULL;
            // Headroom for an emulated 32-bit program: it opened in 0.6 s under qemu.
            ASSERT_TRUE(WaitUntil([&] { return (menu = OpenMenu()) != NULL; }, 10000))
                << "the tray menu did not open while Task Manager hung";
            Observe("tray menu opened while Task Manager hangs", GetTickCount() - start);
            start = GetTickCount();
            PostMessageW(menu, WM_CHAR, L'x', 0);  // "E&xit Tavrowen 2"
            EXPECT_EQ(1u, WaitForExit(program, 15000)) << "Exit did not end the program";
            EndProgram(&program);
        } else {
            EXPECT_EQ(1u, ShutDownTavrowen(&program)) << "/shutdown did not end the program";
        }
        Observe("end of the program while Task Manager hangs", GetTickCount() - start);
        EXPECT_TRUE(standIn.StillHung()) << "the program waited for the hung Task Manager before it ended";

        ASSERT_TRUE(standIn.WaitUntilAwake(60000)) << "Task Manager never woke up";
        PumpMessagesFor(1000);
        EXPECT_EQ(STILL_ACTIVE, WaitForExit(standIn.process, 0)) << "Task Manager ended when it woke up";
        EXPECT_TRUE(IsWindow(standIn.list)) << "Task Manager lost its list";
        EXPECT_TRUE(Strip(standIn) == NULL && ChildOfClass(standIn.page, L"MarletSpy") == NULL)
            << "the program's windows outlived it";
        EXPECT_EQ(8, standIn.ItemCount()) << "Task Manager's list does not answer after waking up";
    }
    EXPECT_TRUE(ReadRecordedAddresses().empty()) << "a click beside the hung list opened a lookup";
}

TEST_F(EndToEnd, TaskManagerKilledWhileHungIsFollowedByTheNextOne)
{
    ASSERT_TRUE(StartTavrowen(L"/autostart"));
    {
        StandInTaskManager hung;
        ASSERT_TRUE(hung.Start(L"/count:8"));
        ASSERT_TRUE(WaitForAttachment(hung, "attach") != NULL);
        ASSERT_TRUE(hung.Hang(STANDIN_HANG_DEFAULT_MS));
        PumpMessagesFor(2000);
        hung.Kill();
    }
    StandInTaskManager next;
    ASSERT_TRUE(next.Start(L"/count:5"));
    HWND strip = WaitForAttachment(next, "attach after a hung Task Manager was killed");
    ASSERT_TRUE(strip != NULL);
    ExpectStripCovers(strip, next, 5, "new strip sized to the rows");
}
