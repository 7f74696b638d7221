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
    wchar_t* longPath;           // a handed file of MAX_PATH or more: its "\\?\" form (HeapAlloc), or NULL
    wchar_t* longCanonical;      // and its canonical path, as it is sent
    DWORD readError;             // why the handed file cannot be read; 0 when it can
    wchar_t name[MAX_PATH];
    bool located;                // path holds the executable's full path
    wchar_t path[MAX_PATH];
    bool extended;               // "SendExtendedInfo" as it read at the click
    ExecutableDetails details;   // filled on the lane when located
};

// The lookups' lane is one thread: its cache needs no lock.
static FingerprintCache laneCache;

// Copies text to a new block of the process heap; NULL when memory ran out.
static wchar_t* CopyToHeap(const wchar_t* text, size_t capacity)
{
    wchar_t* copy = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(wchar_t));
    if (copy && FAILED(StringCchCopyW(copy, capacity, text))) {
        HeapFree(GetProcessHeap(), 0, copy);
        copy = NULL;
    }
    return copy;
}

// A path of MAX_PATH or more is read through its long form, "\\?\X:\..." or
// "\\?\UNC\server\...", and sent as its canonical path.
static bool BuildLongForm(const wchar_t* canonical, PendingLookup* lookup)
{
    size_t length = wcslen(canonical);
    bool unc = canonical[0] == L'\\' && canonical[1] == L'\\';
    lookup->longCanonical = CopyToHeap(canonical, length + 1);
    lookup->longPath = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (length + 16) * sizeof(wchar_t));
    return lookup->longCanonical && lookup->longPath &&
           SUCCEEDED(StringCchPrintfW(lookup->longPath, length + 16, unc ? L"\\\\?\\UNC\\%s" : L"\\\\?\\%s",
                                      unc ? canonical + 2 : canonical));
}

// A handed file: its canonical path, checked and opened as the lookup will
// read it; sets readError when it cannot be.
static void CheckHandedFile(PendingLookup* lookup)
{
    wchar_t* canonical = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, HANDED_PATH_CAPACITY * sizeof(wchar_t));
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    wchar_t readable[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (canonical && MakeHandedPathCanonical(lookup->handedPath, true, canonical, &error)) {
        if (wcslen(canonical) < MAX_PATH) {
            // The System32 the path names, as every later read maps it.
            StringCchCopyW(lookup->path, ARRAYSIZE(lookup->path), canonical);
            if (BuildReadablePath(lookup->path, readable))
                file = OpenDiskFileForReading(readable, &error);
            else
                error = ERROR_FILENAME_EXCED_RANGE;
        } else if (BuildLongForm(canonical, lookup)) {
            file = OpenDiskFileForReading(lookup->longPath, &error);
        }
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        const wchar_t* name = PathFindFileNameW(lookup->longPath ? lookup->longCanonical : lookup->path);
        lookup->located = SUCCEEDED(StringCchCopyW(lookup->name, ARRAYSIZE(lookup->name), name));
        if (!lookup->located)
            error = ERROR_FILENAME_EXCED_RANGE;
    }
    if (!lookup->located)
        lookup->readError = error ? error : ERROR_INVALID_NAME;
    if (canonical)
        HeapFree(GetProcessHeap(), 0, canonical);
}

static void ReadLookupWith(PendingLookup* lookup, FingerprintCache* cache, const volatile LONG* stop)
{
    if (lookup->handedPath)
        CheckHandedFile(lookup);
    // A long path is read as it is (its own fingerprint, no cache: the cache holds short paths).
    if (lookup->located && lookup->longPath)
        ReadExecutableDetailsAt(lookup->longPath, NULL, stop, &lookup->details);
    else if (lookup->located)
        ReadExecutableDetails(lookup->path, cache, stop, &lookup->details);
}

static void ReadLookup(void* record, const volatile LONG* stop)
{
    ReadLookupWith((PendingLookup*)record, &laneCache, stop);
}

static void FreeLookup(void* record)
{
    PendingLookup* lookup = (PendingLookup*)record;
    FreeExecutableDetails(&lookup->details);
    if (lookup->handedPath)
        HeapFree(GetProcessHeap(), 0, lookup->handedPath);
    if (lookup->longPath)
        HeapFree(GetProcessHeap(), 0, lookup->longPath);
    if (lookup->longCanonical)
        HeapFree(GetProcessHeap(), 0, lookup->longCanonical);
    HeapFree(GetProcessHeap(), 0, lookup);
}

// Builds the address; false, with nothing opened, when the file's folder or
// digest could not be sent whole.
static bool BuildLookupUrl(PendingLookup* lookup, LookupUrl* url)
{
    StartLookupUrl(url, lookup->name);
    if (!lookup->located)
        return true;
    return AppendExecutableDetails(lookup->longCanonical ? lookup->longCanonical : lookup->path, &lookup->details,
                                   lookup->extended, url);
}

// Hands the lookup to the lookups' lane; without a window to answer to (a
// program that has none) it runs start to end here, with no cache: the lane's
// is its thread's alone. False when nothing was queued; the lookup is freed.
static bool QueueOrRunLookup(PendingLookup* lookup, HWND resultWindow)
{
    if (!resultWindow) {
        ReadLookupWith(lookup, NULL, NULL);
        LookupUrl url;
        if (!lookup->readError && BuildLookupUrl(lookup, &url))
            OpenLookupUrl(&url);
        FreeLookup(lookup);
        return true;
    }
    return QueueWindowJob(resultWindow, WM_LOOKUP_FINISHED, LANE_LOOKUPS, JOB_FIRST, ReadLookup, FreeLookup, lookup) != 0;
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
    return QueueOrRunLookup(lookup, resultWindow);
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
    return QueueOrRunLookup(lookup, resultWindow);
}

AddressOpening OpenFinishedLookup(HWND window, LPARAM id, UnreadableFileReport report)
{
    bool ran = false;
    PendingLookup* lookup = (PendingLookup*)TakeJobResult(window, WM_LOOKUP_FINISHED, id, &ran);
    if (!lookup)
        return ADDRESS_NOT_OPENED;
    // Nothing was read, as no thread could be had: a handed file says so, a
    // process's lookup opens nothing rather than an address without its file.
    if (!ran && !lookup->handedPath) {
        FreeLookup(lookup);
        return ADDRESS_NOT_OPENED;
    }
    if (!ran && !lookup->readError)
        lookup->readError = ERROR_NOT_ENOUGH_MEMORY;
    // A file whose folder or digest would not fit is not looked up at all, as
    // without a window: the address would pass for another file's.
    LookupUrl url;
    bool built = !lookup->readError && BuildLookupUrl(lookup, &url);
    if (!built && !lookup->readError && lookup->handedPath)
        lookup->readError = ERROR_FILENAME_EXCED_RANGE;
    if (!built) {
        if (lookup->readError && report)
            report(lookup->handedPath, lookup->readError);
        FreeLookup(lookup);
        return ADDRESS_NOT_OPENED;
    }
    AddressOpening opening = OpenLookupUrl(&url);
    FreeLookup(lookup);
    return opening;
}

bool IsLookupPending()
{
    return IsJobLaneBusy(LANE_LOOKUPS);
}
