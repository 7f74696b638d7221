#include "lookup/property_sheet.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/plain_text.h"

static const wchar_t READING[] = L"Reading...";
static const size_t LINE_CAPACITY = 1024;

// The sheet as it is written: every line whole or not at all.
struct SheetWriter {
    wchar_t* text;
    size_t capacity;
    size_t length;
    bool complete;
};

static void AppendLine(SheetWriter* sheet, const wchar_t* label, const wchar_t* value)
{
    if (!value || !value[0])
        return;
    size_t labelLength = wcslen(label), valueLength = wcslen(value);
    size_t needed = labelLength + (labelLength ? 2 : 0) + valueLength + 2;
    if (sheet->length + needed >= sheet->capacity) {
        sheet->complete = false;
        return;
    }
    wchar_t* line = sheet->text + sheet->length;
    StringCchPrintfW(line, sheet->capacity - sheet->length, labelLength ? L"%s: %s\r\n" : L"%s%s\r\n", label, value);
    BlankControlCharacters(line, needed - 2);
    sheet->length += needed;
}

// A value not yet read: "Reading..." on a partial sheet, nothing on a whole one.
static void AppendPending(SheetWriter* sheet, bool partial, const wchar_t* label)
{
    if (partial)
        AppendLine(sheet, label, READING);
}

bool FormatLocalTime(unsigned long long fileTime, wchar_t* text, size_t capacity)
{
    FILETIME utc, local;
    SYSTEMTIME time;
    utc.dwLowDateTime = (DWORD)fileTime;
    utc.dwHighDateTime = (DWORD)(fileTime >> 32);
    if (!fileTime || !FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time))
        return false;
    return SUCCEEDED(StringCchPrintfW(text, capacity, L"%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth,
                                      time.wDay, time.wHour, time.wMinute, time.wSecond));
}

static void AppendProcessLines(SheetWriter* sheet, const PropertySheetInput* input, bool partial)
{
    const ProcessFacts* process = input->process;
    wchar_t line[LINE_CAPACITY];
    AppendLine(sheet, L"Process", process->imageName);
    StringCchPrintfW(line, ARRAYSIZE(line), L"%lu", process->processId);
    AppendLine(sheet, L"PID", line);
    if (!input->processRead) {
        AppendPending(sheet, partial, L"Parent");
        AppendPending(sheet, partial, L"Started");
        AppendPending(sheet, partial, L"User");
    } else {
        line[0] = L'\0';
        if (process->parent == PARENT_RUNNING)
            StringCchPrintfW(line, ARRAYSIZE(line), L"%s (PID %lu)", process->parentName, process->parentId);
        else if (process->parent == PARENT_EXITED)
            StringCchCopyW(line, ARRAYSIZE(line), L"(exited)");
        AppendLine(sheet, L"Parent", line);
        if (FormatLocalTime(process->startTime, line, ARRAYSIZE(line)))
            AppendLine(sheet, L"Started", line);
        AppendLine(sheet, L"User", process->user);
    }
    if (input->commandLineRead)
        AppendLine(sheet, L"Command line", process->commandLine);
    else
        AppendPending(sheet, partial, L"Command line");
}

// The path, and why the file cannot be read where it cannot.
static void AppendFileLine(SheetWriter* sheet, const FileFacts* file)
{
    wchar_t line[LINE_CAPACITY];
    switch (file->access) {
    case FILE_NOT_LOCATED:
        StringCchCopyW(line, ARRAYSIZE(line), L"(cannot be located)");
        break;
    case FILE_READABLE:
        StringCchCopyW(line, ARRAYSIZE(line), file->path);
        break;
    case FILE_ACCESS_DENIED:
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (cannot be read: access denied)", file->path);
        break;
    case FILE_GONE:
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (cannot be read: the file is gone)", file->path);
        break;
    default:
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (cannot be read: error %lu)", file->path, file->accessError);
        break;
    }
    AppendLine(sheet, L"File", line);
}

