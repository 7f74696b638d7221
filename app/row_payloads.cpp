#include "app/row_payloads.h"
#include <strsafe.h>
#include "app/row_details.h"
#include "core/background_jobs.h"
#include "core/process_command_line.h"
#include "core/signer_check.h"
#include "lookup/process_sheet.h"

struct PayloadJob {
    DWORD processId;
    ULONGLONG processStarted;  // the row's creation time
    wchar_t image[MAX_PATH];  // the image name, which picks the parser
    RowPayload* payload;      // filled in by the job
};

struct PayloadSignerJob {
    int count;
    wchar_t paths[HOST_PAYLOAD_FILES][MAX_PATH];
    SignerCheck checks[HOST_PAYLOAD_FILES];
};

// A heap copy of the text, as long as it is; NULL when memory ran out.
static wchar_t* CopyText(const wchar_t* text)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(text, COMMAND_LINE_CAPACITY, &length)))
        return NULL;
    wchar_t* copy = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
    if (copy)
        StringCchCopyW(copy, length + 1, text);
    return copy;
}

static void ReadPayload(void* record, const volatile LONG* stop)
{
    PayloadJob* job = (PayloadJob*)record;
    // The line and the parsed payload are large, and short-lived: the row keeps copies.
    struct Scratch {
        wchar_t line[COMMAND_LINE_CAPACITY];
        HostPayload payload;
    };
    Scratch* scratch = (Scratch*)HeapAlloc(GetProcessHeap(), 0, sizeof(Scratch));
    RowPayload* payload = (RowPayload*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RowPayload));
    if (!scratch || !payload) {
        if (scratch)
            HeapFree(GetProcessHeap(), 0, scratch);
        FreeRowPayload(payload);
        return;
    }
    // One handle for the line and the payload, opened only for the process the
    // row listed: a newer one under its PID lends it nothing.
    unsigned long long started = 0;
    HANDLE process = OpenListedProcess(job->processId, job->processStarted, &started);
    bool newer = !process && started != 0;
    scratch->line[0] = L'\0';
    ZeroMemory(&scratch->payload, sizeof(scratch->payload));
    if (process)
        ReadProcessCommandLineOf(process, scratch->line);
    else if (!newer)
        ReadProcessCommandLine(job->processId, scratch->line);
    if (!*stop && process)
        ReadHostPayloadOfProcess(process, job->processId, job->processStarted, job->image, scratch->line,
                                 &scratch->payload);
    else if (!*stop && !newer)
        ReadRowHostPayload(job->processId, job->processStarted, job->image, scratch->line, &scratch->payload);
    if (process)
        CloseHandle(process);
    payload->commandLine = CopyText(scratch->line);
    payload->runs = CopyText(scratch->payload.runs);
    payload->text = CopyText(scratch->payload.text);
    payload->textKind = scratch->payload.textKind;
    payload->unknown = scratch->payload.unknown || !payload->commandLine || newer;
    for (size_t i = 0; i < scratch->payload.fileCount && i < HOST_PAYLOAD_FILES; ++i) {
        wchar_t* path = CopyText(scratch->payload.files[i]);
        if (path)
            payload->files[payload->fileCount++].path = path;
    }
    HeapFree(GetProcessHeap(), 0, scratch);
    job->payload = payload;
}

static void ReleasePayloadJob(void* record)
{
    FreeRowPayload(((PayloadJob*)record)->payload);
    HeapFree(GetProcessHeap(), 0, record);
}

static void CheckPayloadSigners(void* record, const volatile LONG* stop)
{
    PayloadSignerJob* job = (PayloadSignerJob*)record;
    for (int i = 0; i < job->count && !*stop; ++i)
        CheckFileSigner(job->paths[i], ReadsLaneSignerCache(), &job->checks[i]);
}

static void FreeRecord(void* record)
{
    HeapFree(GetProcessHeap(), 0, record);
}

