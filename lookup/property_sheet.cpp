#include "lookup/property_sheet.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/plain_text.h"
#include "core/program_text.h"
#include "resource.h"

static const size_t LABEL_CAPACITY = 64;
static const size_t LINE_CAPACITY = 1024;

// The sheet as it is written: every line whole or not at all.
struct SheetWriter {
    wchar_t* text;
    size_t capacity;
    size_t length;
    bool complete;
};

// Written in place: a command line can be far longer than any line buffer.
static void AppendText(SheetWriter* sheet, const wchar_t* label, const wchar_t* value)
{
    if (!value || !value[0])
        return;
    wchar_t* line = sheet->text + sheet->length;
    size_t room = sheet->capacity - sheet->length;
    bool written = room > 2 && (label[0] ? FormatProgramText(line, room - 2, IDS_SHEET_LABEL_FORMAT, label, value)
                                         : SUCCEEDED(StringCchCopyW(line, room - 2, value)));
    if (!written) {
        *line = L'\0';
        sheet->complete = false;
        return;
    }
    size_t length = wcslen(line);
    BlankControlCharacters(line, length);
    StringCchCopyW(line + length, room - length, L"\r\n");
    sheet->length += length + 2;
}

// A line "<label>: <value>"; labelId 0: the value alone.
static void AppendLine(SheetWriter* sheet, UINT labelId, const wchar_t* value)
{
    wchar_t label[LABEL_CAPACITY] = L"";
    if (labelId && !LoadProgramText(labelId, label, ARRAYSIZE(label)))
        sheet->complete = false;
    else
        AppendText(sheet, label, value);
}

// A value not yet read: "Reading..." on a partial sheet, nothing on a whole one.
static void AppendPending(SheetWriter* sheet, bool partial, UINT labelId)
{
    wchar_t reading[LABEL_CAPACITY];
    if (partial && LoadProgramText(IDS_SHEET_READING, reading, ARRAYSIZE(reading)))
        AppendLine(sheet, labelId, reading);
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
    AppendLine(sheet, IDS_SHEET_PROCESS, process->imageName);
    StringCchPrintfW(line, ARRAYSIZE(line), L"%lu", process->processId);
    AppendLine(sheet, IDS_SHEET_PID, line);
    if (!input->processRead) {
        AppendPending(sheet, partial, IDS_SHEET_PARENT);
        AppendPending(sheet, partial, IDS_SHEET_STARTED);
        AppendPending(sheet, partial, IDS_SHEET_USER);
    } else {
        line[0] = L'\0';
        if (process->parent == PARENT_RUNNING)
            FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_PARENT_RUNNING, process->parentName, process->parentId);
        else if (process->parent == PARENT_EXITED)
            LoadProgramText(IDS_SHEET_PARENT_EXITED, line, ARRAYSIZE(line));
        AppendLine(sheet, IDS_SHEET_PARENT, line);
        if (FormatLocalTime(process->startTime, line, ARRAYSIZE(line)))
            AppendLine(sheet, IDS_SHEET_STARTED, line);
        AppendLine(sheet, IDS_SHEET_USER, process->user);
    }
    if (input->commandLineRead)
        AppendLine(sheet, IDS_SHEET_COMMAND_LINE, process->commandLine);
    else
        AppendPending(sheet, partial, IDS_SHEET_COMMAND_LINE);
}

// The path, and why the file cannot be read where it cannot.
static void AppendFileLine(SheetWriter* sheet, const FileFacts* file)
{
    wchar_t line[LINE_CAPACITY];
    switch (file->access) {
    case FILE_NOT_LOCATED:
        LoadProgramText(IDS_SHEET_NOT_LOCATED, line, ARRAYSIZE(line));
        break;
    case FILE_READABLE:
        StringCchCopyW(line, ARRAYSIZE(line), file->path);
        break;
    case FILE_ACCESS_DENIED:
        FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_ACCESS_DENIED, file->path);
        break;
    case FILE_GONE:
        FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_FILE_GONE, file->path);
        break;
    default:
        FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_READ_ERROR, file->path, file->accessError);
        break;
    }
    AppendLine(sheet, IDS_SHEET_FILE, line);
}

