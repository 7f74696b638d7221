#include "app/row_details.h"
#include <shellapi.h>
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/background_jobs.h"
#include "core/executable_locator.h"
#include "core/seams.h"
#include "core/system_folders.h"
#include "lookup/process_sheet.h"

// Room for a row's path in its "\\?\" form.
static const size_t READ_PATH_CAPACITY = PROCESS_PATH_CAPACITY + 8;

struct DetailsJob {
    wchar_t exePath[PROCESS_PATH_CAPACITY];
    bool pathReported;
    RowDetails details;
};

struct SignerJob {
    wchar_t exePath[PROCESS_PATH_CAPACITY];
    bool pathReported;
    ULONGLONG processStarted;  // the row's process's creation time; 0 when unknown
    SignerCheck check;
    bool changedAfterStart;
};

// The icon the shell gives the file, or for a path too long for it, the one
// it gives any file of that name, asked without touching the file.
static int FindIconIndex(const wchar_t* exePath, const wchar_t* readable, bool read)
{
    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    const wchar_t* slash = wcsrchr(exePath, L'\\');
    bool whole = read && wcslen(readable) < MAX_PATH;
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (whole ? 0 : SHGFI_USEFILEATTRIBUTES);
    if (!SHGetFileInfoW(whole ? readable : (slash ? slash + 1 : exePath), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                        flags))
        return -1;
    return info.iIcon;
}

static void ReadDetails(void* record, const volatile LONG*)
{
    DetailsJob* job = (DetailsJob*)record;
    RowDetails* details = &job->details;

    // The file the path names, not the one redirection would give a 32-bit
    // program; a name the process reports is read only as a disk file.
    wchar_t readable[READ_PATH_CAPACITY];
    bool read = PrepareImageRead(job->exePath, job->pathReported, readable, ARRAYSIZE(readable));
    if (read) {
        VersionInfoBlock version;
        seams.loadVersionInfo(&version, readable);
        QueryVersionString(&version, L"FileDescription", details->description);
        QueryVersionString(&version, L"CompanyName", details->company);
        FreeVersionInfo(&version);
    }

    wchar_t directory[PROCESS_PATH_CAPACITY];
    StringCchCopyW(directory, ARRAYSIZE(directory), job->exePath);
    wchar_t* lastBackslash = wcsrchr(directory, L'\\');
    if (lastBackslash)
        *lastBackslash = L'\0';
    ApplyFolderTokens(directory, details->folder);
    details->iconIndex = FindIconIndex(job->exePath, readable, read);
}

