#include "lookup/process_sheet.h"
#include "core/program_text.h"
#include "lookup/version_strings.h"
#include <strsafe.h>
#include "core/executable_locator.h"
#include "core/handed_path.h"
#include "core/process_command_line.h"
#include "core/seams.h"
#include "core/system_folders.h"
#include "core/version_info.h"
#include "core/plain_text.h"
#include "lookup/note_facts.h"
#include "resource.h"

// How old a reading of what starts at logon, or of the user's folders, may be
// for a row's notes: the rows of one refresh share it; a change shows at a
// row read later.
static const DWORD ROW_LOGON_AGE_MS = 10000;
static const DWORD ROW_LIST_AGE_MS = 2000;

// The reads' lane's own digests: one thread uses them, so no lock. A file
// hashed for one process serves every other process of it.
static FingerprintCache* digestCache;

static bool IsStopped(const volatile LONG* stop)
{
    return stop && *stop != 0;
}

void StartProcessSheet(DWORD processId, const wchar_t* imageName, ProcessSheet* sheet)
{
    ZeroMemory(sheet, sizeof(*sheet));
    sheet->process.processId = processId;
    sheet->process.parent = PARENT_UNKNOWN;
    sheet->process.file.attributes = INVALID_FILE_ATTRIBUTES;
    if (imageName)
        StringCchCopyW(sheet->process.imageName, ARRAYSIZE(sheet->process.imageName), imageName);
}

// Room for a process's path in its "\\?\" form.
static const size_t READ_PATH_CAPACITY = PROCESS_PATH_CAPACITY + 8;

static void ForgetProcess(ProcessSheet* sheet, DWORD processId)
{
    ZeroMemory(&sheet->process, sizeof(sheet->process));
    sheet->process.processId = processId;
    sheet->process.parent = PARENT_UNKNOWN;
    sheet->process.file.attributes = INVALID_FILE_ATTRIBUTES;
}

// process: the one handle every read of this sheet goes through; NULL when
// the process could not be opened, or `newer` when a later one holds its PID.
static void ReadFacts(ProcessSheet* sheet, DWORD listAgeMs, HANDLE process, bool newer)
{
    wchar_t imageName[MAX_PATH];
    StringCchCopyW(imageName, ARRAYSIZE(imageName), sheet->process.imageName);
    wchar_t* commandLine = sheet->process.commandLine;
    // A row's notes share a list of the processes of a moment ago; the whole sheet takes its own.
    DWORD processId = sheet->process.processId;
    ReadProcessFactsOf(process, processId, listAgeMs, &sheet->process);
    // Exited, and its PID taken since: nothing of the newer process is ours to show.
    if (newer)
        ForgetProcess(sheet, processId);
    sheet->process.commandLine = commandLine;
    // Gone since it was listed: the name it had still heads the sheet.
    if (!sheet->process.imageName[0])
        StringCchCopyW(sheet->process.imageName, ARRAYSIZE(sheet->process.imageName), imageName);
    sheet->processRead = true;
}

static void ReadCommandLine(ProcessSheet* sheet, HANDLE process)
{
    wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, COMMAND_LINE_CAPACITY * sizeof(wchar_t));
    if (text && !ReadProcessCommandLineOf(process, text)) {
        HeapFree(GetProcessHeap(), 0, text);
        text = NULL;
    }
    sheet->process.commandLine = text;
    sheet->commandLineRead = true;
}

static void ReadFolder(ProcessSheet* sheet)
{
    sheet->folderRead = true;
    if (sheet->process.file.access == FILE_NOT_LOCATED)
        return;
    wchar_t directory[PROCESS_PATH_CAPACITY];
    StringCchCopyW(directory, ARRAYSIZE(directory), sheet->process.file.path);
    wchar_t* lastBackslash = wcsrchr(directory, L'\\');
    if (lastBackslash)
        *lastBackslash = L'\0';
    if (!lastBackslash || !ApplyFolderTokens(directory, sheet->folder))
        sheet->folder[0] = L'\0';
}

static void ReadVersion(ProcessSheet* sheet, const wchar_t* readable)
{
    ReadSheetVersionStrings(readable, &sheet->version);
    sheet->versionRead = true;
}

// readable: the file the path names, not the one redirection would give a 32-bit program.
static void ReadDigests(ProcessSheet* sheet, const wchar_t* readable, const volatile LONG* stop)
{
    if (!digestCache)
        digestCache = (FingerprintCache*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FingerprintCache));
    ComputeFileDigests(readable, digestCache, stop, true, &sheet->digests);
    sheet->digestsRead = !IsStopped(stop);
}

static void ReadSigner(ProcessSheet* sheet)
{
    CheckFileSigner(sheet->process.file.path, ReadsLaneSignerCache(), &sheet->signer);
    sheet->signerRead = true;
}

