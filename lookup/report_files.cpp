#include "lookup/report_files.h"
#include <strsafe.h>
#include "core/file_name_case.h"
#include "lookup/version_strings.h"

static const int FIRST_CAPACITY = 256;

void StartReportFiles(ReportFiles* files)
{
    ZeroMemory(files, sizeof(*files));
}

void FreeReportFiles(ReportFiles* files)
{
    if (files->files)
        HeapFree(GetProcessHeap(), 0, files->files);
    if (files->slots)
        HeapFree(GetProcessHeap(), 0, files->slots);
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

static const ReportFile* FindReportFile(const ReportFiles* files, const wchar_t* path)
{
    if (!files->capacity)
        return NULL;
    unsigned int mask = (unsigned int)(files->capacity * 2 - 1);
    size_t length = wcslen(path);
    for (unsigned int slot = HashPath(path) & mask; files->slots[slot] >= 0; slot = (slot + 1) & mask) {
        const ReportFile* file = &files->files[files->slots[slot]];
        if (wcslen(file->path) == length && EqualAsFileNames(file->path, path, length))
            return file;
    }
    return NULL;
}

static void ReadEvidence(const wchar_t* path, const wchar_t* readable, FileEvidence* evidence)
{
    ZeroMemory(evidence, sizeof(*evidence));
    ReadSheetVersionStrings(readable, &evidence->version);
    ComputeFileDigests(readable, NULL, NULL, true, &evidence->digests);
    // The report's own table keeps the answer: the lane's cache is not asked.
    CheckFileSigner(path, NULL, &evidence->signer);
}

static void ReadReportFile(void* context, const wchar_t* path, const wchar_t* readable, FileEvidence* evidence)
{
    ReportFiles* files = (ReportFiles*)context;
    const ReportFile* known = FindReportFile(files, path);
    if (known) {
        *evidence = known->evidence;
        return;
    }
    ReadEvidence(path, readable, evidence);
    ++files->reads;
    if (evidence->digests.valid)
        files->bytesRead += evidence->digests.size;
    // A path too long to keep is read each time it comes: rare, and still right.
    if (wcslen(path) >= MAX_PATH || wcslen(readable) >= MAX_PATH + 8)
        return;
    if (files->count * 2 >= files->capacity && !GrowReportFiles(files))
        return;
    ReportFile* file = &files->files[files->count];
    StringCchCopyW(file->path, ARRAYSIZE(file->path), path);
    StringCchCopyW(file->readable, ARRAYSIZE(file->readable), readable);
    file->evidence = *evidence;
    PlaceInSlots(files, files->count++);
}

FileEvidenceSource ReportFilesSource(ReportFiles* files)
{
    FileEvidenceSource source = {ReadReportFile, files};
    return source;
}
