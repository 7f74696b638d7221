#include "lookup/lookup_worker.h"

// Why a thread: a click on the strip is handled on our window thread, and
// the strip is a child of Task Manager's window, so Windows joins the input
// of our thread and Task Manager's. Hashing a 200 MB executable on our
// thread would freeze Task Manager's window and our tray icon for a second
// or more. The worker does the file work; the window thread still builds
// and opens the address.

// How long shutdown waits for a read under way to notice it should stop.
// A read that hangs longer (a dead network drive) is left to process exit.
static const DWORD STOP_WAIT_MS = 2000;

struct LookupWorker {
    bool started;
    CRITICAL_SECTION lock;          // guards the queue, the finished list and `stopping`
    HANDLE thread;
    HANDLE wake;                    // auto-reset: something was queued, or stop
    PendingLookup* first;
    PendingLookup* last;
    PendingLookup* finished;        // read and posted, waiting for their message
    LONG lastId;
    bool stopping;
    volatile LONG stopRequested;    // read between reads of a file
    volatile LONG pending;          // queued, being read, or posted and not yet opened
};

static LookupWorker worker;
// Set by a stop: shutdown or the hand-over has begun, so a lookup asked for
// now (a click whose handling let the stop in) is not started.
static bool lookupsClosed;
// The worker thread's alone; kept across a stop and a new start.
static FingerprintCache workerCache;

static void FreeLookup(PendingLookup* lookup)
{
    FreeExecutableDetails(&lookup->details);
    HeapFree(GetProcessHeap(), 0, lookup);
    InterlockedDecrement(&worker.pending);
}

static PendingLookup* TakeNextLookup()
{
    EnterCriticalSection(&worker.lock);
    PendingLookup* lookup = worker.stopping ? NULL : worker.first;
    if (lookup) {
        worker.first = lookup->next;
        if (!worker.first)
            worker.last = NULL;
        lookup->next = NULL;
    }
    LeaveCriticalSection(&worker.lock);
    return lookup;
}

// Posting under the lock: once shutdown has set `stopping`, nothing more
// reaches the window, so its drain sees every lookup still posted.
static void PostFinishedLookup(PendingLookup* lookup)
{
    EnterCriticalSection(&worker.lock);
    bool posted = !worker.stopping &&
                  PostMessageW(lookup->resultWindow, WM_LOOKUP_FINISHED, 0, (LPARAM)lookup->id) != FALSE;
    if (posted) {
        lookup->next = worker.finished;
        worker.finished = lookup;
    }
    LeaveCriticalSection(&worker.lock);
    if (!posted)
        FreeLookup(lookup);
}

// The finished lookup with that id, taken off the list; NULL for any other id.
static PendingLookup* TakeFinishedLookup(LPARAM id)
{
    if (!worker.started)
        return NULL;
    EnterCriticalSection(&worker.lock);
    PendingLookup* found = NULL;
    for (PendingLookup** link = &worker.finished; !worker.stopping && *link; link = &(*link)->next) {
        if ((LPARAM)(*link)->id == id) {
            found = *link;
            *link = found->next;
            found->next = NULL;
            break;
        }
    }
    LeaveCriticalSection(&worker.lock);
    return found;
}

static DWORD WINAPI RunLookupWorker(LPVOID)
{
    for (;;) {
        PendingLookup* lookup = TakeNextLookup();
        if (!lookup) {
            if (worker.stopRequested)
                return 0;
            WaitForSingleObject(worker.wake, INFINITE);
            continue;
        }
        if (lookup->located)
            ReadExecutableDetails(lookup->path, &workerCache, &worker.stopRequested, &lookup->details);
        PostFinishedLookup(lookup);
    }
}

static bool StartLookupWorker()
{
    InitializeCriticalSection(&worker.lock);
    worker.wake = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (worker.wake)
        worker.thread = CreateThread(NULL, 0, RunLookupWorker, NULL, 0, NULL);
    if (!worker.thread) {
        if (worker.wake)
            CloseHandle(worker.wake);
        worker.wake = NULL;
        DeleteCriticalSection(&worker.lock);
        return false;
    }
    worker.started = true;
    return true;
}

bool QueueLookup(PendingLookup* lookup, HWND resultWindow)
{
    if (!resultWindow || lookupsClosed)
        return false;
    if (!worker.started && !StartLookupWorker())
        return false;
    lookup->next = NULL;
    lookup->resultWindow = resultWindow;
    // Ids start at 1 and skip 0 when they wrap.
    do
        lookup->id = InterlockedIncrement(&worker.lastId);
    while (lookup->id == 0);
    EnterCriticalSection(&worker.lock);
    bool queued = !worker.stopping;
    if (queued) {
        InterlockedIncrement(&worker.pending);
        if (worker.last)
            worker.last->next = lookup;
        else
            worker.first = lookup;
        worker.last = lookup;
    }
    LeaveCriticalSection(&worker.lock);
    if (queued)
        SetEvent(worker.wake);
    return queued;
}

// The busy cursor was set over one of our windows while the lookup was
// pending; put back that window's own cursor without waiting for the mouse
// to move.
static void RestoreCursorOverOwnWindow()
{
    POINT point;
    if (IsLookupPending() || !GetCursorPos(&point))
        return;
    HWND window = WindowFromPoint(point);
    if (!window || GetWindowThreadProcessId(window, NULL) != GetCurrentThreadId())
        return;
    HCURSOR cursor = (HCURSOR)GetClassLongPtrW(window, GCLP_HCURSOR);
    if (cursor)
        SetCursor(cursor);
}

AddressOpening OpenFinishedLookup(LPARAM lParam)
{
    PendingLookup* lookup = TakeFinishedLookup(lParam);
    if (!lookup)
        return ADDRESS_NOT_OPENED;
    AddressOpening opening = OpenLookup(lookup);
    FreeLookup(lookup);
    RestoreCursorOverOwnWindow();
    return opening;
}

bool IsLookupPending()
{
    return worker.pending > 0;
}

void StopLookupWorker()
{
    lookupsClosed = true;
    if (!worker.started)
        return;
    EnterCriticalSection(&worker.lock);
    worker.stopping = true;
    InterlockedExchange(&worker.stopRequested, 1);
    LeaveCriticalSection(&worker.lock);
    SetEvent(worker.wake);
    if (WaitForSingleObject(worker.thread, STOP_WAIT_MS) != WAIT_OBJECT_0) {
        // Still inside a read: it may yet touch the lock and its lookup, so
        // both stay; nothing it finishes is opened, and the process is ending.
        return;
    }
    CloseHandle(worker.thread);
    CloseHandle(worker.wake);
    DeleteCriticalSection(&worker.lock);

    // Queued and never read, or read and posted but not yet opened.
    while (worker.first) {
        PendingLookup* lookup = worker.first;
        worker.first = lookup->next;
        FreeLookup(lookup);
    }
    while (worker.finished) {
        PendingLookup* lookup = worker.finished;
        worker.finished = lookup->next;
        FreeLookup(lookup);
    }
    MSG message;
    while (PeekMessageW(&message, NULL, WM_LOOKUP_FINISHED, WM_LOOKUP_FINISHED, PM_REMOVE))
        continue;

    ZeroMemory(&worker, sizeof(worker));
}

void ReopenLookupWorker()
{
    if (!worker.started)
        lookupsClosed = false;
}
