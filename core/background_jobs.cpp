#include "core/background_jobs.h"
#include <objbase.h>
#include "core/lazy_lock.h"
#include "core/seams.h"
#include "core/system_probes.h"

// How long a stop waits, in all, for reads under way to notice it. A read
// that hangs longer (a dead network drive) is left to process exit.
static const DWORD STOP_WAIT_MS = 2000;
static const int THREAD_MODE_BACKGROUND_BEGIN_VALUE = 0x00010000;

struct Job {
    Job* next;
    LONG id;
    volatile LONG stop;
    bool ran;  // its work ran; false for one answered without a thread
    JobRequest request;
};

struct Lane {
    HANDLE thread;
    HANDLE wake;  // auto-reset: something was queued, released or stopped
    LONG generation;  // a thread whose generation is past ends
    bool held;
    Job* first[JOB_TURN_COUNT];
    Job* last[JOB_TURN_COUNT];
    Job* running;
};

struct WorkerStart {
    int lane;
    LONG generation;
};

// Made once and never deleted: a worker that outlived a stop may still take it.
static CRITICAL_SECTION lock;
static volatile LONG lockState;
// Everything below is guarded by `lock`.
static Lane lanes[LANE_COUNT];
static Job* finished;  // posted, waiting to be taken
static bool closed;    // stopped: nothing is queued or handed out
static bool outstanding;  // a worker outlived a stop's wait
static LONG lastId;

static void MakeLock()
{
    MakeLockOnce(&lock, &lockState);
}

static void ReleaseJob(Job* job)
{
    if (job->request.release)
        job->request.release(job->request.record);
    HeapFree(GetProcessHeap(), 0, job);
}

static void ReleaseJobs(Job* list)
{
    while (list) {
        Job* job = list;
        list = job->next;
        ReleaseJob(job);
    }
}

// Moves the jobs on the list at `link` that belong to `window` (every job
// when window is NULL) onto *taken; returns the list's new last job.
static Job* UnlinkJobsOf(Job** link, HWND window, Job** taken)
{
    Job* last = NULL;
    while (*link) {
        Job* job = *link;
        if (!window || job->request.window == window) {
            *link = job->next;
            job->next = *taken;
            *taken = job;
        } else {
            last = job;
            link = &job->next;
        }
    }
    return last;
}

static void UnlinkQueuedJobsOf(Lane* lane, HWND window, Job** taken)
{
    for (int turn = 0; turn < JOB_TURN_COUNT; ++turn)
        lane->last[turn] = UnlinkJobsOf(&lane->first[turn], window, taken);
}

static Job* TakeNextJob(Lane* lane, LONG generation)
{
    EnterCriticalSection(&lock);
    Job* job = NULL;
    for (int turn = 0; !closed && !lane->held && generation == lane->generation && !job && turn < JOB_TURN_COUNT;
         ++turn) {
        job = lane->first[turn];
        if (job) {
            lane->first[turn] = job->next;
            if (!lane->first[turn])
                lane->last[turn] = NULL;
            job->next = NULL;
            lane->running = job;
        }
    }
    LeaveCriticalSection(&lock);
    return job;
}

// Posting under the lock: a window that cancels or a stop that comes after
// finds the job on the finished list.
static void FinishJob(Lane* lane, Job* job)
{
    EnterCriticalSection(&lock);
    lane->running = NULL;
    bool posted = !closed && !job->stop &&
                  PostMessageW(job->request.window, job->request.message, 0, (LPARAM)job->id) != FALSE;
    if (posted) {
        job->next = finished;
        finished = job;
    }
    LeaveCriticalSection(&lock);
    if (!posted)
        ReleaseJob(job);
}

static bool IsThreadCurrent(Lane* lane, LONG generation)
{
    EnterCriticalSection(&lock);
    bool current = !closed && generation == lane->generation;
    LeaveCriticalSection(&lock);
    return current;
}

