// One way to work off the window thread. A job is a record of the caller's
// with a function that fills it in on a worker thread; when the work is done
// the worker posts (message, id) to the window the job names, and that
// window takes the record back by its id, on its own thread. The posted
// lParam is an id, never a pointer: any process of our integrity can post
// the same message, and an id of no finished job of that window is ignored.
//
// Each lane is one worker thread, below normal priority, started with the
// first job it is woken for, so a job's function may keep a cache of its
// own lane without a lock. A read that hangs holds up its lane only: a click's
// lookup never waits behind a list's reads.
#pragma once
#include <windows.h>

enum JobLane {
    LANE_LOOKUPS,  // what a person clicked and waits for
    LANE_READS,    // the rows' files: in background I/O mode where the system has it
    LANE_COUNT
};

enum JobTurn {
    JOB_FIRST,  // taken in the order queued...
    JOB_LATER,  // ...and these only while no JOB_FIRST job of the lane waits
    JOB_TURN_COUNT
};

// Runs on the lane's thread. stop turns non-zero when the job's window
// cancels it or everything stops: a long job checks it between reads.
typedef void (*JobWork)(void* record, const volatile LONG* stop);
// Frees a record; called for a job that is cancelled, stopped or never taken.
typedef void (*JobRelease)(void* record);

struct JobRequest {
    JobLane lane;
    JobTurn turn;
    HWND window;   // told when the work is done
    UINT message;  // posted with the job's id as lParam
    JobWork work;
    JobRelease release;
    void* record;  // the mechanism's from a successful queueing until taken or released
};

// Queues a job and wakes its lane unless the lane is held. Returns the id the
// message will carry, or 0 when nothing was queued (no window, stopped, no
// memory): the caller keeps the record then. A job for which no thread can
// be had is not dropped: it is answered unrun (TakeJobResult).
LONG QueueBackgroundJob(const JobRequest* request);
// The same, with the record released at once when it cannot be queued: the
// caller never frees a record it has handed over.
LONG QueueWindowJob(HWND window, UINT message, JobLane lane, JobTurn turn, JobWork work, JobRelease release,
                    void* record);

// The record of the finished job with that id, posted to that window with
// that message, and whether its work ran (false: no thread could be had, and
// the record holds nothing read); NULL for anything else. The caller owns it
// from here.
void* TakeJobResult(HWND window, UINT message, LPARAM id, bool* ran);
// The same for a job whose record is of no use unread: an unrun one is
// released here and NULL returned.
void* TakeFinishedJob(HWND window, UINT message, LPARAM id);

// While held, a lane's queued jobs wait: a window that lists its rows holds
// its reads meanwhile, whose time they would otherwise share.
void HoldJobLane(JobLane lane);
// Lets the lane's jobs run, starting its thread if need be.
void ReleaseJobLane(JobLane lane);

// The window is closing: its queued and finished jobs are released, and the
// one under way is told to stop and released when it returns.
void CancelWindowJobs(HWND window);

// Whether any job of the lane is queued, under way, or finished and not taken.
bool IsJobLaneBusy(JobLane lane);

// Shutdown (or the hand-over): every job is told to stop, and the lanes'
// threads are waited for, 2 seconds at most in all. Nothing queued or
// finished is handed out any more and the threads are closed; jobs asked
// for afterwards are refused until ReopenBackgroundJobs. Call it on the
// thread of the windows the jobs answer to, before any process-wide table
// the jobs read is freed.
void StopBackgroundJobs();
// True while a worker that outlived StopBackgroundJobs' wait may still run
// a job: a process-wide table it reads must not be freed.
bool IsBackgroundWorkOutstanding();
// Takes jobs again after a stop (the tests run many in one process).
void ReopenBackgroundJobs();
