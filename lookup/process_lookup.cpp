#include "lookup/process_lookup.h"
#include <shlwapi.h>
#include <strsafe.h>
#include "core/background_jobs.h"
#include "core/handed_path.h"
#include "core/system_folders.h"
#include "lookup/process_details.h"

// Why off the window thread: a click on the strip is handled on our window
// thread, and the strip is a child of Task Manager's window, so Windows joins
// the input of our thread and Task Manager's. Hashing a 200 MB executable
// there would freeze Task Manager's window and our tray icon for a second or
// more. The lane reads the file; the window thread builds and opens the address.

struct PendingLookup {
    wchar_t* handedPath;         // a handed file's path as given (HeapAlloc), or NULL
    DWORD readError;             // why the handed file cannot be read; 0 when it can
    wchar_t name[MAX_PATH];
    bool located;                // path holds the executable's full path
    wchar_t path[MAX_PATH];
    bool extended;               // "SendExtendedInfo" as it read at the click
    ExecutableDetails details;   // filled on the lane when located
};

// The lookups' lane is one thread: its cache needs no lock.
static FingerprintCache laneCache;

// A handed file: its canonical path, checked and opened as the lookup will
// read it; sets readError when it cannot be.
static void CheckHandedFile(PendingLookup* lookup)
{
    wchar_t* canonical = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, HANDED_PATH_CAPACITY * sizeof(wchar_t));
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    wchar_t readable[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (canonical && MakeHandedPathCanonical(lookup->handedPath, true, canonical, &error)) {
        // The System32 the path names, as every later read maps it.
        if (FAILED(StringCchCopyW(lookup->path, ARRAYSIZE(lookup->path), canonical)) ||
            !BuildReadablePath(lookup->path, readable))
            error = ERROR_FILENAME_EXCED_RANGE;
        else
            file = OpenDiskFileForReading(readable, &error);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        StringCchCopyW(lookup->name, ARRAYSIZE(lookup->name), PathFindFileNameW(lookup->path));
        lookup->located = true;
    } else {
        lookup->readError = error ? error : ERROR_INVALID_NAME;
    }
    if (canonical)
        HeapFree(GetProcessHeap(), 0, canonical);
}

static void ReadLookup(void* record, const volatile LONG* stop)
{
    PendingLookup* lookup = (PendingLookup*)record;
    if (lookup->handedPath)
        CheckHandedFile(lookup);
    if (lookup->located)
        ReadExecutableDetails(lookup->path, &laneCache, stop, &lookup->details);
}

static void FreeLookup(void* record)
{
    PendingLookup* lookup = (PendingLookup*)record;
    FreeExecutableDetails(&lookup->details);
    if (lookup->handedPath)
        HeapFree(GetProcessHeap(), 0, lookup->handedPath);
    HeapFree(GetProcessHeap(), 0, lookup);
}

static AddressOpening OpenLookup(PendingLookup* lookup)
{
    LookupUrl url;
    StartLookupUrl(&url, lookup->name);
    if (lookup->located)
        AppendExecutableDetails(lookup->path, &lookup->details, lookup->extended, &url);
    return OpenLookupUrl(&url);
}

bool LookUpProcess(const wchar_t* name, const wchar_t* exePath, HWND resultWindow, bool extended)
{
    PendingLookup* lookup = (PendingLookup*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PendingLookup));
    if (!lookup)
        return false;
    // A name cut short would look up another process.
    if (FAILED(StringCchCopyW(lookup->name, ARRAYSIZE(lookup->name), name))) {
        HeapFree(GetProcessHeap(), 0, lookup);
        return false;
    }
    // A path that does not fit is looked up without details.
    lookup->located = exePath && SUCCEEDED(StringCchCopyW(lookup->path, ARRAYSIZE(lookup->path), exePath));
    lookup->extended = lookup->located && extended;
    // No window to answer to (a program that has none): start to end here.
    if (!resultWindow) {
        if (lookup->located)
            ReadExecutableDetails(lookup->path, NULL, NULL, &lookup->details);
        OpenLookup(lookup);
        FreeLookup(lookup);
        return true;
    }
    JobRequest request = {LANE_LOOKUPS, JOB_FIRST, resultWindow, WM_LOOKUP_FINISHED, ReadLookup, FreeLookup, lookup};
    if (QueueBackgroundJob(&request))
        return true;
    FreeLookup(lookup);
    return false;
}

bool LookUpHandedFile(const wchar_t* path, HWND resultWindow, bool extended)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(path, HANDED_PATH_CAPACITY, &length)))
        return false;
    PendingLookup* lookup = (PendingLookup*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PendingLookup));
    if (!lookup)
        return false;
    lookup->handedPath = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
    if (!lookup->handedPath) {
        FreeLookup(lookup);
        return false;
    }
    StringCchCopyW(lookup->handedPath, length + 1, path);
    lookup->extended = extended;
    // No window to answer to (a program that has none): start to end here.
    if (!resultWindow) {
        ReadLookup(lookup, NULL);
        if (!lookup->readError)
            OpenLookup(lookup);
        FreeLookup(lookup);
        return true;
    }
    JobRequest request = {LANE_LOOKUPS, JOB_FIRST, resultWindow, WM_LOOKUP_FINISHED, ReadLookup, FreeLookup, lookup};
    if (QueueBackgroundJob(&request))
        return true;
    FreeLookup(lookup);
    return false;
}

AddressOpening OpenFinishedLookup(HWND window, LPARAM id, UnreadableFileReport report)
{
    PendingLookup* lookup = (PendingLookup*)TakeFinishedJob(window, WM_LOOKUP_FINISHED, id);
    if (!lookup)
        return ADDRESS_NOT_OPENED;
    if (lookup->readError) {
        if (report)
            report(lookup->handedPath, lookup->readError);
        FreeLookup(lookup);
        return ADDRESS_NOT_OPENED;
    }
    AddressOpening opening = OpenLookup(lookup);
    FreeLookup(lookup);
    return opening;
}

bool IsLookupPending()
{
    return IsJobLaneBusy(LANE_LOOKUPS);
}