// shared: the service manager's answer of a moment ago serves this process if it is older.
static void ReadRuns(ProcessSheet* sheet, HANDLE process, bool shared)
{
    HostPayload* payload = (HostPayload*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(HostPayload));
    if (!payload)
        return;
    const FileFacts* file = &sheet->process.file;
    const wchar_t* image = file->access != FILE_NOT_LOCATED ? file->path : sheet->process.imageName;
    // Through the sheet's one handle where it could be had: the PID alone may name a newer process by now.
    if (process)
        ReadHostPayloadOfProcess(process, sheet->process.processId,
                                 sheet->expectedStart || !shared ? sheet->expectedStart : sheet->process.startTime,
                                 image, sheet->process.commandLine, payload);
    else
        ReadHostPayload(sheet->process.processId, image, sheet->process.commandLine, payload);
    StringCchCopyW(sheet->runs, ARRAYSIZE(sheet->runs), payload->runs);
    sheet->runsFileCount = payload->fileCount < HOST_PAYLOAD_FILES ? payload->fileCount : HOST_PAYLOAD_FILES;
    for (size_t i = 0; i < sheet->runsFileCount; ++i)
        StringCchCopyW(sheet->runsFiles[i], MAX_PATH, payload->files[i]);
    HeapFree(GetProcessHeap(), 0, payload);
    sheet->runsRead = true;
}

// ageMs: how old a reading of the user's folders may be (0: read afresh).
static void ListNotes(ProcessSheet* sheet, DWORD ageMs)
{
    NoteFolders* folders = (NoteFolders*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(NoteFolders));
    if (!folders)
        return;
    if (ageMs == 0)
        ReadNoteFolders(folders);
    else
        ReadNoteFoldersRecently(ageMs, folders);
    NoteFacts facts;
    GatherNoteFacts(&sheet->process, sheet->folderRead ? sheet->folder : NULL,
                    sheet->versionRead ? sheet->version.company : NULL, sheet->signerRead ? &sheet->signer : NULL,
                    sheet->logonRead ? &sheet->logon : NULL, folders, &facts);
    ListFileNotes(&facts, &sheet->notes);
    HeapFree(GetProcessHeap(), 0, folders);
    sheet->notesRead = true;
}

// Compared with the executable's signer, in the sheet's folders and the system's KnownDLLs.
static void ReadModules(ProcessSheet* sheet, HANDLE process)
{
    HANDLE heap = GetProcessHeap();
    NoteFolders* folders = (NoteFolders*)HeapAlloc(heap, 0, sizeof(NoteFolders));
    KnownLibraryNames* known = (KnownLibraryNames*)HeapAlloc(heap, 0, sizeof(KnownLibraryNames));
    if (folders)
        ReadNoteFolders(folders);
    if (known)
        ReadKnownLibraryNames(known);
    const FileFacts* file = &sheet->process.file;
    bool verified = sheet->signerRead && sheet->signer.verdict == SIGNER_VERIFIED;
    ModuleProcessContext context = {sheet->process.processId, sheet->process.imageName,
                                    file->access != FILE_NOT_LOCATED ? file->path : NULL, sheet->process.startTime,
                                    verified ? sheet->signer.signer : NULL, folders, known};
    FreeProcessModuleNotes(&sheet->modules);
    ReadProcessModuleNotes(process, &context, true, &sheet->modules);
    if (known)
        HeapFree(heap, 0, known);
    if (folders)
        HeapFree(heap, 0, folders);
    sheet->modulesRead = true;
}

// The version strings, digests and signer as the caller's reader has them.
static void ReadEvidenceFrom(ProcessSheet* sheet, const FileEvidenceSource* source, const wchar_t* readable)
{
    FileEvidence* evidence = (FileEvidence*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FileEvidence));
    if (!evidence)
        return;
    source->read(source->context, sheet->process.file.path, readable, evidence);
    sheet->version = evidence->version;
    sheet->digests = evidence->digests;
    sheet->signer = evidence->signer;
    sheet->versionRead = sheet->digestsRead = sheet->signerRead = true;
    HeapFree(GetProcessHeap(), 0, evidence);
}

