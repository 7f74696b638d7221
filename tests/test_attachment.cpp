// The attachment lifecycle run in this process as the program runs it: the
// test's hidden window plays MainWindow, the stand-in plays Task Manager.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <cstdio>
#include "app/app_state.h"
#include "app/setting_names.h"
#include "standin_client.h"
#include "taskmgr/attachment.h"
#include "taskmgr/link_strip.h"
#include "taskmgr/task_manager_view.h"

namespace {

// Counts the strip's moves and resizes (each SetWindowPos on it).
int stripPositionings = 0;
WNDPROC stripProc = NULL;

LRESULT CALLBACK CountingStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WINDOWPOSCHANGING)
        ++stripPositionings;
    return CallWindowProcW(stripProc, window, message, wParam, lParam);
}

void Observe(const char* what, DWORD milliseconds)
{
    printf("[ observed ] %s: %lu ms\n", what, milliseconds);
    testing::Test::RecordProperty(what, (int)milliseconds);
}

class AttachmentTest : public testing::Test {
protected:
    void SetUp() override
    {
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        appState.autostartMode = 1;  // no splash screen, no Task Manager started
        mainWindow = CreateWindowExW(0, L"STATIC", L"main", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(mainWindow != NULL);
        appState.mainWindow = mainWindow;
        ASSERT_TRUE(CreateIntegrationWindows(appState.instance, mainWindow, IsExtendedInfoOn));
        StartAttachPolling();
        ASSERT_TRUE(attachment.spyWindow && attachment.linkStrip);
        spy = attachment.spyWindow;
        strip = attachment.linkStrip;
    }
    void TearDown() override
    {
        PumpMessagesFor(200);
        // As shutdown does: the strip, then the spy.
        if (attachment.linkStrip)
            DestroyWindow(attachment.linkStrip);
        if (attachment.spyWindow)
            DestroyWindow(attachment.spyWindow);
        EXPECT_TRUE(attachment.linkStrip == NULL && attachment.spyWindow == NULL) << "handles of destroyed windows kept";
        DestroyWindow(mainWindow);
        appState.mainWindow = NULL;
        appState.autostartMode = 0;
        ZeroMemory(&attachment.view, sizeof(attachment.view));
    }

    bool AttachedTo(const StandInTaskManager& standIn)
    {
        return standIn.page && GetParent(attachment.linkStrip) == standIn.page &&
               GetParent(attachment.spyWindow) == standIn.page;
    }

    // Waits for the attachment and reports how long it took.
    void ExpectAttachment(const StandInTaskManager& standIn, const char* what)
    {
        DWORD start = GetTickCount();
        ASSERT_TRUE(WaitUntil([&] { return AttachedTo(standIn); }, 5000, 1)) << what << ": never attached";
        Observe(what, GetTickCount() - start);
        ExpectAttachedState(what);
    }

    void ExpectAttachedState(const char* what)
    {
        EXPECT_FALSE(TimerRunning(mainWindow, ATTACH_TIMER, AttachTimerProc)) << what << ": still polling";
        EXPECT_TRUE(TimerRunning(attachment.spyWindow, CLIENT_AREA_WATCH_TIMER, ClientAreaWatchProc)) << what;
        EXPECT_TRUE(TimerRunning(attachment.spyWindow, LIST_WATCH_TIMER, ListWatchProc)) << what;
    }

    void ExpectDetachedState(const char* what)
    {
        EXPECT_TRUE(IsWindow(attachment.spyWindow) && IsWindow(attachment.linkStrip)) << what;
        EXPECT_TRUE(GetParent(attachment.spyWindow) == mainWindow) << what << ": spy not back";
        EXPECT_TRUE(GetParent(attachment.linkStrip) == mainWindow) << what << ": strip not back";
        EXPECT_TRUE(TimerRunning(mainWindow, ATTACH_TIMER, AttachTimerProc)) << what << ": not polling";
        EXPECT_FALSE(TimerRunning(attachment.spyWindow, CLIENT_AREA_WATCH_TIMER, ClientAreaWatchProc)) << what;
        EXPECT_FALSE(TimerRunning(attachment.spyWindow, LIST_WATCH_TIMER, ListWatchProc)) << what;
    }

    // The strip's rectangle in the Processes page.
    RECT StripRect(const StandInTaskManager& standIn)
    {
        RECT rect;
        GetWindowRect(attachment.linkStrip, &rect);
        MapWindowPoints(NULL, standIn.page, (POINT*)&rect, 2);
        return rect;
    }

    // The strip lies below the header, 12 wide, as high as `rows` rows.
    bool StripCovers(const StandInTaskManager& standIn, int rows)
    {
        RECT rect = StripRect(standIn);
        return rect.left == 0 && rect.top == standIn.HeaderBottomInPage() + 1 &&
               rect.right - rect.left == LINK_STRIP_WIDTH && rect.bottom - rect.top == rows * standIn.RowHeight();
    }

    void ExpectStripFollows(const StandInTaskManager& standIn, int rows, const char* what)
    {
        DWORD start = GetTickCount();
        bool followed = WaitUntil([&] { return StripCovers(standIn, rows); }, 5000, 1);
        RECT rect = StripRect(standIn);
        EXPECT_TRUE(followed) << what << ": strip at " << rect.left << "," << rect.top << " size "
                              << rect.right - rect.left << "x" << rect.bottom - rect.top << ", expected y "
                              << standIn.HeaderBottomInPage() + 1 << " and " << rows << " rows of "
                              << standIn.RowHeight();
        if (followed)
            Observe(what, GetTickCount() - start);
    }

    HWND mainWindow = NULL;
    HWND spy = NULL;
    HWND strip = NULL;
};

}  // namespace