static ULONGLONG FileTimeValue(FILETIME time)
{
    return ((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

// Whether the file was last written or changed after `started`.
static bool IsChangedAfter(const wchar_t* readable, ULONGLONG started)
{
    if (!started)
        return false;
    HANDLE file = CreateFileW(readable, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FileIdentity identity;
    bool changed = ReadFileIdentity(file, &identity) &&
                   (FileTimeValue(identity.lastWrite) > started || (ULONGLONG)identity.changeTime > started);
    CloseHandle(file);
    return changed;
}

static void CheckSigner(void* record, const volatile LONG*)
{
    SignerJob* job = (SignerJob*)record;
    wchar_t readable[READ_PATH_CAPACITY];
    if (!PrepareImageRead(job->exePath, job->pathReported, readable, ARRAYSIZE(readable))) {
        job->check.verdict = SIGNER_UNREADABLE;
        job->check.source = SIGNER_FROM_NONE;
        job->check.signer[0] = L'\0';
        return;
    }
    CheckFileSigner(job->exePath, ReadsLaneSignerCache(), &job->check);
    job->changedAfterStart = IsChangedAfter(readable, job->processStarted);
}

static void FreeRecord(void* record)
{
    HeapFree(GetProcessHeap(), 0, record);
}

// Queues a job on the reads' lane for the record; returns its id, or 0 (then the record is freed).
static LONG QueueRead(void* record, HWND window, bool signer)
{
    return QueueWindowJob(window, signer ? WM_ROW_SIGNER_CHECKED : WM_ROW_DETAILS_READ, LANE_READS,
                          signer ? JOB_LATER : JOB_FIRST, signer ? CheckSigner : ReadDetails, FreeRecord, record);
}

static LONG QueueDetailsRead(const ProcessRow* row, HWND window)
{
    DetailsJob* job = (DetailsJob*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DetailsJob));
    if (!job)
        return 0;
    StringCchCopyW(job->exePath, ARRAYSIZE(job->exePath), row->exePath);
    job->pathReported = row->pathReported;
    return QueueRead(job, window, false);
}

static LONG QueueSignerCheck(const ProcessRow* row, HWND window)
{
    SignerJob* job = (SignerJob*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(SignerJob));
    if (!job)
        return 0;
    StringCchCopyW(job->exePath, ARRAYSIZE(job->exePath), row->exePath);
    job->pathReported = row->pathReported;
    job->processStarted = row->createdAt;
    return QueueRead(job, window, true);
}

static DWORD HashFoldedPath(const wchar_t* path)
{
    DWORD hash = 2166136261u;
    for (; *path; ++path)
        hash = (hash ^ FoldAsciiLetter(*path)) * 16777619u;
    return hash;
}

// The details job already asked for an earlier row of the same path, or 0.
static LONG FindDetailsOfPath(const ProcessList* list, int index, const DWORD* hashes)
{
    const ProcessRow* row = list->rows[index];
    for (int i = 0; hashes && i < index; ++i) {
        const ProcessRow* other = list->rows[i];
        if (other->detailsId && hashes[i] == hashes[index] &&
            EqualFoldingAsciiLetters(other->exePath, row->exePath, ARRAYSIZE(row->exePath)))
            return other->detailsId;
    }
    return 0;
}

static void DescribeRow(ProcessRow* row, HWND window, const wchar_t* checkingText, LONG sharedDetails)
{
    row->readsAsked = true;
    if (!row->hasPath)
        return;
    row->detailsId = sharedDetails ? sharedDetails : QueueDetailsRead(row, window);
    row->signerId = QueueSignerCheck(row, window);
    if (row->signerId && checkingText)
        StringCchCopyW(row->signer, ARRAYSIZE(row->signer), checkingText);
}

void RequestRowReads(ProcessList* list, HWND window, const wchar_t* checkingText)
{
    // The folder table is filled lazily; fill it here, before another thread reads it.
    if (!folderTableResolved)
        ResolveFolderTokens();
    // Hashes make the search for a row of the same path cheap; without them each row reads alone.
    DWORD* hashes = (DWORD*)HeapAlloc(GetProcessHeap(), 0, (list->rowCount + 1) * sizeof(DWORD));
    for (int i = 0; i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        if (hashes)
            hashes[i] = row->hasPath ? HashFoldedPath(row->exePath) : 0;
        if (!row->readsAsked)
            DescribeRow(row, window, checkingText, row->hasPath ? FindDetailsOfPath(list, i, hashes) : 0);
    }
    if (hashes)
        HeapFree(GetProcessHeap(), 0, hashes);
}

bool TakeRowDetails(HWND window, LPARAM id, RowDetails* details)
{
    bool ran = false;
    DetailsJob* job = (DetailsJob*)TakeJobResult(window, WM_ROW_DETAILS_READ, id, &ran);
    if (!job)
        return false;
    // Unread, the row shows its file without a description rather than waiting for one.
    *details = job->details;
    if (!ran)
        details->iconIndex = -1;
    HeapFree(GetProcessHeap(), 0, job);
    return true;
}

bool TakeRowSigner(HWND window, LPARAM id, SignerCheck* check, bool* changed)
{
    bool ran = false;
    SignerJob* job = (SignerJob*)TakeJobResult(window, WM_ROW_SIGNER_CHECKED, id, &ran);
    if (!job)
        return false;
    *check = job->check;
    *changed = ran && job->changedAfterStart;
    if (!ran) {
        // Unchecked is not unsigned: the cell says the file could not be read.
        check->verdict = SIGNER_UNREADABLE;
        check->source = SIGNER_FROM_NONE;
        check->signer[0] = L'\0';
    }
    HeapFree(GetProcessHeap(), 0, job);
    return true;
}

bool AreRowDetailsPending()
{
    return IsJobLaneBusy(LANE_READS);
}