// source: where the file's evidence comes from (NULL: read here); with one,
// the modules are the caller's to read. sharedAgeMs: how old the readings
// every process shares (logon entries, the user's folders, the services) may be.
static void ReadFileSheet(ProcessSheet* sheet, bool whole, bool gone, HANDLE process, const volatile LONG* stop,
                          const FileEvidenceSource* source, DWORD sharedAgeMs)
{
    DWORD sharedAge = whole ? sharedAgeMs : ROW_LOGON_AGE_MS;
    ReadFolder(sheet);
    const FileFacts* file = &sheet->process.file;
    // An unreadable file has no digests, version or signer: the sheet's
    // "File" line says why, and those lines are left out. A readable one is
    // read by the name its facts were read by.
    wchar_t readablePath[READ_PATH_CAPACITY];
    bool readable = file->access == FILE_READABLE &&
                    PrepareImageRead(file->path, file->pathReported, readablePath, ARRAYSIZE(readablePath));
    if (IsStopped(stop))
        return;
    if (readable && source) {
        ReadEvidenceFrom(sheet, source, readablePath);
    } else if (readable) {
        ReadVersion(sheet, readablePath);
        if (whole)
            ReadDigests(sheet, readablePath, stop);
        if (!IsStopped(stop))
            ReadSigner(sheet);
    } else {
        sheet->versionRead = true;
        sheet->digestsRead = true;
        sheet->signerRead = true;
        sheet->digests.valid = false;
    }
    if (IsStopped(stop))
        return;
    if (whole && !gone)
        ReadRuns(sheet, process, sharedAge != 0);
    sheet->runsRead = sheet->runsRead || (whole && gone);
    // The whole sheet reads them afresh; a row's notes share a reading of a
    // few seconds ago. A name the process chose is matched only as a drive's path.
    bool matchable = file->access != FILE_NOT_LOCATED && (!file->pathReported || IsProbeableName(file->path));
    if (matchable && !IsStopped(stop)) {
        if (sharedAge == 0)
            FindLogonEntries(file->path, &sheet->logon);
        else
            FindLogonEntriesRecently(file->path, sharedAge, &sheet->logon);
    }
    sheet->logonRead = true;
    if (!IsStopped(stop))
        ListNotes(sheet, sharedAge);
    // A process gone has no modules; another one under its PID has its own.
    if (whole && !gone && !source && !IsStopped(stop))
        ReadModules(sheet, process);
    sheet->modulesRead = sheet->modulesRead || (whole && gone);
}

static void ReadSheetThrough(ProcessSheet* sheet, bool whole, const volatile LONG* stop,
                             const FileEvidenceSource* source, DWORD sharedAgeMs)
{
    // Opened once and compared with the start it was listed with: a PID
    // reused between two reads never lends the newer process's facts.
    unsigned long long startTime = 0;
    HANDLE process = OpenListedProcess(sheet->process.processId, sheet->expectedStart, &startTime);
    bool newer = !process && startTime != 0;
    ReadFacts(sheet, whole ? sharedAgeMs : ROW_LIST_AGE_MS, process, newer);
    // A process gone has no command line or payload to read: another one under its PID has its own.
    bool gone = !sheet->process.found;
    if (whole && !gone && !IsStopped(stop))
        ReadCommandLine(sheet, process);
    sheet->commandLineRead = sheet->commandLineRead || (whole && gone);
    ReadFileSheet(sheet, whole, gone, process, stop, source, sharedAgeMs);
    if (process)
        CloseHandle(process);
}

void ReadProcessSheet(ProcessSheet* sheet, bool whole, const volatile LONG* stop)
{
    ReadSheetThrough(sheet, whole, stop, NULL, 0);
}

void ReadProcessSheetFrom(ProcessSheet* sheet, const FileEvidenceSource* source, DWORD sharedAgeMs)
{
    ReadSheetThrough(sheet, true, NULL, source, sharedAgeMs);
}

bool IsProcessSheetComplete(const ProcessSheet* sheet)
{
    return sheet->processRead && sheet->commandLineRead && sheet->folderRead && sheet->digestsRead &&
           sheet->versionRead && sheet->signerRead && sheet->runsRead && sheet->logonRead && sheet->notesRead &&
           sheet->modulesRead;
}

static bool AppendSheetLine(wchar_t* text, size_t capacity, const wchar_t* line)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(text, capacity, &length)) || length + wcslen(line) + 2 >= capacity)
        return false;
    StringCchPrintfW(text + length, capacity - length, L"%s\r\n", line);
    BlankControlCharacters(text + length, wcslen(line));
    return true;
}

static void FormatUnreadableModules(const ProcessModuleNotes* modules, wchar_t* line, size_t capacity)
{
    wchar_t reason[64] = L"", format[64] = L"";
    if (modules->state == MODULES_ACCESS_DENIED)
        LoadProgramText(IDS_MODULES_ACCESS_DENIED, reason, ARRAYSIZE(reason));
    else if (modules->state == MODULES_OTHER_BITNESS)
        LoadProgramText(IDS_MODULES_OTHER_BITNESS, reason, ARRAYSIZE(reason));
    else if (LoadProgramText(IDS_ERROR_NUMBER, format, ARRAYSIZE(format)))
        StringCchPrintfW(reason, ARRAYSIZE(reason), format, modules->error);
    line[0] = L'\0';
    if (LoadProgramText(IDS_SHEET_MODULES_UNREADABLE, format, ARRAYSIZE(format)))
        StringCchPrintfW(line, capacity, format, reason);
}

