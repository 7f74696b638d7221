#include "app/row_details.h"
#include <objbase.h>
#include <shellapi.h>
#include <strsafe.h>
#include "core/seams.h"
#include "core/system_folders.h"
#include "core/system_probes.h"

struct DetailsRequest {
    DetailsRequest* next;
    LONG id;
    HWND window;
    wchar_t exePath[MAX_PATH];
    bool signerOnly;  // a signer check, not the details
    RowDetails details;
    SignerCheck signer;
};

// One thread for the program's life, idle on its event between windows: a
// read that hangs keeps it, and nothing else, waiting.
struct DetailsReader {
    bool started;                 // the queues are ready; set and read on the window thread only
    bool threadStarted;           // likewise
    CRITICAL_SECTION lock;        // guards the lists and `readingCancelled`
    HANDLE wake;                  // auto-reset: something was queued
    DetailsRequest* first;        // queued, read in order
    DetailsRequest* last;
    DetailsRequest* firstSigner;  // signer checks queued, taken when no details wait
    DetailsRequest* lastSigner;
    DetailsRequest* reading;      // being read now
    bool readingCancelled;        // its window closed meanwhile
    DetailsRequest* finished;     // posted, waiting to be taken
    LONG lastId;
    SignerCache signers;          // used on the reader only
    bool signerCacheReady;
};

static DetailsReader reader;