TEST_F(AttachmentTest, StartsDetachedAndPolling)
{
    ExpectDetachedState("at start");
}

TEST_F(AttachmentTest, HiddenTaskManagerIsLeftAloneUntilShown)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/hidden /count:30 /perpage:20"));
    PumpMessagesFor(600);
    EXPECT_FALSE(AttachedTo(standIn)) << "attached to a hidden Task Manager";
    EXPECT_TRUE(attachment.view.window == standIn.window) << "the hidden window is not kept";
    ExpectDetachedState("hidden Task Manager");

    standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
    ExpectAttachment(standIn, "attach after Task Manager was shown");
    EXPECT_TRUE(StripCovers(standIn, 20));
    EXPECT_TRUE(attachment.spyWindow == spy && attachment.linkStrip == strip) << "windows made anew without need";
}

TEST_F(AttachmentTest, StripFollowsSizeAndRowsButNotScrolling)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:30 /perpage:20"));
    ExpectAttachment(standIn, "attach to an open Task Manager");
    EXPECT_TRUE(StripCovers(standIn, 20));

    standIn.Send(STANDIN_FIT_ROWS, 10);
    ASSERT_EQ(10, standIn.CountPerPage());
    ExpectStripFollows(standIn, 10, "follow a smaller window");

    stripProc = (WNDPROC)SetWindowLongPtrW(attachment.linkStrip, GWLP_WNDPROC, (LONG_PTR)CountingStripProc);
    stripPositionings = 0;
    RECT before = StripRect(standIn);
    ASSERT_EQ(12, (int)standIn.Send(STANDIN_SCROLL_TO, 12));
    PumpMessagesFor(600);
    RECT after = StripRect(standIn);
    EXPECT_EQ(0, stripPositionings) << "scrolling alone re-positioned the strip";
    EXPECT_TRUE(EqualRect(&before, &after));
    standIn.Send(STANDIN_SCROLL_TO, 0);

    RECT window;
    GetWindowRect(standIn.window, &window);
    int rowHeight = standIn.RowHeight();
    standIn.Send(STANDIN_RESIZE, window.right - window.left + 80, window.bottom - window.top + 3 * rowHeight);
    ASSERT_EQ(13, standIn.CountPerPage());
    ExpectStripFollows(standIn, 13, "follow a wider and taller window");
    EXPECT_GT(stripPositionings, 0);

    standIn.Send(STANDIN_MOVE_LIST, 40);
    ASSERT_LT(standIn.CountPerPage(), 13);
    ExpectStripFollows(standIn, standIn.CountPerPage(), "follow the header moving down");

    for (int row = 29; row >= 7; --row)
        standIn.Send(STANDIN_REMOVE_ROW, row);
    ExpectStripFollows(standIn, 7, "follow rows removed");
    standIn.SendText(STANDIN_COPY_ADD_ROW, L"new.exe");
    ExpectStripFollows(standIn, 8, "follow a row added");
}

TEST_F(AttachmentTest, CloseBringsBothBackAndReopeningAttachesAgain)
{
    {
        StandInTaskManager first;
        ASSERT_TRUE(first.Start(L"/count:5"));
        ExpectAttachment(first, "attach");
        ASSERT_TRUE(first.Close());
        ExpectDetachedState("after Task Manager closed");
    }
    EXPECT_TRUE(attachment.spyWindow == spy && attachment.linkStrip == strip) << "a normal close lost the windows";
    StandInTaskManager second;
    ASSERT_TRUE(second.Start(L"/count:5"));
    ExpectAttachment(second, "attach to Task Manager opened again");
    EXPECT_TRUE(attachment.spyWindow == spy && attachment.linkStrip == strip);
    EXPECT_TRUE(StripCovers(second, 5));
}

TEST_F(AttachmentTest, DestroyedPageBringsBothBackAndANewPageIsAttached)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:5"));
    ExpectAttachment(standIn, "attach");
    HWND oldPage = standIn.page;
    standIn.Send(STANDIN_DESTROY_PAGE);
    EXPECT_FALSE(IsWindow(oldPage));
    ExpectDetachedState("after the page was destroyed");
    EXPECT_TRUE(attachment.spyWindow == spy && attachment.linkStrip == strip);

    ASSERT_TRUE(standIn.Send(STANDIN_CREATE_PAGE));
    ASSERT_TRUE(standIn.FindWindows());
    ExpectAttachment(standIn, "attach to the new page");
    EXPECT_TRUE(StripCovers(standIn, 5));
}

