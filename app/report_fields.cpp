#include "app/report_fields.h"
#include "app/report_sink.h"
#include <string.h>
#include <strsafe.h>

static ReportField* AddField(ReportFields* fields, const char* group, const char* name, ReportFieldKind kind)
{
    if (fields->count >= REPORT_FIELD_LIMIT)
        return NULL;
    ReportField* field = &fields->field[fields->count++];
    ZeroMemory(field, sizeof(*field));
    field->group = group;
    field->name = name;
    field->kind = kind;
    return field;
}

// Empty or NULL text is unknown.
static void AddText(ReportFields* fields, const char* group, const char* name, const wchar_t* text)
{
    ReportField* field = AddField(fields, group, name, FIELD_TEXT);
    if (field && text && text[0]) {
        field->known = true;
        field->text = text;
    }
}

static void AddNumber(ReportFields* fields, const char* name, bool known, unsigned long long number)
{
    ReportField* field = AddField(fields, NULL, name, FIELD_NUMBER);
    if (field) {
        field->known = known;
        field->number = number;
    }
}

static void AddNew(ReportFields* fields, int isNew)
{
    ReportField* field = AddField(fields, NULL, "new", FIELD_FLAG);
    if (field) {
        field->known = isNew >= 0;
        field->number = isNew > 0 ? 1 : 0;
    }
}

bool FormatUtcTime(unsigned long long fileTime, wchar_t* text, size_t capacity)
{
    FILETIME time;
    time.dwLowDateTime = (DWORD)fileTime;
    time.dwHighDateTime = (DWORD)(fileTime >> 32);
    SYSTEMTIME utc;
    text[0] = L'\0';
    return fileTime && FileTimeToSystemTime(&time, &utc) &&
           SUCCEEDED(StringCchPrintfW(text, capacity, L"%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth,
                                      utc.wDay, utc.wHour, utc.wMinute, utc.wSecond));
}

static void AddDigests(ReportFields* fields, const FileFingerprint* digests)
{
    bool valid = digests && digests->valid;
    AddText(fields, NULL, "md5", valid ? digests->digestHex : NULL);
    AddText(fields, NULL, "sha256", valid ? digests->sha256Hex : NULL);
}

static void AddVersion(ReportFields* fields, const SheetVersionStrings* version)
{
    AddText(fields, "version", "fileVersion", version ? version->fileVersion : NULL);
    AddText(fields, "version", "product", version ? version->product : NULL);
    AddText(fields, "version", "company", version ? version->company : NULL);
    AddText(fields, "version", "description", version ? version->description : NULL);
    AddText(fields, "version", "originalName", version ? version->originalName : NULL);
}

static const wchar_t* VerdictName(SignerVerdict verdict)
{
    switch (verdict) {
    case SIGNER_VERIFIED: return L"verified";
    case SIGNER_UNTRUSTED: return L"untrusted";
    case SIGNER_CANNOT_CHECK: return L"cannotCheck";
    case SIGNER_NOT_VALID: return L"notValid";
    case SIGNER_UNREADABLE: return L"unreadable";
    default: return L"notSigned";
    }
}

static void AddSigner(ReportFields* fields, const SignerCheck* signer)
{
    AddText(fields, "signer", "name", signer ? signer->signer : NULL);
    AddText(fields, "signer", "verdict", signer ? VerdictName(signer->verdict) : NULL);
    const wchar_t* source = !signer ? NULL
                            : signer->source == SIGNER_FROM_EMBEDDED ? L"embedded"
                            : signer->source == SIGNER_FROM_CATALOG  ? L"catalog"
                                                                     : NULL;
    AddText(fields, "signer", "source", source);
}

static void AddListText(ReportList* list, const wchar_t* text)
{
    if (list->count < REPORT_LIST_LIMIT && text && text[0])
        list->text[list->count++] = text;
}

