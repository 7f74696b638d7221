// The files of one report, each read once: a file shared by many processes,
// modules and startup entries has its version strings, digests and signer
// read the first time it is asked for and answered from here after. Kept
// for one report only (a moment), so no change of the file is watched for.
// One thread.
#pragma once
#include <windows.h>
#include "lookup/file_evidence.h"

struct ReportFile {
    wchar_t path[MAX_PATH];
    wchar_t readable[MAX_PATH + 8];
    FileEvidence evidence;
};

struct ReportFiles {
    ReportFile* files;  // heap memory, grown as files come
    int count;
    int capacity;
    int* slots;         // open addressing over `files`, -1 empty; twice the capacity
    unsigned long long bytesRead;
    int reads;          // files read: `count`, and any path too long to keep each time it came
};

void StartReportFiles(ReportFiles* files);
void FreeReportFiles(ReportFiles* files);
// The reader to hand the sheets: `context` is the ReportFiles.
FileEvidenceSource ReportFilesSource(ReportFiles* files);
