#include "app/report_json.h"
#include <string.h>
#include <strsafe.h>

void SinkJsonString(ReportSink* sink, const wchar_t* text)
{
    SinkBytes(sink, "\"", 1);
    const wchar_t* run = text;
    for (const wchar_t* at = text;; ++at) {
        wchar_t c = *at;
        if (c != L'\0' && c != L'"' && c != L'\\' && c >= 0x20)
            continue;
        // Runs break only at ASCII, so a surrogate pair stays whole.
        SinkWide(sink, run, (size_t)(at - run));
        if (c == L'\0')
            break;
        char escaped[8];
        if (c == L'"' || c == L'\\')
            StringCchPrintfA(escaped, ARRAYSIZE(escaped), "\\%c", (char)c);
        else
            StringCchPrintfA(escaped, ARRAYSIZE(escaped), "\\u%04x", (unsigned int)c);
        SinkText(sink, escaped);
        run = at + 1;
    }
    SinkBytes(sink, "\"", 1);
}

static void SinkName(ReportSink* sink, const char* name)
{
    SinkText(sink, "\"");
    SinkText(sink, name);
    SinkText(sink, "\": ");
}

static void SinkFieldValue(ReportSink* sink, const ReportField* field)
{
    char number[24];
    if (!field->known) {
        SinkText(sink, "null");
    } else if (field->kind == FIELD_TEXT) {
        SinkJsonString(sink, field->text);
    } else if (field->kind == FIELD_FLAG) {
        SinkText(sink, field->number ? "true" : "false");
    } else {
        StringCchPrintfA(number, ARRAYSIZE(number), "%llu", field->number);
        SinkText(sink, number);
    }
}

// The fields in order, a group's fields inside an object of the group's name.
static void SinkFields(ReportSink* sink, const ReportFields* fields)
{
    const char* group = NULL;
    for (int i = 0; i < fields->count; ++i) {
        const ReportField* field = &fields->field[i];
        if (group && (!field->group || strcmp(group, field->group) != 0)) {
            SinkText(sink, "}");
            group = NULL;
        }
        if (i)
            SinkText(sink, ", ");
        if (field->group && !group) {
            group = field->group;
            SinkName(sink, group);
            SinkText(sink, "{");
        }
        SinkName(sink, field->name);
        SinkFieldValue(sink, field);
    }
    if (group)
        SinkText(sink, "}");
}

static void SinkTextList(ReportSink* sink, const char* name, const ReportList* list, const char* member)
{
    SinkText(sink, ", ");
    SinkName(sink, name);
    SinkText(sink, "[");
    for (int i = 0; i < list->count; ++i) {
        if (i)
            SinkText(sink, ", ");
        if (member) {
            SinkText(sink, "{");
            SinkName(sink, member);
        }
        SinkJsonString(sink, list->text[i]);
        if (member)
            SinkText(sink, "}");
    }
    SinkText(sink, "]");
}

static void SinkHeaderText(ReportSink* sink, const char* name, const wchar_t* text)
{
    SinkName(sink, name);
    if (text && text[0])
        SinkJsonString(sink, text);
    else
        SinkText(sink, "null");
    SinkText(sink, ",\n");
}

void BeginJsonReport(JsonReport* report, ReportSink* sink, const ReportHeader* header)
{
    ZeroMemory(report, sizeof(*report));
    report->sink = sink;
    SinkText(sink, "{\n");
    SinkHeaderText(sink, "tool", L"Tavrowen 2");
    SinkHeaderText(sink, "version", header->version);
    SinkHeaderText(sink, "computer", header->computer);
    SinkHeaderText(sink, "user", header->user);
    SinkName(sink, "elevated");
    SinkText(sink, header->elevated ? "true,\n" : "false,\n");
    SinkHeaderText(sink, "windows", header->windows);
    SinkHeaderText(sink, "created", header->created);
    SinkText(sink, "\"processes\": [");
}

static void SinkModules(ReportSink* sink, const ReportProcess* process, ReportFields* fields)
{
    SinkText(sink, ", \"modules\": [");
    for (int i = 0; i < process->moduleCount; ++i) {
        DescribeReportModule(&process->modules[i], fields);
        SinkText(sink, i ? ",\n    {" : "\n    {");
        SinkFields(sink, fields);
        SinkTextList(sink, "notes", &fields->notes, NULL);
        SinkText(sink, "}");
    }
    SinkText(sink, "]");
}

void WriteJsonProcess(JsonReport* report, const ReportProcess* process, int isNew)
{
    ReportSink* sink = report->sink;
    ReportFields* fields = DescribeReportProcessOnHeap(process, isNew, sink);
    if (!fields)
        return;
    SinkText(sink, report->processes++ ? ",\n  {" : "\n  {");
    SinkFields(sink, fields);
    SinkTextList(sink, "runs", &fields->runs, "path");
    SinkTextList(sink, "notes", &fields->notes, NULL);
    SinkModules(sink, process, fields);
    SinkText(sink, "}");
    HeapFree(GetProcessHeap(), 0, fields);
}

static void EnterStartup(JsonReport* report)
{
    if (!report->inStartup)
        SinkText(report->sink, "\n],\n\"startup\": [");
    report->inStartup = true;
}

void WriteJsonStartup(JsonReport* report, const ReportStartup* entry, int isNew)
{
    ReportSink* sink = report->sink;
    EnterStartup(report);
    ReportFields fields;
    DescribeReportStartup(entry, isNew, &fields);
    SinkText(sink, report->startup++ ? ",\n  {" : "\n  {");
    SinkFields(sink, &fields);
    SinkTextList(sink, "notes", &fields.notes, NULL);
    SinkText(sink, "}");
}

void EndJsonReport(JsonReport* report)
{
    EnterStartup(report);
    SinkText(report->sink, "\n]\n}\n");
}