void DescribeReportProcess(const ReportProcess* report, int isNew, ReportFields* fields)
{
    ZeroMemory(fields, sizeof(*fields));
    const ProcessSheet* sheet = report->sheet;
    const ProcessFacts* process = &sheet->process;
    bool located = process->file.access != FILE_NOT_LOCATED && process->file.path[0];
    bool readable = process->file.access == FILE_READABLE;
    AddNew(fields, isNew);
    AddNumber(fields, "pid", true, process->processId);
    AddNumber(fields, "parentPid", process->parent != PARENT_UNKNOWN, process->parentId);
    AddText(fields, NULL, "name", process->imageName);
    AddText(fields, NULL, "path", located ? process->file.path : NULL);
    AddText(fields, NULL, "commandLine", process->commandLine);
    FormatUtcTime(process->startTime, fields->started, ARRAYSIZE(fields->started));
    AddText(fields, NULL, "started", fields->started);
    AddText(fields, NULL, "user", process->user);
    AddDigests(fields, sheet->digestsRead ? &sheet->digests : NULL);
    AddNumber(fields, "size", process->file.attributes != INVALID_FILE_ATTRIBUTES || readable, process->file.size);
    AddVersion(fields, sheet->versionRead && readable ? &sheet->version : NULL);
    AddSigner(fields, sheet->signerRead && readable ? &sheet->signer : NULL);
    for (size_t i = 0; i < sheet->runsFileCount; ++i)
        AddListText(&fields->runs, sheet->runsFiles[i]);
    for (int i = 0; sheet->notesRead && i < sheet->notes.count && i < FILE_NOTE_RULES; ++i)
        AddListText(&fields->notes, sheet->notes.text[i]);
    for (int i = 0; i < sheet->parentNotes.count && i < PARENT_NOTE_RULES; ++i)
        AddListText(&fields->notes, sheet->parentNotes.text[i]);
}

void DescribeReportModule(const ReportModule* module, ReportFields* fields)
{
    ZeroMemory(fields, sizeof(*fields));
    AddText(fields, NULL, "path", module->path);
    AddDigests(fields, module->evidenceRead ? &module->digests : NULL);
    AddSigner(fields, module->evidenceRead ? &module->signer : NULL);
    for (int i = 0; i < module->notes.count && i < MODULE_NOTE_RULES; ++i)
        AddListText(&fields->notes, module->notes.text[i]);
}

void DescribeReportStartup(const ReportStartup* report, int isNew, ReportFields* fields)
{
    ZeroMemory(fields, sizeof(*fields));
    const StartupEntry* entry = report->entry;
    bool judged = report->evidence->path[0] != L'\0';
    AddNew(fields, isNew);
    AddText(fields, NULL, "entry", entry->entry);
    AddText(fields, NULL, "location", entry->location);
    AddText(fields, NULL, "command", entry->command);
    AddText(fields, NULL, "state", entry->enabled ? L"enabled" : L"disabled");
    AddText(fields, NULL, "path", judged ? report->evidence->path : entry->programFound ? entry->program : NULL);
    AddDigests(fields, judged ? &report->file->digests : NULL);
    AddNumber(fields, "size", judged && report->file->digests.valid, report->file->digests.size);
    AddVersion(fields, judged ? &report->file->version : NULL);
    AddSigner(fields, judged ? &report->file->signer : NULL);
    for (int i = 0; i < report->notes->count && i < STARTUP_NOTE_RULES; ++i)
        AddListText(&fields->notes, report->notes->text[i]);
}

const ReportField* FindReportField(const ReportFields* fields, const char* group, const char* name)
{
    for (int i = 0; i < fields->count; ++i) {
        const ReportField* field = &fields->field[i];
        bool sameGroup = (!group && !field->group) || (group && field->group && strcmp(group, field->group) == 0);
        if (sameGroup && strcmp(name, field->name) == 0)
            return field;
    }
    return NULL;
}

ReportFields* DescribeReportProcessOnHeap(const ReportProcess* process, int isNew, ReportSink* sink)
{
    ReportFields* fields = (ReportFields*)HeapAlloc(GetProcessHeap(), 0, sizeof(ReportFields));
    if (!fields) {
        sink->failed = true;
        sink->error = ERROR_NOT_ENOUGH_MEMORY;
        return NULL;
    }
    DescribeReportProcess(process, isNew, fields);
    return fields;
}