static void ReadDetails(const wchar_t* exePath, RowDetails* details)
{
    details->description[0] = L'\0';
    details->company[0] = L'\0';
    details->iconIndex = -1;

    // The file the path names, not the one redirection would give a 32-bit program.
    wchar_t readable[MAX_PATH];
    if (!BuildReadablePath(exePath, readable))
        readable[0] = L'\0';
    VersionInfoBlock version;
    seams.loadVersionInfo(&version, readable);
    QueryVersionString(&version, L"FileDescription", details->description);
    QueryVersionString(&version, L"CompanyName", details->company);
    FreeVersionInfo(&version);

    wchar_t directory[MAX_PATH];
    StringCchCopyW(directory, ARRAYSIZE(directory), exePath);
    wchar_t* lastBackslash = wcsrchr(directory, L'\\');
    if (lastBackslash)
        *lastBackslash = L'\0';
    ApplyFolderTokens(directory, details->folder);

    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    if (SHGetFileInfoW(readable, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        details->iconIndex = info.iIcon;
}

// Below normal priority already; in background mode (Vista and later) its
// reads also yield to everyone else's.
static void CheckSignerInBackground(const wchar_t* exePath, SignerCheck* check)
{
    static const int BACKGROUND_BEGIN = 0x00010000;  // THREAD_MODE_BACKGROUND_BEGIN
    static const int BACKGROUND_END = 0x00020000;    // THREAD_MODE_BACKGROUND_END
    bool background = IsVistaOrLater() && SetThreadPriority(GetCurrentThread(), BACKGROUND_BEGIN);
    CheckFileSigner(exePath, reader.signerCacheReady ? &reader.signers : NULL, check);
    if (background)
        SetThreadPriority(GetCurrentThread(), BACKGROUND_END);
}

// Takes the first request of a queue; NULL when it is empty.
static DetailsRequest* Dequeue(DetailsRequest** first, DetailsRequest** last)
{
    DetailsRequest* request = *first;
    if (request) {
        *first = request->next;
        if (!*first)
            *last = NULL;
    }
    return request;
}

static DetailsRequest* TakeNextRequest()
{
    EnterCriticalSection(&reader.lock);
    DetailsRequest* request = Dequeue(&reader.first, &reader.last);
    if (!request)
        request = Dequeue(&reader.firstSigner, &reader.lastSigner);
    if (request) {
        request->next = NULL;
        reader.reading = request;
        reader.readingCancelled = false;
    }
    LeaveCriticalSection(&reader.lock);
    return request;
}

// Posting under the lock: a window that cancels afterwards finds the request
// on the finished list and frees it.
static void FinishRequest(DetailsRequest* request)
{
    EnterCriticalSection(&reader.lock);
    reader.reading = NULL;
    UINT message = request->signerOnly ? WM_ROW_SIGNER_CHECKED : WM_ROW_DETAILS_READ;
    bool posted = !reader.readingCancelled &&
                  PostMessageW(request->window, message, 0, (LPARAM)request->id) != FALSE;
    if (posted) {
        request->next = reader.finished;
        reader.finished = request;
    }
    LeaveCriticalSection(&reader.lock);
    if (!posted)
        HeapFree(GetProcessHeap(), 0, request);
}

static DWORD WINAPI RunDetailsReader(LPVOID)
{
    // The shell's file information wants COM on the calling thread.
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    for (;;) {
        DetailsRequest* request = TakeNextRequest();
        if (!request) {
            WaitForSingleObject(reader.wake, INFINITE);
            continue;
        }
        if (request->signerOnly)
            CheckSignerInBackground(request->exePath, &request->signer);
        else
            ReadDetails(request->exePath, &request->details);
        FinishRequest(request);
    }
}

// The queues; the thread comes with the first StartReadingRowDetails, so
// that its start-up (COM, its DLLs) does not slow the first listing either.
static bool PrepareDetailsReader()
{
    reader.wake = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (!reader.wake)
        return false;
    InitializeCriticalSection(&reader.lock);
    reader.signerCacheReady = InitSignerCache(&reader.signers);
    reader.started = true;
    return true;
}

static bool StartReaderThread()
{
    HANDLE thread = CreateThread(NULL, 0, RunDetailsReader, NULL, 0, NULL);
    if (!thread)
        return false;
    // Behind the window and the lookups.
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    CloseHandle(thread);
    reader.threadStarted = true;
    return true;
}

static LONG QueueRequest(const wchar_t* exePath, HWND window, bool signerOnly)
{
    if (!window || (!reader.started && !PrepareDetailsReader()))
        return 0;
    DetailsRequest* request = (DetailsRequest*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DetailsRequest));
    if (!request)
        return 0;
    if (FAILED(StringCchCopyW(request->exePath, ARRAYSIZE(request->exePath), exePath))) {
        HeapFree(GetProcessHeap(), 0, request);
        return 0;
    }
    request->window = window;
    request->signerOnly = signerOnly;
    // Ids start at 1 and skip 0 when they wrap.
    do
        request->id = InterlockedIncrement(&reader.lastId);
    while (request->id == 0);
    DetailsRequest** first = signerOnly ? &reader.firstSigner : &reader.first;
    DetailsRequest** last = signerOnly ? &reader.lastSigner : &reader.last;
    EnterCriticalSection(&reader.lock);
    if (*last)
        (*last)->next = request;
    else
        *first = request;
    *last = request;
    LeaveCriticalSection(&reader.lock);
    return request->id;
}

LONG RequestRowDetails(const wchar_t* exePath, HWND window)
{
    // The folder table is filled lazily; fill it here, before another thread reads it.
    if (!folderTableResolved)
        ResolveFolderTokens();
    return QueueRequest(exePath, window, false);
}

LONG RequestRowSigner(const wchar_t* exePath, HWND window)
{
    return QueueRequest(exePath, window, true);
}

// Unlinks the finished request of that id and kind; NULL when there is none.
static DetailsRequest* TakeFinished(LPARAM id, bool signerOnly)
{
    if (!reader.started)
        return NULL;
    EnterCriticalSection(&reader.lock);
    DetailsRequest* found = NULL;
    for (DetailsRequest** link = &reader.finished; *link; link = &(*link)->next) {
        if ((LPARAM)(*link)->id == id && (*link)->signerOnly == signerOnly) {
            found = *link;
            *link = found->next;
            break;
        }
    }
    LeaveCriticalSection(&reader.lock);
    return found;
}

bool TakeRowDetails(LPARAM id, RowDetails* details)
{
    DetailsRequest* found = TakeFinished(id, false);
    if (!found)
        return false;
    *details = found->details;
    HeapFree(GetProcessHeap(), 0, found);
    return true;
}

bool TakeRowSigner(LPARAM id, SignerCheck* check)
{
    DetailsRequest* found = TakeFinished(id, true);
    if (!found)
        return false;
    *check = found->signer;
    HeapFree(GetProcessHeap(), 0, found);
    return true;
}

// Unlinks and frees every request of `window` (or every one) on the list at `link`.
static void FreeRequestsOf(DetailsRequest** link, HWND window, bool all)
{
    while (*link) {
        DetailsRequest* request = *link;
        if (all || request->window == window) {
            *link = request->next;
            HeapFree(GetProcessHeap(), 0, request);
        } else {
            link = &request->next;
        }
    }
}

void CancelRowDetails(HWND window)
{
    if (!reader.started)
        return;
    EnterCriticalSection(&reader.lock);
    FreeRequestsOf(&reader.first, window, false);
    reader.last = reader.first;
    while (reader.last && reader.last->next)
        reader.last = reader.last->next;
    FreeRequestsOf(&reader.firstSigner, window, false);
    reader.lastSigner = reader.firstSigner;
    while (reader.lastSigner && reader.lastSigner->next)
        reader.lastSigner = reader.lastSigner->next;
    FreeRequestsOf(&reader.finished, window, false);
    if (reader.reading && reader.reading->window == window)
        reader.readingCancelled = true;
    LeaveCriticalSection(&reader.lock);
}

void StartReadingRowDetails()
{
    if (!reader.started)
        return;
    if (!reader.threadStarted && !StartReaderThread()) {
        // No thread to be had: the rows stay as listed, and nothing waits.
        EnterCriticalSection(&reader.lock);
        FreeRequestsOf(&reader.first, NULL, true);
        FreeRequestsOf(&reader.firstSigner, NULL, true);
        reader.last = NULL;
        reader.lastSigner = NULL;
        LeaveCriticalSection(&reader.lock);
        return;
    }
    SetEvent(reader.wake);
}

bool AreRowDetailsPending()
{
    if (!reader.started)
        return false;
    EnterCriticalSection(&reader.lock);
    bool pending = reader.first || reader.firstSigner || reader.reading || reader.finished;
    LeaveCriticalSection(&reader.lock);
    return pending;
}
