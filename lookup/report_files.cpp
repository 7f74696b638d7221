#include "lookup/report_files.h"
#include <strsafe.h>
#include "core/file_name_case.h"
#include "lookup/version_strings.h"

static const int FIRST_CAPACITY = 256;

void StartReportFiles(ReportFiles* files)
{
    ZeroMemory(files, sizeof(*files));
    InitializeCriticalSection(&files->lock);
    for (int i = 0; i < REPORT_FILE_READERS; ++i)
        InitializeCriticalSection(&files->reading[i]);
}

void FreeReportFiles(ReportFiles* files)
{
    if (files->files)
        HeapFree(GetProcessHeap(), 0, files->files);
    if (files->slots)
        HeapFree(GetProcessHeap(), 0, files->slots);
    DeleteCriticalSection(&files->lock);
    for (int i = 0; i < REPORT_FILE_READERS; ++i)
        DeleteCriticalSection(&files->reading[i]);
    ZeroMemory(files, sizeof(*files));
}

// Letters A to Z folded: names the file system folds otherwise share a slot's
// chain and are told apart by EqualAsFileNames.
static unsigned int HashPath(const wchar_t* path)
{
    unsigned int hash = 2166136261u;
    for (; *path; ++path) {
        wchar_t c = *path;
        if (c >= L'a' && c <= L'z')
            c = (wchar_t)(c - L'a' + L'A');
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

static void PlaceInSlots(ReportFiles* files, int index)
{
    unsigned int mask = (unsigned int)(files->capacity * 2 - 1);
    unsigned int slot = HashPath(files->files[index].path) & mask;
    while (files->slots[slot] >= 0)
        slot = (slot + 1) & mask;
    files->slots[slot] = index;
}

// Twice the room (a power of two), the slots laid anew.
static bool GrowReportFiles(ReportFiles* files)
{
    HANDLE heap = GetProcessHeap();
    int capacity = files->capacity ? files->capacity * 2 : FIRST_CAPACITY;
    if (capacity > (1 << 20))
        return false;
    void* grown = files->files ? HeapReAlloc(heap, 0, files->files, capacity * sizeof(ReportFile))
                               : HeapAlloc(heap, 0, capacity * sizeof(ReportFile));
    int* slots = (int*)HeapAlloc(heap, 0, capacity * 2 * sizeof(int));
    if (!grown || !slots) {
        if (grown)
            files->files = (ReportFile*)grown;
        if (slots)
            HeapFree(heap, 0, slots);
        return false;
    }
    files->files = (ReportFile*)grown;
    if (files->slots)
        HeapFree(heap, 0, files->slots);
    files->slots = slots;
    files->capacity = capacity;
    FillMemory(slots, capacity * 2 * sizeof(int), 0xFF);
    for (int i = 0; i < files->count; ++i)
        PlaceInSlots(files, i);
    return true;
}

// The file's index, or -1.
static int FindReportFile(const ReportFiles* files, const wchar_t* path)
{
    if (!files->capacity)
        return -1;
    unsigned int mask = (unsigned int)(files->capacity * 2 - 1);
    size_t length = wcslen(path);
    for (unsigned int slot = HashPath(path) & mask; files->slots[slot] >= 0; slot = (slot + 1) & mask) {
        const ReportFile* file = &files->files[files->slots[slot]];
        if (wcslen(file->path) == length && EqualAsFileNames(file->path, path, length))
            return files->slots[slot];
    }
    return -1;
}

static void ReadEvidence(const wchar_t* path, const wchar_t* readable, FileEvidence* evidence)
{
    ZeroMemory(evidence, sizeof(*evidence));
    ReadSheetVersionStrings(readable, &evidence->version);
    ComputeFileDigests(readable, NULL, NULL, true, &evidence->digests);
    // The report's own table keeps the answer: the lane's cache is not asked.
    CheckFileSigner(path, NULL, &evidence->signer);
}

// Under the table's lock: the file kept, read by `reader` (-1: read already); its index, or -1 when not kept.
static int KeepReportFile(ReportFiles* files, const wchar_t* path, const wchar_t* readable, int reader)
{
    // A path too long to keep is read each time it comes: rare, and still right.
    if (wcslen(path) >= MAX_PATH || wcslen(readable) >= MAX_PATH + 8)
        return -1;
    if (files->count * 2 >= files->capacity && !GrowReportFiles(files))
        return -1;
    ReportFile* file = &files->files[files->count];
    StringCchCopyW(file->path, ARRAYSIZE(file->path), path);
    StringCchCopyW(file->readable, ARRAYSIZE(file->readable), readable);
    file->reader = reader;
    PlaceInSlots(files, files->count);
    return files->count++;
}

// Under the table's lock: a reading lock taken and entered, or -1 when all are held.
static int TakeReadingLock(ReportFiles* files)
{
    for (int i = 0; i < REPORT_FILE_READERS; ++i) {
        if (!files->readingTaken[i]) {
            files->readingTaken[i] = true;
            // A thread that waited on it may hold it a moment, needing nothing of ours.
            EnterCriticalSection(&files->reading[i]);
            return i;
        }
    }
    return -1;
}

// Under the table's lock: the file's index once no other thread reads it, or -1 when it is not kept.
static int FindReadReportFile(ReportFiles* files, const wchar_t* path)
{
    for (;;) {
        int index = FindReportFile(files, path);
        if (index < 0 || files->files[index].reader < 0)
            return index;
        int reader = files->files[index].reader;
        LeaveCriticalSection(&files->lock);
        EnterCriticalSection(&files->reading[reader]);
        LeaveCriticalSection(&files->reading[reader]);
        EnterCriticalSection(&files->lock);
    }
}

static void ReadReportFile(void* context, const wchar_t* path, const wchar_t* readable, FileEvidence* evidence)
{
    ReportFiles* files = (ReportFiles*)context;
    EnterCriticalSection(&files->lock);
    int index = FindReadReportFile(files, path);
    if (index >= 0) {
        *evidence = files->files[index].evidence;
        LeaveCriticalSection(&files->lock);
        return;
    }
    // Marked as being read, so that a thread asking for it meanwhile waits.
    int reader = TakeReadingLock(files);
    if (reader >= 0) {
        index = KeepReportFile(files, path, readable, reader);
        if (index < 0) {
            files->readingTaken[reader] = false;
            LeaveCriticalSection(&files->reading[reader]);
            reader = -1;
        }
    }
    LeaveCriticalSection(&files->lock);
    ReadEvidence(path, readable, evidence);
    EnterCriticalSection(&files->lock);
    ++files->reads;
    if (evidence->digests.valid)
        files->bytesRead += evidence->digests.size;
    // No reading lock was free: kept now, unless another thread has kept it meanwhile.
    if (index < 0 && FindReportFile(files, path) < 0)
        index = KeepReportFile(files, path, readable, -1);
    if (index >= 0) {
        files->files[index].evidence = *evidence;
        files->files[index].reader = -1;
    }
    if (reader >= 0) {
        files->readingTaken[reader] = false;
        LeaveCriticalSection(&files->reading[reader]);
    }
    LeaveCriticalSection(&files->lock);
}

FileEvidenceSource ReportFilesSource(ReportFiles* files)
{
    FileEvidenceSource source = {ReadReportFile, files};
    return source;
}
