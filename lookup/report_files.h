// The files of one report, each read once: a file shared by many processes,
// modules and startup entries has its version strings, digests and signer
// read the first time it is asked for and answered from here after. Kept
// for one report only (a moment), so no change of the file is watched for.
// Any number of threads: a file asked for while another thread reads it is
// waited for, not read again.
#pragma once
#include <windows.h>
#include "lookup/file_evidence.h"

// Threads that may read files at once: with more, a file may be read twice.
static const int REPORT_FILE_READERS = 16;

struct ReportFile {
    wchar_t path[MAX_PATH];
    wchar_t readable[MAX_PATH + 8];
    int reader;         // the reading lock held while its evidence is read; -1: read
    FileEvidence evidence;
};

struct ReportFiles {
    ReportFile* files;  // heap memory, grown as files come
    int count;
    int capacity;
    int* slots;         // open addressing over `files`, -1 empty; twice the capacity
    unsigned long long bytesRead;
    int reads;          // files read: `count`, and any path too long to keep each time it came
    CRITICAL_SECTION lock;  // over all of the above
    // Each held by the thread reading a file; a thread that wants that file waits on it.
    CRITICAL_SECTION reading[REPORT_FILE_READERS];
    bool readingTaken[REPORT_FILE_READERS];
};

void StartReportFiles(ReportFiles* files);
void FreeReportFiles(ReportFiles* files);
// The reader to hand the sheets: `context` is the ReportFiles.
FileEvidenceSource ReportFilesSource(ReportFiles* files);
