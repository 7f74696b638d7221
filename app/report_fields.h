// A report's item (a process, a module or a startup entry) as named fields,
// the one description both writers (app/report_json, app/report_csv) take,
// so the two formats cannot tell different things. Pure, but for the text
// that names a signer's verdict; any thread.
#pragma once
#include <windows.h>
#include "lookup/report_reads.h"

enum ReportFieldKind { FIELD_TEXT, FIELD_NUMBER, FIELD_FLAG };

struct ReportField {
    const char* group;  // "version", "signer", or NULL: the item's own
    const char* name;
    ReportFieldKind kind;
    bool known;         // false: null
    const wchar_t* text;
    unsigned long long number;  // a flag: 0 or 1
};

const int REPORT_FIELD_LIMIT = 32;
const int REPORT_LIST_LIMIT = 32;

// Lists of texts: "notes", and the paths a process runs.
struct ReportList {
    int count;
    const wchar_t* text[REPORT_LIST_LIMIT];
};

struct ReportFields {
    int count;
    ReportField field[REPORT_FIELD_LIMIT];
    ReportList runs;
    ReportList notes;
    wchar_t started[32];
};

// isNew: 1 new since the baseline, 0 not, -1 no baseline given.
void DescribeReportProcess(const ReportProcess* process, int isNew, ReportFields* fields);
// The same on the process heap (a process's fields are large): NULL, and the
// sink marked failed, when there is no memory. Freed with HeapFree.
struct ReportSink;
ReportFields* DescribeReportProcessOnHeap(const ReportProcess* process, int isNew, ReportSink* sink);
void DescribeReportModule(const ReportModule* module, ReportFields* fields);
void DescribeReportStartup(const ReportStartup* entry, int isNew, ReportFields* fields);

// The field of that group and name; NULL when the item has none.
const ReportField* FindReportField(const ReportFields* fields, const char* group, const char* name);

// A FILETIME (UTC) as "yyyy-mm-ddThh:mm:ssZ"; false when it cannot be converted.
bool FormatUtcTime(unsigned long long fileTime, wchar_t* text, size_t capacity);