static void AskPayload(ProcessRow* row, HWND window)
{
    row->payloadAsked = true;
    PayloadJob* job = (PayloadJob*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PayloadJob));
    if (!job)
        return;
    job->processId = row->processId;
    job->processStarted = row->createdAt;
    StringCchCopyW(job->image, ARRAYSIZE(job->image), row->imageName);
    row->payloadId = QueueWindowJob(window, WM_ROW_PAYLOAD_READ, LANE_READS, JOB_FIRST, ReadPayload, ReleasePayloadJob, job);
}

void RequestRowPayloads(ProcessList* list, HWND window)
{
    for (int i = 0; i < list->rowCount; ++i) {
        // The system's idle process has no command line and runs nothing.
        if (!list->rows[i]->payloadAsked && list->rows[i]->processId != 0)
            AskPayload(list->rows[i], window);
    }
}

static ProcessRow* FindRowOfJob(ProcessList* list, LONG id, bool signers)
{
    for (int i = 0; id && i < list->rowCount; ++i) {
        if ((signers ? list->rows[i]->payloadSignerId : list->rows[i]->payloadId) == id)
            return list->rows[i];
    }
    return NULL;
}

// The payload files' signers, checked after every row's details and signer.
static void AskPayloadSigners(ProcessRow* row, HWND window)
{
    const RowPayload* payload = row->payload;
    // Unknown stays unverified, whatever the files' signers say.
    row->payloadUnverified = payload->unknown || payload->fileCount > 0;
    if (payload->fileCount == 0)
        return;
    PayloadSignerJob* job = (PayloadSignerJob*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PayloadSignerJob));
    if (!job)
        return;
    for (int i = 0; i < payload->fileCount; ++i)
        StringCchCopyW(job->paths[job->count++], MAX_PATH, payload->files[i].path);
    row->payloadSignerId =
        QueueWindowJob(window, WM_ROW_PAYLOAD_CHECKED, LANE_READS, JOB_LATER, CheckPayloadSigners, FreeRecord, job);
}

ProcessRow* TakeRowPayload(ProcessList* list, HWND window, LPARAM id)
{
    bool ran = false;
    PayloadJob* job = (PayloadJob*)TakeJobResult(window, WM_ROW_PAYLOAD_READ, id, &ran);
    if (!job)
        return NULL;
    // Not read (no thread could be had): what it runs is not known.
    if (!ran && !job->payload) {
        job->payload = (RowPayload*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RowPayload));
        if (job->payload)
            job->payload->unknown = true;
    }
    ProcessRow* row = FindRowOfJob(list, (LONG)id, false);
    if (row && job->payload) {
        row->payloadId = 0;
        FreeRowPayload(row->payload);
        row->payload = job->payload;
        job->payload = NULL;
        AskPayloadSigners(row, window);
    }
    ReleasePayloadJob(job);
    return row;
}

ProcessRow* TakePayloadSigners(ProcessList* list, HWND window, LPARAM id)
{
    bool ran = false;
    PayloadSignerJob* job = (PayloadSignerJob*)TakeJobResult(window, WM_ROW_PAYLOAD_CHECKED, id, &ran);
    if (!job)
        return NULL;
    ProcessRow* row = FindRowOfJob(list, (LONG)id, true);
    if (row && row->payload) {
        row->payloadSignerId = 0;
        // Unchecked files (no thread could be had) are not verified ones.
        bool unverified = row->payload->unknown || !ran;
        for (int i = 0; ran && i < row->payload->fileCount && i < job->count; ++i) {
            PayloadFile* file = &row->payload->files[i];
            wchar_t line[SIGNER_NAME_CAPACITY + 32];
            FormatSignerText(&job->checks[i], line, ARRAYSIZE(line));
            if (file->signer)
                HeapFree(GetProcessHeap(), 0, file->signer);
            file->signer = CopyText(line);
            file->verified = job->checks[i].verdict == SIGNER_VERIFIED;
            unverified = unverified || !file->verified;
        }
        row->payloadUnverified = unverified;
    }
    HeapFree(GetProcessHeap(), 0, job);
    return row;
}
