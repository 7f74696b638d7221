// The background jobs themselves: the order of first and later turns, a
// window's jobs cancelled while one of them runs, and a stop that waits no
// longer than its bound for a job that never looks at it.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "core/background_jobs.h"
#include "core/seams.h"
#include "test_support.h"

namespace {

const UINT JOB_DONE = WM_APP + 0x70;

struct Record {
    char name;
    HANDLE gate;  // when set, the work waits for it or for its stop
    DWORD sleepMs;  // a work that never looks at its stop
    volatile LONG* released;
};

std::string ranOrder;
volatile LONG sawStop;

void Work(void* record, const volatile LONG* stop)
{
    Record* job = (Record*)record;
    ranOrder += job->name;
    if (job->gate) {
        while (!*stop && WaitForSingleObject(job->gate, 10) == WAIT_TIMEOUT)
            continue;
        if (*stop)
            InterlockedExchange(&sawStop, 1);
    }
    Sleep(job->sleepMs);
}

void Release(void* record)
{
    Record* job = (Record*)record;
    if (job->released)
        InterlockedIncrement(job->released);
    delete job;
}

LONG Queue(HWND window, JobTurn turn, char name, HANDLE gate = NULL, volatile LONG* released = NULL,
           DWORD sleepMs = 0)
{
    JobRequest request = {LANE_READS, turn, window, JOB_DONE, Work, Release, new Record{name, gate, sleepMs, released}};
    LONG id = QueueBackgroundJob(&request);
    if (!id)
        delete (Record*)request.record;
    return id;
}

// Takes every finished job of the window; returns their names in the order taken.
std::string TakeFinished(HWND window)
{
    std::string names;
    MSG message;
    while (PeekMessageW(&message, window, JOB_DONE, JOB_DONE, PM_REMOVE)) {
        Record* record = (Record*)TakeFinishedJob(window, JOB_DONE, message.lParam);
        if (record) {
            names += record->name;
            Release(record);
        }
    }
    return names;
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

// Takes finished jobs until `count` came or 10 seconds passed; no other
// pumping meanwhile, which would hand the messages to the window instead.
std::string WaitForFinished(HWND window, size_t count)
{
    std::string names;
    for (DWORD start = GetTickCount(); names.size() < count && GetTickCount() - start < 10000; Sleep(10))
        names += TakeFinished(window);
    return names;
}

class BackgroundJobs : public testing::Test {
protected:
    void SetUp() override
    {
        ReopenBackgroundJobs();
        ranOrder.clear();
        ranOrder.reserve(64);  // read here while the worker appends: never moved
        sawStop = 0;
        for (HWND& window : windows)
            window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    }
    void TearDown() override
    {
        StopBackgroundJobs();
        for (HWND window : windows)
            DestroyWindow(window);
    }
    HWND windows[2];
};

TEST_F(BackgroundJobs, FirstTurnsRunBeforeLaterOnesEachInTheOrderQueued)
{
    HoldJobLane(LANE_READS);
    for (const char* name = "abcd"; *name; ++name)
        ASSERT_NE(0, Queue(windows[0], *name == 'a' || *name == 'c' ? JOB_LATER : JOB_FIRST, *name));
    ReleaseJobLane(LANE_READS);
    EXPECT_EQ("bdac", WaitForFinished(windows[0], 4));
    EXPECT_EQ("bdac", ranOrder);
    // A forged id, or the right one for another window, hands out nothing.
    ASSERT_NE(0, Queue(windows[0], JOB_FIRST, 'e'));
    // Finished and posted, not yet taken: only its own window and id take it.
    MSG posted;
    for (DWORD start = GetTickCount();
         !PeekMessageW(&posted, windows[0], JOB_DONE, JOB_DONE, PM_NOREMOVE) && GetTickCount() - start < 10000;)
        Sleep(10);
    EXPECT_EQ(NULL, TakeFinishedJob(windows[1], JOB_DONE, 5));
    EXPECT_EQ(NULL, TakeFinishedJob(windows[0], JOB_DONE, 0x7FFFFFFF));
    EXPECT_EQ("e", WaitForFinished(windows[0], 1));
}

TEST_F(BackgroundJobs, CancellingAWindowStopsItsRunningJobReleasesItsQueuedOnesAndSparesTheOthers)
{
    HANDLE gate = CreateEventW(NULL, TRUE, FALSE, NULL);
    volatile LONG released = 0;
    ASSERT_NE(0, Queue(windows[0], JOB_FIRST, 'a', gate, &released));
    ASSERT_TRUE(WaitUntil([] { return ranOrder == "a"; }, 10000)) << "the first job did not start";
    ASSERT_NE(0, Queue(windows[0], JOB_FIRST, 'b', NULL, &released));
    ASSERT_NE(0, Queue(windows[1], JOB_FIRST, 'c'));
    CancelWindowJobs(windows[0]);
    EXPECT_EQ("c", WaitForFinished(windows[1], 1));
    EXPECT_EQ(1, sawStop) << "the running job was not told to stop";
    EXPECT_TRUE(WaitUntil([&] { return released == 2; }, 10000)) << released << " of 2 released";
    EXPECT_EQ("", TakeFinished(windows[0]));
    EXPECT_EQ("ac", ranOrder);
    CloseHandle(gate);
}

TEST_F(BackgroundJobs, AStopWaitsItsBoundForAJobThatIgnoresItAndThenRefusesNewJobs)
{
    ASSERT_NE(0, Queue(windows[0], JOB_FIRST, 'a', NULL, NULL, 6000));
    ASSERT_TRUE(WaitUntil([] { return ranOrder == "a"; }, 10000));
    DWORD start = GetTickCount();
    StopBackgroundJobs();
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 1500u) << "the stop did not wait for the job";
    EXPECT_LT(waited, 5000u) << "the stop waited for the job to end";
    EXPECT_TRUE(IsBackgroundWorkOutstanding());
    EXPECT_EQ(0, Queue(windows[0], JOB_FIRST, 'b')) << "a job was taken after the stop";
    // The worker that outlived the stop still releases its record.
    Sleep(6000);
}

// Without a thread, held jobs and new ones alike are answered unrun, never dropped.
TEST_F(BackgroundJobs, JobsThatFindNoThreadAreAnsweredUnrun)
{
    seams.createThread = NoThread;
    HoldJobLane(LANE_READS);
    LONG held = Queue(windows[0], JOB_FIRST, 'a');
    ReleaseJobLane(LANE_READS);
    LONG late = Queue(windows[0], JOB_LATER, 'b');
    ASSERT_NE(0, held);
    ASSERT_NE(0, late);
    for (LONG id : {held, late}) {
        bool ran = true;
        Record* record = NULL;
        for (DWORD start = GetTickCount(); !record && GetTickCount() - start < 5000; Sleep(10))
            record = (Record*)TakeJobResult(windows[0], JOB_DONE, id, &ran);
        ASSERT_TRUE(record != NULL) << "job " << id << " was dropped";
        EXPECT_FALSE(ran);
        Release(record);
    }
    EXPECT_EQ("", ranOrder);
}

}  // namespace