TEST_F(AttachmentTest, CloseMessageToTheSpyDetachesWithoutDestroyingIt)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:5"));
    ExpectAttachment(standIn, "attach");
    SendMessageW(attachment.spyWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(spy)) << "WM_CLOSE destroyed the spy";
    ExpectDetachedState("after WM_CLOSE to the spy");
    ExpectAttachment(standIn, "attach again after WM_CLOSE to the spy");
    EXPECT_TRUE(attachment.spyWindow == spy && attachment.linkStrip == strip);
}

TEST_F(AttachmentTest, KilledTaskManagerTakesBothWindowsAndNewOnesAttach)
{
    {
        StandInTaskManager killed;
        ASSERT_TRUE(killed.Start(L"/count:5"));
        ExpectAttachment(killed, "attach");
        killed.Kill();
    }
    // Wine destroys our windows with the killed process's page, sending them
    // WM_NCDESTROY only: the handles must be dropped and polling resumed.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(spy) && !IsWindow(strip); }, 3000));
    ASSERT_TRUE(WaitUntil([&] {
        return attachment.spyWindow && attachment.spyWindow != spy && attachment.linkStrip && attachment.linkStrip != strip;
    }, 3000)) << "no new spy and strip were made";
    ExpectDetachedState("after Task Manager was killed");

    StandInTaskManager reopened;
    ASSERT_TRUE(reopened.Start(L"/count:5"));
    ExpectAttachment(reopened, "attach after Task Manager was killed");
    EXPECT_TRUE(StripCovers(reopened, 5));
}

TEST_F(AttachmentTest, TaskManagerWithoutProcessListIsNotAttachedAndTheRecordIsZeroed)
{
    // The wait for its windows pumps our messages: with the poll running, a
    // slow start could attach before the list is renamed.
    KillTimer(mainWindow, ATTACH_TIMER);
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:5"));
    ASSERT_TRUE(SetWindowTextW(standIn.list, L"Applications"));
    StartAttachPolling();
    PumpMessagesFor(600);
    EXPECT_FALSE(AttachedTo(standIn));
    EXPECT_TRUE(attachment.view.window == NULL && attachment.view.geometry.page == NULL) << "record not zeroed";
    EXPECT_TRUE(TimerRunning(mainWindow, ATTACH_TIMER, AttachTimerProc)) << "polling stopped";

    ASSERT_TRUE(SetWindowTextW(standIn.list, L"Processes"));
    ExpectAttachment(standIn, "attach once the list is there");
}

TEST_F(AttachmentTest, ShutdownDestroysAnAttachedStripAndSpy)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:5"));
    ExpectAttachment(standIn, "attach");
    DestroyWindow(attachment.linkStrip);
    EXPECT_TRUE(attachment.linkStrip == NULL);
    DestroyWindow(attachment.spyWindow);
    EXPECT_TRUE(attachment.spyWindow == NULL);
    EXPECT_FALSE(IsWindow(spy) || IsWindow(strip));
    EXPECT_TRUE(IsWindow(standIn.list)) << "Task Manager's own windows went too";
}

// A hung Task Manager with the strip in its page: the watches and a
// positioning take "no answer" for no change, and shutdown's destruction of
// both windows does not wait for it; it wakes up unharmed.
TEST_F(AttachmentTest, HungTaskManagerIsNotWaitedForByTheWatchesOrTheShutdown)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:5"));
    ExpectAttachment(standIn, "attach");
    RECT before = StripRect(standIn);
    stripProc = (WNDPROC)SetWindowLongPtrW(attachment.linkStrip, GWLP_WNDPROC, (LONG_PTR)CountingStripProc);
    stripPositionings = 0;

    ASSERT_TRUE(standIn.Hang(10000)) << "the stand-in did not hang";
    ListWatchProc(NULL, 0, 0, 0);
    attachment.view.clientRect.right += 1;  // the client-area watch sees a change and runs discovery
    ClientAreaWatchProc(NULL, 0, 0, 0);
    EXPECT_TRUE(attachment.view.window == standIn.window);
    PositionLinkStrip();
    PumpMessagesFor(500);  // the timers' own ticks
    EXPECT_EQ(0, stripPositionings) << "the strip was moved on a hung list's behalf";
    RECT after = StripRect(standIn);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_TRUE(AttachedTo(standIn));
    EXPECT_TRUE(standIn.StillHung()) << "a watch waited for the hung Task Manager";

    // As shutdown does: the strip, then the spy.
    DestroyWindow(attachment.linkStrip);
    DestroyWindow(attachment.spyWindow);
    EXPECT_FALSE(IsWindow(strip) || IsWindow(spy));
    EXPECT_TRUE(standIn.StillHung()) << "destroying our windows in the hung page waited for it";

    ASSERT_TRUE(standIn.WaitUntilAwake(30000)) << "Task Manager never woke up";
    PumpMessagesFor(500);
    EXPECT_EQ(STILL_ACTIVE, WaitForExit(standIn.process, 0)) << "Task Manager ended when it woke up";
    EXPECT_EQ(5, standIn.ItemCount());
}