// "  - <note>", and "      <what it means>" under it when explained.
static bool AppendModuleNoteLines(const ModuleNotes* notes, int n, bool explained, wchar_t* text, size_t capacity)
{
    wchar_t worded[NOTE_TEXT_CAPACITY], line[NOTE_TEXT_CAPACITY + 8];
    FormatKeptNote(&notes->words[n], notes->text[n], worded, ARRAYSIZE(worded));
    StringCchPrintfW(line, ARRAYSIZE(line), L"  - %s", worded);
    bool whole = AppendSheetLine(text, capacity, line);
    UINT explanation = explained ? FindNoteExplanation(notes->words[n].textId) : 0;
    if (explanation && LoadProgramText(explanation, worded, ARRAYSIZE(worded)) &&
        SUCCEEDED(StringCchPrintfW(line, ARRAYSIZE(line), L"      %s", worded)))
        whole = AppendSheetLine(text, capacity, line) && whole;
    return whole;
}

// "Modules: <count> (<n> with notes)", then each module with notes and its notes.
static bool AppendModuleLines(const ProcessSheet* sheet, bool partial, bool explained, wchar_t* text,
                              size_t capacity)
{
    wchar_t line[MAX_PATH + NOTE_TEXT_CAPACITY], format[64];
    const ProcessModuleNotes* modules = &sheet->modules;
    if (!sheet->modulesRead) {
        line[0] = L'\0';
        return !partial || (LoadProgramText(IDS_SHEET_MODULES_READING, line, ARRAYSIZE(line)) &&
                            AppendSheetLine(text, capacity, line));
    }
    if (!sheet->process.found)
        return true;
    if (modules->state != MODULES_READ) {
        FormatUnreadableModules(modules, line, ARRAYSIZE(line));
        return AppendSheetLine(text, capacity, line);
    }
    if (!LoadProgramText(IDS_SHEET_MODULES, format, ARRAYSIZE(format)))
        return false;
    StringCchPrintfW(line, ARRAYSIZE(line), format, modules->total, modules->notedTotal);
    bool whole = AppendSheetLine(text, capacity, line);
    for (int i = 0; i < modules->notedCount && modules->noted; ++i) {
        const NotedModule* module = &modules->noted[i];
        StringCchPrintfW(line, ARRAYSIZE(line), L"- %s", module->path);
        whole = AppendSheetLine(text, capacity, line) && whole;
        for (int n = 0; n < module->notes.count && n < MODULE_NOTE_RULES; ++n)
            whole = AppendModuleNoteLines(&module->notes, n, explained, text, capacity) && whole;
    }
    return whole;
}

static bool FormatSheet(const ProcessSheet* sheet, bool explained, wchar_t* text, size_t capacity)
{
    bool readable = sheet->process.file.access == FILE_READABLE;
    PropertySheetInput input;
    ZeroMemory(&input, sizeof(input));
    input.process = &sheet->process;
    input.processRead = sheet->processRead;
    input.commandLineRead = sheet->commandLineRead;
    input.folderWithTokens = sheet->folderRead ? sheet->folder : NULL;
    input.digests = sheet->digestsRead ? &sheet->digests : NULL;
    input.version = sheet->versionRead && readable ? &sheet->version : NULL;
    input.signer = sheet->signerRead && readable ? &sheet->signer : NULL;
    input.runs = sheet->runsRead ? sheet->runs : NULL;
    input.logon = sheet->logonRead ? &sheet->logon : NULL;
    input.notes = sheet->notesRead ? &sheet->notes : NULL;
    input.explainNotes = explained;
    input.parentNotes = &sheet->parentNotes;
    bool partial = !sheet->readsAbandoned && !IsProcessSheetComplete(sheet);
    bool whole = FormatPropertySheet(&input, partial, text, capacity);
    return AppendModuleLines(sheet, partial, explained, text, capacity) && whole;
}

bool FormatProcessSheet(const ProcessSheet* sheet, wchar_t* text, size_t capacity)
{
    return FormatSheet(sheet, false, text, capacity);
}

bool FormatExplainedProcessSheet(const ProcessSheet* sheet, wchar_t* text, size_t capacity)
{
    return FormatSheet(sheet, true, text, capacity);
}

void FreeProcessSheet(ProcessSheet* sheet)
{
    FreeProcessFacts(&sheet->process);
    FreeProcessModuleNotes(&sheet->modules);
}
