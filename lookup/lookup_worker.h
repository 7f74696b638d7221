// The lookup worker: one thread that reads and hashes executables for the
// lookups, one at a time in the order they were asked for.
#pragma once
#include <windows.h>
#include "lookup/process_details.h"

// Posted to the window a lookup answers to (MainWindow) when its file work
// is done; lParam is the lookup's id, never a pointer: any process of our
// integrity can post this message. The window hands it to OpenFinishedLookup.
#define WM_LOOKUP_FINISHED (WM_APP + 0x22)

// One lookup on its way: what the click gave, and what the worker read.
struct PendingLookup {
    PendingLookup* next;
    LONG id;                     // what WM_LOOKUP_FINISHED names it by
    HWND resultWindow;
    wchar_t name[MAX_PATH];
    bool located;                // path holds the executable's full path
    wchar_t path[MAX_PATH];
    bool extended;               // "SendExtendedInfo" as it read at the click
    ExecutableDetails details;   // filled by the worker when located
};

// Hands a lookup (HeapAlloc'd) to the worker, starting it if need be; the
// worker owns it from here. False when there is no window to answer to,
// lookups are stopped, or no thread can be had: the caller keeps it.
bool QueueLookup(PendingLookup* lookup, HWND resultWindow);

// WM_LOOKUP_FINISHED: opens the address of the finished lookup with that id
// and frees it; an id of no finished lookup of ours is ignored (not opened).
AddressOpening OpenFinishedLookup(LPARAM lParam);

// True from the moment a lookup is queued until its address is opened.
bool IsLookupPending();

// Ends the worker for shutdown or the hand-over: a read under way stops at
// its next 64 KiB, nothing queued or finished is opened any more, and the
// thread, its event and every lookup's memory are released. Called on the
// thread of the windows the lookups answer to. Lookups asked for afterwards
// are dropped.
void StopLookupWorker();

// Takes lookups again after a stop (the tests run many in one process).
void ReopenLookupWorker();
