// The report as one UTF-8 JSON document (docs/report-schema.json): a
// header, then "processes" and "startup", written item by item as they are
// read. Every string escaped (quotes, backslashes, control characters), an
// unpaired surrogate written as U+FFFD. One thread.
#pragma once
#include <windows.h>
#include "app/report_fields.h"
#include "app/report_sink.h"

struct ReportHeader {
    const wchar_t* version;
    const wchar_t* computer;  // NULL or empty: unknown
    const wchar_t* user;
    bool elevated;
    const wchar_t* windows;   // "major.minor.build"
    const wchar_t* created;   // ISO 8601 UTC
};

struct JsonReport {
    ReportSink* sink;
    int processes;  // written so far
    int startup;
    bool inStartup;
};

void BeginJsonReport(JsonReport* report, ReportSink* sink, const ReportHeader* header);
void WriteJsonProcess(JsonReport* report, const ReportProcess* process, int isNew);
void WriteJsonStartup(JsonReport* report, const ReportStartup* entry, int isNew);
void EndJsonReport(JsonReport* report);

// A JSON string, quoted and escaped.
void SinkJsonString(ReportSink* sink, const wchar_t* text);
