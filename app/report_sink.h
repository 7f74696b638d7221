// The report's bytes on their way to a file: UTF-8 from our wide text, in
// blocks, with an unpaired surrogate written as U+FFFD so that every byte
// is valid UTF-8. One thread.
#pragma once
#include <windows.h>

const size_t REPORT_SINK_BUFFER = 65536;

struct ReportSink {
    HANDLE file;
    bool failed;      // a write failed: the report is not whole
    DWORD error;
    size_t used;
    char buffer[REPORT_SINK_BUFFER];
};

void StartReportSink(ReportSink* sink, HANDLE file);
// Bytes as they are (ASCII our code wrote).
void SinkBytes(ReportSink* sink, const char* bytes, size_t count);
void SinkText(ReportSink* sink, const char* text);
// One UTF-16 code unit sequence as UTF-8.
void SinkWide(ReportSink* sink, const wchar_t* text, size_t length);
// What is buffered, to the file; false when anything failed.
bool FlushReportSink(ReportSink* sink);

// The code point at text[*at] (of `length`), *at moved past it; an unpaired
// surrogate gives U+FFFD. Pure.
unsigned int NextCodePoint(const wchar_t* text, size_t length, size_t* at);