static void AppendFileLines(SheetWriter* sheet, const PropertySheetInput* input, bool partial)
{
    const FileFacts* file = &input->process->file;
    wchar_t line[LINE_CAPACITY];
    if (!input->processRead) {
        AppendPending(sheet, partial, IDS_SHEET_FILE);
    } else if (input->process->found) {
        AppendFileLine(sheet, file);
    }
    if (input->folderWithTokens)
        AppendLine(sheet, IDS_SHEET_FOLDER, input->folderWithTokens);
    else
        AppendPending(sheet, partial, IDS_SHEET_FOLDER);
    if (!input->processRead) {
        AppendPending(sheet, partial, IDS_SHEET_SIZE);
    } else if (file->attributes != INVALID_FILE_ATTRIBUTES || file->access == FILE_READABLE) {
        FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_BYTES, file->size);
        AppendLine(sheet, IDS_SHEET_SIZE, line);
    }
    if (!input->digests) {
        AppendPending(sheet, partial, IDS_SHEET_MD5);
        AppendPending(sheet, partial, IDS_SHEET_SHA256);
    } else if (input->digests->valid) {
        AppendLine(sheet, IDS_SHEET_MD5, input->digests->digestHex);
        AppendLine(sheet, IDS_SHEET_SHA256, input->digests->sha256Hex);
    }
}

static void AppendVersionLines(SheetWriter* sheet, const SheetVersionStrings* version, bool partial)
{
    static const UINT labels[] = {IDS_SHEET_FILE_VERSION, IDS_SHEET_PRODUCT, IDS_SHEET_COMPANY, IDS_SHEET_DESCRIPTION,
                                  IDS_SHEET_ORIGINAL_NAME};
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
        AppendPending(sheet, partial, IDS_SHEET_SIGNER);
        return;
    }
    wchar_t text[SIGNER_NAME_CAPACITY + 64], line[SIGNER_NAME_CAPACITY + 80];
    FormatSignerText(signer, text, ARRAYSIZE(text));
    if (signer->source == SIGNER_FROM_EMBEDDED)
        FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_EMBEDDED, text);
    else if (signer->source == SIGNER_FROM_CATALOG)
        FormatProgramText(line, ARRAYSIZE(line), IDS_SHEET_CATALOG, text);
    else
        StringCchCopyW(line, ARRAYSIZE(line), text);
    AppendLine(sheet, IDS_SHEET_SIGNER, line);
}

// Every entry on the one line, with how many more were found than kept.
static void AppendLogonLine(SheetWriter* sheet, const LogonEntries* logon, bool partial)
{
    if (!logon) {
        AppendPending(sheet, partial, IDS_SHEET_LOGON);
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
        FormatProgramText(more, ARRAYSIZE(more), IDS_SHEET_MORE_ENTRIES, logon->total - logon->count);
        StringCchCatW(line, ARRAYSIZE(line), more);
    }
    AppendLine(sheet, IDS_SHEET_LOGON, line);
}

// "    <what the note means>" under its note.
static void AppendExplanationLine(SheetWriter* sheet, UINT noteTextId)
{
    wchar_t explanation[LINE_CAPACITY], line[LINE_CAPACITY + 4];
    UINT id = FindNoteExplanation(noteTextId);
    if (id && LoadProgramText(id, explanation, ARRAYSIZE(explanation)) &&
        SUCCEEDED(StringCchPrintfW(line, ARRAYSIZE(line), L"    %s", explanation)))
        AppendLine(sheet, 0, line);
}

static void AppendNoteLine(SheetWriter* sheet, const wchar_t* note)
{
    wchar_t line[NOTE_TEXT_CAPACITY + 2];
    StringCchPrintfW(line, ARRAYSIZE(line), L"- %s", note);
    AppendLine(sheet, 0, line);
}

// The file's notes, then those on its parent.
static void AppendNoteLines(SheetWriter* sheet, const FileNotes* notes, const ParentNotes* parents, bool partial,
                            bool explained)
{
    if (!notes)
        AppendPending(sheet, partial, IDS_SHEET_NOTES);
    int fileCount = notes ? notes->count : 0;
    int parentCount = parents ? parents->count : 0;
    if (fileCount <= 0 && parentCount <= 0)
        return;
    wchar_t heading[LABEL_CAPACITY];
    if (LoadProgramText(IDS_SHEET_NOTES_HEADING, heading, ARRAYSIZE(heading)))
        AppendLine(sheet, 0, heading);
    else
        sheet->complete = false;
    for (int i = 0; i < fileCount && i < FILE_NOTE_RULES; ++i) {
        wchar_t worded[NOTE_TEXT_CAPACITY];
        FormatKeptNote(&notes->words[i], notes->text[i], worded, ARRAYSIZE(worded));
        AppendNoteLine(sheet, worded);
        if (explained)
            AppendExplanationLine(sheet, notes->words[i].textId);
    }
    for (int i = 0; i < parentCount && i < PARENT_NOTE_RULES; ++i)
        AppendNoteLine(sheet, parents->text[i]);
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
        AppendLine(&sheet, IDS_SHEET_RUNS, input->runs);
    else
        AppendPending(&sheet, partial, IDS_SHEET_RUNS);
    AppendLogonLine(&sheet, input->logon, partial);
    AppendNoteLines(&sheet, input->notes, input->parentNotes, partial, input->explainNotes);
    return sheet.complete;
}
