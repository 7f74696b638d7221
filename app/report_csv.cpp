#include "app/report_csv.h"
#include <strsafe.h>
#include <wchar.h>

struct CsvColumn {
    const char* title;
    const char* group;
    const char* name;
};

static const CsvColumn columns[] = {
    {"new", NULL, "new"},
    {"pid", NULL, "pid"},
    {"parentPid", NULL, "parentPid"},
    {"name", NULL, "name"},
    {"entry", NULL, "entry"},
    {"location", NULL, "location"},
    {"state", NULL, "state"},
    {"path", NULL, "path"},
    {"commandLine", NULL, "commandLine"},
    {"command", NULL, "command"},
    {"started", NULL, "started"},
    {"user", NULL, "user"},
    {"md5", NULL, "md5"},
    {"sha256", NULL, "sha256"},
    {"size", NULL, "size"},
    {"fileVersion", "version", "fileVersion"},
    {"product", "version", "product"},
    {"company", "version", "company"},
    {"description", "version", "description"},
    {"originalName", "version", "originalName"},
    {"signer", "signer", "name"},
    {"signerVerdict", "signer", "verdict"},
    {"signerSource", "signer", "source"},
};

void SinkCsvCell(ReportSink* sink, const wchar_t* text)
{
    bool quoted = wcspbrk(text, L",\"\r\n") != NULL;
    if (quoted)
        SinkBytes(sink, "\"", 1);
    // A name or command line a process chose is never taken for a formula.
    if (text[0] && wcschr(L"=+-@", text[0]))
        SinkBytes(sink, "'", 1);
    for (const wchar_t* at = text; *at; ++at) {
        const wchar_t* quote = wcschr(at, L'"');
        size_t length = quote ? (size_t)(quote - at) : wcslen(at);
        SinkWide(sink, at, length);
        if (!quote)
            break;
        SinkBytes(sink, "\"\"", 2);
        at = quote;
    }
    if (quoted)
        SinkBytes(sink, "\"", 1);
}

static void SinkCsvField(ReportSink* sink, const ReportField* field)
{
    char number[24];
    if (!field || !field->known)
        return;
    if (field->kind == FIELD_TEXT) {
        SinkCsvCell(sink, field->text);
    } else if (field->kind == FIELD_FLAG) {
        if (field->number)
            SinkText(sink, "new");
    } else {
        StringCchPrintfA(number, ARRAYSIZE(number), "%llu", field->number);
        SinkText(sink, number);
    }
}

// A list joined by "; " in one cell.
static void SinkCsvList(ReportSink* sink, const ReportList* list)
{
    size_t length = 0;
    for (int i = 0; i < list->count; ++i)
        length += wcslen(list->text[i]) + 2;
    wchar_t* joined = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(wchar_t));
    if (!joined) {
        sink->failed = true;
        sink->error = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    for (int i = 0; i < list->count; ++i) {
        if (i)
            StringCchCatW(joined, length + 1, L"; ");
        StringCchCatW(joined, length + 1, list->text[i]);
    }
    SinkCsvCell(sink, joined);
    HeapFree(GetProcessHeap(), 0, joined);
}

void BeginCsvReport(ReportSink* sink)
{
    SinkText(sink, "\xEF\xBB\xBFkind");
    for (size_t i = 0; i < ARRAYSIZE(columns); ++i) {
        SinkText(sink, ",");
        SinkText(sink, columns[i].title);
    }
    SinkText(sink, ",runs,notes\r\n");
}

static void SinkCsvRow(ReportSink* sink, const char* kind, const ReportFields* fields)
{
    SinkText(sink, kind);
    for (size_t i = 0; i < ARRAYSIZE(columns); ++i) {
        SinkText(sink, ",");
        SinkCsvField(sink, FindReportField(fields, columns[i].group, columns[i].name));
    }
    SinkText(sink, ",");
    SinkCsvList(sink, &fields->runs);
    SinkText(sink, ",");
    SinkCsvList(sink, &fields->notes);
    SinkText(sink, "\r\n");
}

void WriteCsvProcess(ReportSink* sink, const ReportProcess* process, int isNew)
{
    ReportFields* fields = DescribeReportProcessOnHeap(process, isNew, sink);
    if (!fields)
        return;
    SinkCsvRow(sink, "process", fields);
    HeapFree(GetProcessHeap(), 0, fields);
}

void WriteCsvStartup(ReportSink* sink, const ReportStartup* entry, int isNew)
{
    ReportFields fields;
    DescribeReportStartup(entry, isNew, &fields);
    SinkCsvRow(sink, "startup", &fields);
}