static void AppendFileLines(SheetWriter* sheet, const PropertySheetInput* input, bool partial)
{
    const FileFacts* file = &input->process->file;
    wchar_t line[LINE_CAPACITY];
    if (!input->processRead) {
        AppendPending(sheet, partial, L"File");
    } else if (input->process->found) {
        AppendFileLine(sheet, file);
    }
    if (input->folderWithTokens)
        AppendLine(sheet, L"Folder", input->folderWithTokens);
    else
        AppendPending(sheet, partial, L"Folder");
    if (!input->processRead) {
        AppendPending(sheet, partial, L"Size");
    } else if (file->attributes != INVALID_FILE_ATTRIBUTES || file->access == FILE_READABLE) {
        StringCchPrintfW(line, ARRAYSIZE(line), L"%I64u bytes", file->size);
        AppendLine(sheet, L"Size", line);
    }
    if (!input->digests) {
        AppendPending(sheet, partial, L"MD5");
        AppendPending(sheet, partial, L"SHA-256");
    } else if (input->digests->valid) {
        AppendLine(sheet, L"MD5", input->digests->digestHex);
        AppendLine(sheet, L"SHA-256", input->digests->sha256Hex);
    }
}

static void AppendVersionLines(SheetWriter* sheet, const SheetVersionStrings* version, bool partial)
{
    static const wchar_t* const labels[] = {L"File version", L"Product", L"Company", L"Description", L"Original name"};
    const wchar_t* values[] = {NULL, NULL, NULL, NULL, NULL};
    if (version) {
        values[0] = version->fileVersion;
        values[1] = version->product;
        values[2] = version->company;
        values[3] = version->description;
        values[4] = version->originalName;
    }
    for (size_t i = 0; i < ARRAYSIZE(labels); ++i) {
        if (version)
            AppendLine(sheet, labels[i], values[i]);
        else
            AppendPending(sheet, partial, labels[i]);
    }
}

static void AppendSignerLine(SheetWriter* sheet, const SignerCheck* signer, bool partial)
{
    if (!signer) {
        AppendPending(sheet, partial, L"Verified signer");
        return;
    }
    wchar_t text[SIGNER_NAME_CAPACITY + 64], line[SIGNER_NAME_CAPACITY + 80];
    FormatSignerText(signer, text, ARRAYSIZE(text));
    if (signer->source == SIGNER_FROM_EMBEDDED)
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (embedded)", text);
    else if (signer->source == SIGNER_FROM_CATALOG)
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (catalog)", text);
    else
        StringCchCopyW(line, ARRAYSIZE(line), text);
    AppendLine(sheet, L"Verified signer", line);
}

// Every entry on the one line, with how many more were found than kept.
static void AppendLogonLine(SheetWriter* sheet, const LogonEntries* logon, bool partial)
{
    if (!logon) {
        AppendPending(sheet, partial, L"Starts at logon");
        return;
    }
    static wchar_t const separator[] = L"; ";
    wchar_t line[LOGON_ENTRY_CAPACITY * (LOGON_ENTRY_TEXT_CAPACITY + 2) + 32] = L"";
    for (int i = 0; i < logon->count && i < LOGON_ENTRY_CAPACITY; ++i) {
        if (i > 0)
            StringCchCatW(line, ARRAYSIZE(line), separator);
        StringCchCatW(line, ARRAYSIZE(line), logon->text[i]);
    }
    if (logon->total > logon->count && logon->count > 0) {
        wchar_t more[32];
        StringCchPrintfW(more, ARRAYSIZE(more), L"; and %d more", logon->total - logon->count);
        StringCchCatW(line, ARRAYSIZE(line), more);
    }
    AppendLine(sheet, L"Starts at logon", line);
}

static void AppendNoteLines(SheetWriter* sheet, const FileNotes* notes, bool partial)
{
    if (!notes) {
        AppendPending(sheet, partial, L"Notes");
        return;
    }
    if (notes->count <= 0)
        return;
    AppendLine(sheet, L"", L"Notes:");
    for (int i = 0; i < notes->count && i < FILE_NOTE_RULES; ++i) {
        wchar_t line[NOTE_TEXT_CAPACITY + 2];
        StringCchPrintfW(line, ARRAYSIZE(line), L"- %s", notes->text[i]);
        AppendLine(sheet, L"", line);
    }
}

bool FormatPropertySheet(const PropertySheetInput* input, bool partial, wchar_t* text, size_t capacity)
{
    if (capacity == 0)
        return false;
    text[0] = L'\0';
    SheetWriter sheet = {text, capacity, 0, true};
    AppendProcessLines(&sheet, input, partial);
    AppendFileLines(&sheet, input, partial);
    AppendVersionLines(&sheet, input->version, partial);
    AppendSignerLine(&sheet, input->signer, partial);
    if (input->runs)
        AppendLine(&sheet, L"Runs", input->runs);
    else
        AppendPending(&sheet, partial, L"Runs");
    AppendLogonLine(&sheet, input->logon, partial);
    AppendNoteLines(&sheet, input->notes, partial);
    return sheet.complete;
}
