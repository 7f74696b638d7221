#include "app/row_details.h"
#include <shellapi.h>
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/background_jobs.h"
#include "core/seams.h"
#include "core/system_folders.h"

struct DetailsJob {
    wchar_t exePath[MAX_PATH];
    RowDetails details;
};

struct SignerJob {
    wchar_t exePath[MAX_PATH];
    SignerCheck check;
};

// Kept for the program's life and used on the reads' lane only.
static SignerCache signers;
static bool signerCacheReady;

static void ReadDetails(void* record, const volatile LONG*)
{
    DetailsJob* job = (DetailsJob*)record;
    RowDetails* details = &job->details;
    details->iconIndex = -1;

    // The file the path names, not the one redirection would give a 32-bit program.
    wchar_t readable[MAX_PATH];
    if (!BuildReadablePath(job->exePath, readable))
        readable[0] = L'\0';
    VersionInfoBlock version;
    seams.loadVersionInfo(&version, readable);
    QueryVersionString(&version, L"FileDescription", details->description);
    QueryVersionString(&version, L"CompanyName", details->company);
    FreeVersionInfo(&version);

    wchar_t directory[MAX_PATH];
    StringCchCopyW(directory, ARRAYSIZE(directory), job->exePath);
    wchar_t* lastBackslash = wcsrchr(directory, L'\\');
    if (lastBackslash)
        *lastBackslash = L'\0';
    ApplyFolderTokens(directory, details->folder);

    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    if (SHGetFileInfoW(readable, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        details->iconIndex = info.iIcon;
}

static void CheckSigner(void* record, const volatile LONG*)
{
    SignerJob* job = (SignerJob*)record;
    CheckFileSigner(job->exePath, signerCacheReady ? &signers : NULL, &job->check);
}

static void FreeRecord(void* record)
{
    HeapFree(GetProcessHeap(), 0, record);
}

// Queues one read of the file; returns its id, or 0.
static LONG QueueRead(const wchar_t* exePath, HWND window, bool signer)
{
    SIZE_T size = signer ? sizeof(SignerJob) : sizeof(DetailsJob);
    // The path is the first field of both.
    wchar_t* record = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (!record)
        return 0;
    LONG id = 0;
    if (SUCCEEDED(StringCchCopyW(record, MAX_PATH, exePath))) {
        JobRequest request = {LANE_READS, signer ? JOB_LATER : JOB_FIRST, window,
                              (UINT)(signer ? WM_ROW_SIGNER_CHECKED : WM_ROW_DETAILS_READ),
                              signer ? CheckSigner : ReadDetails, FreeRecord, record};
        id = QueueBackgroundJob(&request);
    }
    if (!id)
        HeapFree(GetProcessHeap(), 0, record);
    return id;
}

// Another process of the same file whose reads are asked for already.
static const ProcessRow* FindRowOfFile(const ProcessList* list, const ProcessRow* row)
{
    for (int i = 0; i < list->rowCount; ++i) {
        const ProcessRow* other = list->rows[i];
        if (other != row && other->readsAsked && other->hasPath &&
            EqualFoldingAsciiLetters(other->exePath, row->exePath, wcslen(row->exePath) + 1))
            return other;
    }
    return NULL;
}

// Another process of the same file shares its details, read or on their way.
static void DescribeRow(const ProcessList* list, ProcessRow* row, HWND window, const wchar_t* checkingText)
{
    row->readsAsked = true;
    if (!row->hasPath)
        return;
    const ProcessRow* twin = FindRowOfFile(list, row);
    if (!twin) {
        row->detailsId = QueueRead(row->exePath, window, false);
        row->signerId = QueueRead(row->exePath, window, true);
        if (row->signerId && checkingText)
            StringCchCopyW(row->signer, ARRAYSIZE(row->signer), checkingText);
        return;
    }
    row->detailsId = twin->detailsId;
    row->signerId = twin->signerId;
    row->verified = twin->verified;
    StringCchCopyW(row->signer, ARRAYSIZE(row->signer), twin->signer);
    row->iconIndex = twin->iconIndex;
    StringCchCopyW(row->description, ARRAYSIZE(row->description), twin->description);
    StringCchCopyW(row->company, ARRAYSIZE(row->company), twin->company);
    StringCchCopyW(row->folder, ARRAYSIZE(row->folder), twin->folder);
}

void RequestRowReads(ProcessList* list, HWND window, const wchar_t* checkingText)
{
    // The folder table is filled lazily; fill it here, before another thread reads it.
    if (!folderTableResolved)
        ResolveFolderTokens();
    if (!signerCacheReady)
        signerCacheReady = InitSignerCache(&signers);
    for (int i = 0; i < list->rowCount; ++i) {
        if (!list->rows[i]->readsAsked)
            DescribeRow(list, list->rows[i], window, checkingText);
    }
}

bool TakeRowDetails(HWND window, LPARAM id, RowDetails* details)
{
    DetailsJob* job = (DetailsJob*)TakeFinishedJob(window, WM_ROW_DETAILS_READ, id);
    if (!job)
        return false;
    *details = job->details;
    HeapFree(GetProcessHeap(), 0, job);
    return true;
}

bool TakeRowSigner(HWND window, LPARAM id, SignerCheck* check)
{
    SignerJob* job = (SignerJob*)TakeFinishedJob(window, WM_ROW_SIGNER_CHECKED, id);
    if (!job)
        return false;
    *check = job->check;
    HeapFree(GetProcessHeap(), 0, job);
    return true;
}

SignerCache* ReadsLaneSignerCache()
{
    return signerCacheReady ? &signers : NULL;
}

bool AreRowDetailsPending()
{
    return IsJobLaneBusy(LANE_READS);
}