static DWORD WINAPI RunLane(LPVOID parameter)
{
    WorkerStart start = *(WorkerStart*)parameter;
    HeapFree(GetProcessHeap(), 0, parameter);
    Lane* lane = &lanes[start.lane];
    HANDLE wake = lane->wake;
    // The shell's file information wants COM on the calling thread.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    // Reads give way to the windows. Background mode (Vista and later) lowers
    // their disk and memory priority too; XP has only the CPU's to lower.
    if (start.lane == LANE_READS)
        SetThreadPriority(GetCurrentThread(),
                          IsVistaOrLater() ? THREAD_MODE_BACKGROUND_BEGIN_VALUE : THREAD_PRIORITY_BELOW_NORMAL);
    for (;;) {
        Job* job = TakeNextJob(lane, start.generation);
        if (job) {
            job->request.work(job->request.record, &job->stop);
            job->ran = true;
            FinishJob(lane, job);
        } else if (IsThreadCurrent(lane, start.generation)) {
            WaitForSingleObject(wake, INFINITE);
        } else {
            break;
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

// On the window thread: the lane's thread, started with its event if need be, woken.
static bool WakeLane(int index)
{
    Lane* lane = &lanes[index];
    if (lane->thread)
        return SetEvent(lane->wake) != FALSE;
    WorkerStart* start = (WorkerStart*)HeapAlloc(GetProcessHeap(), 0, sizeof(WorkerStart));
    if (!start)
        return false;
    if (!lane->wake)
        lane->wake = CreateEventW(NULL, FALSE, FALSE, NULL);
    start->lane = index;
    start->generation = lane->generation;
    HANDLE thread = lane->wake ? seams.createThread(NULL, 0, RunLane, start, 0, NULL) : NULL;
    if (!thread) {
        HeapFree(GetProcessHeap(), 0, start);
        return false;
    }
    // Behind the windows: the work is never what the user is looking at.
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    lane->thread = thread;
    return true;
}

// No thread to be had: the lane's queued jobs are answered unrun, so their
// windows show a failed read instead of waiting for ever.
static void AnswerQueuedJobsUnrun(Lane* lane)
{
    Job* taken = NULL;
    Job* unposted = NULL;
    EnterCriticalSection(&lock);
    UnlinkQueuedJobsOf(lane, NULL, &taken);
    while (taken) {
        Job* job = taken;
        taken = job->next;
        if (!closed && PostMessageW(job->request.window, job->request.message, 0, (LPARAM)job->id)) {
            job->next = finished;
            finished = job;
        } else {
            job->next = unposted;
            unposted = job;
        }
    }
    LeaveCriticalSection(&lock);
    ReleaseJobs(unposted);
}

LONG QueueBackgroundJob(const JobRequest* request)
{
    if (!request->window || !request->work || request->lane < 0 || request->lane >= LANE_COUNT ||
        request->turn < 0 || request->turn >= JOB_TURN_COUNT)
        return 0;
    MakeLock();
    Job* job = (Job*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Job));
    if (!job)
        return 0;
    job->request = *request;
    // Ids start at 1 and skip 0 when they wrap.
    do
        job->id = InterlockedIncrement(&lastId);
    while (job->id == 0);

    Lane* lane = &lanes[request->lane];
    EnterCriticalSection(&lock);
    bool queued = !closed;
    if (queued) {
        if (lane->last[request->turn])
            lane->last[request->turn]->next = job;
        else
            lane->first[request->turn] = job;
        lane->last[request->turn] = job;
    }
    bool wake = queued && !lane->held;
    LeaveCriticalSection(&lock);
    if (!queued) {
        HeapFree(GetProcessHeap(), 0, job);
        return 0;
    }
    if (wake && !WakeLane(request->lane))
        AnswerQueuedJobsUnrun(lane);
    return job->id;
}

// Unlinks the finished job with that id, posted to that window with that message.
static Job* TakeFinished(HWND window, UINT message, LPARAM id)
{
    if (!IsLockMade(&lockState))
        return NULL;
    Job* found = NULL;
    EnterCriticalSection(&lock);
    for (Job** link = &finished; !closed && *link; link = &(*link)->next) {
        Job* job = *link;
        if ((LPARAM)job->id == id && job->request.window == window && job->request.message == message) {
            *link = job->next;
            found = job;
            break;
        }
    }
    LeaveCriticalSection(&lock);
    return found;
}

void* TakeJobResult(HWND window, UINT message, LPARAM id, bool* ran)
{
    Job* found = TakeFinished(window, message, id);
    *ran = found && found->ran;
    if (!found)
        return NULL;
    void* record = found->request.record;
    HeapFree(GetProcessHeap(), 0, found);
    return record;
}

void* TakeFinishedJob(HWND window, UINT message, LPARAM id)
{
    Job* found = TakeFinished(window, message, id);
    if (found && !found->ran) {
        ReleaseJob(found);
        return NULL;
    }
    void* record = found ? found->request.record : NULL;
    if (found)
        HeapFree(GetProcessHeap(), 0, found);
    return record;
}

LONG QueueWindowJob(HWND window, UINT message, JobLane lane, JobTurn turn, JobWork work, JobRelease release,
                    void* record)
{
    JobRequest request = {lane, turn, window, message, work, release, record};
    LONG id = QueueBackgroundJob(&request);
    if (!id && release && record)
        release(record);
    return id;
}

void HoldJobLane(JobLane lane)
{
    MakeLock();
    EnterCriticalSection(&lock);
    lanes[lane].held = true;
    LeaveCriticalSection(&lock);
}

void ReleaseJobLane(JobLane lane)
{
    MakeLock();
    EnterCriticalSection(&lock);
    lanes[lane].held = false;
    bool waiting = !closed && (lanes[lane].first[JOB_FIRST] || lanes[lane].first[JOB_LATER]);
    LeaveCriticalSection(&lock);
    if (waiting && !WakeLane(lane))
        AnswerQueuedJobsUnrun(&lanes[lane]);
}

void CancelWindowJobs(HWND window)
{
    if (!IsLockMade(&lockState) || !window)
        return;
    Job* taken = NULL;
    EnterCriticalSection(&lock);
    for (int i = 0; i < LANE_COUNT; ++i) {
        UnlinkQueuedJobsOf(&lanes[i], window, &taken);
        if (lanes[i].running && lanes[i].running->request.window == window)
            InterlockedExchange(&lanes[i].running->stop, 1);
    }
    UnlinkJobsOf(&finished, window, &taken);
    LeaveCriticalSection(&lock);
    ReleaseJobs(taken);
}

bool IsJobLaneBusy(JobLane lane)
{
    if (!IsLockMade(&lockState))
        return false;
    EnterCriticalSection(&lock);
    bool busy = lanes[lane].first[JOB_FIRST] || lanes[lane].first[JOB_LATER] || lanes[lane].running;
    for (Job* job = finished; !busy && job; job = job->next)
        busy = job->request.lane == lane;
    LeaveCriticalSection(&lock);
    return busy;
}

// Takes back the messages of finished jobs still in this thread's queue.
static void RemovePostedMessages(const Job* list)
{
    for (const Job* job = list; job; job = job->next) {
        MSG message;
        while (PeekMessageW(&message, job->request.window, job->request.message, job->request.message, PM_REMOVE))
            continue;
    }
}

void StopBackgroundJobs()
{
    MakeLock();
    HANDLE threads[LANE_COUNT];
    int threadCount = 0;
    Job* taken = NULL;
    EnterCriticalSection(&lock);
    closed = true;
    for (int i = 0; i < LANE_COUNT; ++i) {
        UnlinkQueuedJobsOf(&lanes[i], NULL, &taken);
        if (lanes[i].running)
            InterlockedExchange(&lanes[i].running->stop, 1);
        if (lanes[i].thread)
            threads[threadCount++] = lanes[i].thread;
    }
    UnlinkJobsOf(&finished, NULL, &taken);
    LeaveCriticalSection(&lock);
    RemovePostedMessages(taken);
    ReleaseJobs(taken);

    for (int i = 0; i < LANE_COUNT; ++i) {
        if (lanes[i].thread)
            SetEvent(lanes[i].wake);
    }
    bool ended = threadCount == 0 ||
                 WaitForMultipleObjects((DWORD)threadCount, threads, TRUE, STOP_WAIT_MS) < WAIT_OBJECT_0 + threadCount;
    EnterCriticalSection(&lock);
    for (int i = 0; i < LANE_COUNT; ++i) {
        Lane* lane = &lanes[i];
        if (!lane->thread)
            continue;
        bool laneEnded = ended || WaitForSingleObject(lane->thread, 0) == WAIT_OBJECT_0;
        CloseHandle(lane->thread);
        lane->thread = NULL;
        // A worker still inside a read keeps its event; the next start makes another.
        if (laneEnded)
            CloseHandle(lane->wake);
        else
            outstanding = true;
        lane->wake = NULL;
        ++lane->generation;
    }
    LeaveCriticalSection(&lock);
}

bool IsBackgroundWorkOutstanding()
{
    if (!IsLockMade(&lockState))
        return false;
    EnterCriticalSection(&lock);
    bool running = outstanding;
    for (int i = 0; i < LANE_COUNT && !running; ++i)
        running = lanes[i].thread != NULL;
    LeaveCriticalSection(&lock);
    return running;
}

void ReopenBackgroundJobs()
{
    MakeLock();
    EnterCriticalSection(&lock);
    closed = false;
    LeaveCriticalSection(&lock);
}
