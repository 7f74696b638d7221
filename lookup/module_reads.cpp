#include "lookup/module_reads.h"
#include "core/program_text.h"
#include "lookup/version_strings.h"
#include <stdarg.h>
#include <strsafe.h>
#include <wchar.h>
#include "core/executable_locator.h"
#include "core/file_name_case.h"
#include "core/final_path.h"
#include "core/folder_access.h"
#include "core/handed_path.h"
#include "core/lazy_lock.h"
#include "core/process_command_line.h"
#include "core/seams.h"
#include "core/version_info.h"
#include "lookup/note_facts.h"
#include "lookup/reads_lane_signers.h"
#include "resource.h"

static const wchar_t KNOWN_DLLS_KEY[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";
// How old a reading of the user's folders may be for a row's module notes.
static const DWORD ROW_FOLDERS_AGE_MS = 10000;
static const size_t READ_PATH_CAPACITY = PROCESS_PATH_CAPACITY + 8;

// A value's data as a file name: no folder, no variable, one that fits.
static bool IsPlainLibraryName(const wchar_t* name, DWORD bytes)
{
    DWORD length = bytes / sizeof(wchar_t);
    if (length == 0 || length > KNOWN_LIBRARY_NAME_CAPACITY)
        return false;
    for (DWORD i = 0; i < length && name[i]; ++i) {
        if (name[i] == L'\\' || name[i] == L'/' || name[i] == L'%' || name[i] == L':')
            return false;
    }
    return true;
}

void ReadKnownLibraryNames(KnownLibraryNames* names)
{
    names->count = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KNOWN_DLLS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; names->count < KNOWN_LIBRARY_LIMIT; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = ARRAYSIZE(valueName), type = 0;
        wchar_t* data = names->names[names->count];
        // One unit short, so that a value of the full size still ends.
        DWORD bytes = (KNOWN_LIBRARY_NAME_CAPACITY - 1) * sizeof(wchar_t);
        LONG result = RegEnumValueW(key, index, valueName, &nameLength, NULL, &type, (BYTE*)data, &bytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ || !IsPlainLibraryName(data, bytes))
            continue;
        data[bytes / sizeof(wchar_t)] = L'\0';
        if (data[0])
            ++names->count;
    }
    RegCloseKey(key);
}

// ---- One module --------------------------------------------------------------

static void ReadModuleFolder(ModuleSheet* sheet)
{
    wchar_t directory[MAX_PATH];
    sheet->folder[0] = L'\0';
    if (FAILED(StringCchCopyW(directory, ARRAYSIZE(directory), sheet->module.path)))
        return;
    wchar_t* lastBackslash = wcsrchr(directory, L'\\');
    if (!lastBackslash)
        return;
    *lastBackslash = L'\0';
    if (!ApplyFolderTokens(directory, sheet->folder))
        sheet->folder[0] = L'\0';
}

static void ReadModuleVersion(ModuleSheet* sheet, const wchar_t* readable)
{
    ReadSheetVersionStrings(readable, &sheet->version);
    sheet->versionRead = true;
}

// Whether the user can add a file to the module's folder.
static FolderAccess CheckModuleFolderAccess(const wchar_t* path)
{
    wchar_t folder[MAX_PATH];
    return FindFolderOfFile(path, folder) ? CheckUserCanAddFileRecently(folder) : FOLDER_ACCESS_UNKNOWN;
}

// What the file system says of a module's file, the same for every process
// that maps it.
struct ModuleFileAnswer {
    wchar_t path[MAX_PATH];
    DWORD readAt;
    FileFacts file;
    bool canRead;
    wchar_t readable[READ_PATH_CAPACITY];
    wchar_t canonical[MAX_PATH];
    FolderAccess folderAccess;
};

static void AnswerModuleFile(const wchar_t* path, ModuleFileAnswer* answer)
{
    StringCchCopyW(answer->path, ARRAYSIZE(answer->path), path);
    answer->readAt = GetTickCount();
    // The name is the other process's: read only as a drive's disk file.
    ReadFileFacts(path, &answer->file);
    answer->canRead = answer->file.access == FILE_READABLE &&
                      PrepareImageRead(path, true, answer->readable, ARRAYSIZE(answer->readable));
    bool probeable = IsProbeableName(path);
    // Judged by its one spelling, as the file rules judge a process's file.
    if (!probeable || !MakeFinalPath(path, answer->canonical))
        StringCchCopyW(answer->canonical, ARRAYSIZE(answer->canonical), path);
    answer->folderAccess = probeable ? CheckModuleFolderAccess(answer->canonical) : FOLDER_ACCESS_UNKNOWN;
}

// A report maps the same few files into most processes: each file's answer
// serves the modules read in the next moments (the evidence of its bytes is
// the report's own table's). The report reads on several threads: a lock
// over the memo, never held while the file system is asked.
static CRITICAL_SECTION memoLock;
static volatile LONG memoLockState;

static const int FILE_MEMO_ENTRIES = 32;
static const DWORD FILE_MEMO_AGE_MS = 10000;
static ModuleFileAnswer fileMemo[FILE_MEMO_ENTRIES];
static int fileMemoNext;

static bool FindFileAnswer(const wchar_t* path, ModuleFileAnswer* copy)
{
    DWORD now = GetTickCount();
    size_t length = wcslen(path);
    for (int i = 0; i < FILE_MEMO_ENTRIES; ++i) {
        const ModuleFileAnswer* answer = &fileMemo[i];
        if (answer->path[0] && now - answer->readAt <= FILE_MEMO_AGE_MS && wcslen(answer->path) == length &&
            EqualAsFileNames(answer->path, path, length)) {
            *copy = *answer;
            return true;
        }
    }
    return false;
}

static void AnswerModuleFileRecently(const wchar_t* path, ModuleFileAnswer* answer)
{
    MakeLockOnce(&memoLock, &memoLockState);
    EnterCriticalSection(&memoLock);
    bool known = FindFileAnswer(path, answer);
    LeaveCriticalSection(&memoLock);
    if (known)
        return;
    AnswerModuleFile(path, answer);
    EnterCriticalSection(&memoLock);
    fileMemo[fileMemoNext] = *answer;
    fileMemoNext = (fileMemoNext + 1) % FILE_MEMO_ENTRIES;
    LeaveCriticalSection(&memoLock);
}

static void GatherModuleFacts(const ModuleSheet* sheet, const ModuleProcessContext* context,
                              const ModuleFileAnswer* answer, ModuleNoteFacts* facts)
{
    ZeroMemory(facts, sizeof(*facts));
    NoteFacts* file = &facts->file;
    StringCchCopyW(file->canonicalPath, ARRAYSIZE(file->canonicalPath), answer->canonical);
    file->path = file->canonicalPath;
    file->folderAccess = answer->folderAccess;
    file->folderWithTokens = sheet->folder;
    file->signerKnown = sheet->signerRead;
    file->signerVerdict = sheet->signerRead ? sheet->signer.verdict : SIGNER_UNREADABLE;
    file->signer = sheet->signerRead ? sheet->signer.signer : L"";
    file->processStart = context->processStart;
    file->creationTime = sheet->file.creationTime;
    file->lastWriteTime = sheet->file.lastWriteTime;
    file->changeTime = sheet->file.changeTime;
    file->attributes = sheet->file.attributes;
    file->folders = context->folders;
    facts->inLoaderList = sheet->module.inLoaderList;
    facts->programSigner = context->programSigner;
    facts->knownLibraries = context->knownLibraries;
}

// The version strings, digests and signer from `source`, or read here.
static void ReadModuleEvidence(ModuleSheet* sheet, const FileEvidenceSource* source, const wchar_t* readable)
{
    if (!source) {
        ReadModuleVersion(sheet, readable);
        ComputeFileDigests(readable, NULL, NULL, true, &sheet->digests);
        sheet->digestsRead = true;
        CheckFileSigner(sheet->module.path, ReadsLaneSignerCache(), &sheet->signer);
        sheet->signerRead = true;
        return;
    }
    FileEvidence* evidence = (FileEvidence*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FileEvidence));
    if (!evidence)
        return;
    source->read(source->context, sheet->module.path, readable, evidence);
    sheet->version = evidence->version;
    sheet->digests = evidence->digests;
    sheet->signer = evidence->signer;
    sheet->versionRead = sheet->digestsRead = sheet->signerRead = true;
    HeapFree(GetProcessHeap(), 0, evidence);
}

// whole: every value, from `source` when given; else only what the notes need.
static void ReadModuleSheetThrough(const ProcessModule* module, const ModuleProcessContext* context, bool whole,
                                   const FileEvidenceSource* source, ModuleSheet* sheet)
{
    ZeroMemory(sheet, sizeof(*sheet));
    sheet->module = *module;
    sheet->processId = context->processId;
    if (context->processName)
        StringCchCopyW(sheet->processName, ARRAYSIZE(sheet->processName), context->processName);
    ModuleFileAnswer* answer = (ModuleFileAnswer*)HeapAlloc(GetProcessHeap(), 0, sizeof(ModuleFileAnswer));
    if (!answer)
        return;
    if (source)
        AnswerModuleFileRecently(module->path, answer);
    else
        AnswerModuleFile(module->path, answer);
    sheet->file = answer->file;
    ReadModuleFolder(sheet);
    bool signerNeeded = context->programSigner && context->programSigner[0];
    if (answer->canRead && whole) {
        ReadModuleEvidence(sheet, source, answer->readable);
    } else if (answer->canRead && signerNeeded) {
        CheckFileSigner(module->path, ReadsLaneSignerCache(), &sheet->signer);
        sheet->signerRead = true;
    }
    ModuleNoteFacts facts;
    GatherModuleFacts(sheet, context, answer, &facts);
    ListModuleNotes(&facts, &sheet->notes);
    HeapFree(GetProcessHeap(), 0, answer);
}

void ReadModuleSheet(const ProcessModule* module, const ModuleProcessContext* context, bool whole, ModuleSheet* sheet)
{
    ReadModuleSheetThrough(module, context, whole, NULL, sheet);
}

void ReadModuleSheetFrom(const ProcessModule* module, const ModuleProcessContext* context,
                         const FileEvidenceSource* source, ModuleSheet* sheet)
{
    ReadModuleSheetThrough(module, context, true, source, sheet);
}

// ---- A module's own sheet as text --------------------------------------------------

struct ModuleSheetWriter {
    wchar_t* text;
    size_t capacity;
    size_t length;
    bool complete;
};

static void AppendModuleLine(ModuleSheetWriter* writer, UINT label, const wchar_t* value)
{
    wchar_t name[64] = L"";
    if (!value || !value[0] || (label && !LoadProgramText(label, name, ARRAYSIZE(name))))
        return;
    size_t room = writer->capacity - writer->length;
    HRESULT written = StringCchPrintfW(writer->text + writer->length, room, label ? L"%s: %s\r\n" : L"%s\r\n",
                                       label ? name : value, value);
    if (FAILED(written)) {
        writer->text[writer->length] = L'\0';
        writer->complete = false;
        return;
    }
    size_t added = 0;
    StringCchLengthW(writer->text + writer->length, room, &added);
    writer->length += added;
}

static const wchar_t* FileNameOf(const wchar_t* path)
{
    const wchar_t* name = wcsrchr(path, L'\\');
    return name ? name + 1 : path;
}

static void FormatWithTable(UINT format, wchar_t* text, size_t capacity, ...)
{
    wchar_t pattern[64];
    text[0] = L'\0';
    if (!LoadProgramText(format, pattern, ARRAYSIZE(pattern)))
        return;
    va_list arguments;
    va_start(arguments, capacity);
    StringCchVPrintfW(text, capacity, pattern, arguments);
    va_end(arguments);
}

bool FormatModuleSheet(const ModuleSheet* sheet, wchar_t* text, size_t capacity)
{
    if (capacity == 0)
        return false;
    text[0] = L'\0';
    ModuleSheetWriter writer = {text, capacity, 0, true};
    wchar_t line[MAX_PATH + 64];
    AppendModuleLine(&writer, IDS_MODULE_SHEET_MODULE, FileNameOf(sheet->module.path));
    AppendModuleLine(&writer, IDS_SHEET_FILE, sheet->module.path);
    AppendModuleLine(&writer, IDS_SHEET_FOLDER, sheet->folder);
    if (sheet->file.attributes != INVALID_FILE_ATTRIBUTES || sheet->file.access == FILE_READABLE) {
        FormatWithTable(IDS_SHEET_BYTES, line, ARRAYSIZE(line), sheet->file.size);
        AppendModuleLine(&writer, IDS_SHEET_SIZE, line);
    }
    if (sheet->digestsRead && sheet->digests.valid) {
        AppendModuleLine(&writer, IDS_SHEET_MD5, sheet->digests.digestHex);
        AppendModuleLine(&writer, IDS_SHEET_SHA256, sheet->digests.sha256Hex);
    }
    const SheetVersionStrings* version = &sheet->version;
    AppendModuleLine(&writer, IDS_SHEET_FILE_VERSION, version->fileVersion);
    AppendModuleLine(&writer, IDS_SHEET_PRODUCT, version->product);
    AppendModuleLine(&writer, IDS_SHEET_COMPANY, version->company);
    AppendModuleLine(&writer, IDS_SHEET_DESCRIPTION, version->description);
    AppendModuleLine(&writer, IDS_SHEET_ORIGINAL_NAME, version->originalName);
    if (sheet->signerRead) {
        FormatSignerText(&sheet->signer, line, ARRAYSIZE(line));
        AppendModuleLine(&writer, IDS_SHEET_SIGNER, line);
    }
    FormatWithTable(IDS_SHEET_PARENT_RUNNING, line, ARRAYSIZE(line), sheet->processName, sheet->processId);
    AppendModuleLine(&writer, IDS_MODULE_SHEET_LOADED_BY, line);
    if (sheet->notes.count > 0) {
        wchar_t heading[64];
        if (LoadProgramText(IDS_SHEET_NOTES_HEADING, heading, ARRAYSIZE(heading)))
            AppendModuleLine(&writer, 0, heading);
    }
    for (int i = 0; i < sheet->notes.count && i < MODULE_NOTE_RULES; ++i) {
        wchar_t worded[NOTE_TEXT_CAPACITY], note[NOTE_TEXT_CAPACITY + 2];
        FormatKeptNote(&sheet->notes.words[i], sheet->notes.text[i], worded, ARRAYSIZE(worded));
        StringCchPrintfW(note, ARRAYSIZE(note), L"- %s", worded);
        AppendModuleLine(&writer, 0, note);
    }
    return writer.complete;
}

// ---- Every module of a process -------------------------------------------------------

// Room grows as notes are found: most processes have none.
static bool MakeRoomForNoted(ProcessModuleNotes* notes, int* capacity)
{
    if (notes->notedCount < *capacity)
        return true;
    if (*capacity >= NOTED_MODULE_LIMIT)
        return false;
    int grown = *capacity ? *capacity * 4 : 4;
    if (grown > NOTED_MODULE_LIMIT)
        grown = NOTED_MODULE_LIMIT;
    HANDLE heap = GetProcessHeap();
    void* room = notes->noted ? HeapReAlloc(heap, 0, notes->noted, grown * sizeof(NotedModule))
                              : HeapAlloc(heap, 0, grown * sizeof(NotedModule));
    if (!room)
        return false;
    notes->noted = (NotedModule*)room;
    *capacity = grown;
    return true;
}

static void KeepNotedModule(const ModuleSheet* sheet, ProcessModuleNotes* notes, int* capacity)
{
    ++notes->notedTotal;
    if (!MakeRoomForNoted(notes, capacity))
        return;
    NotedModule* noted = &notes->noted[notes->notedCount++];
    StringCchCopyW(noted->path, ARRAYSIZE(noted->path), sheet->module.path);
    noted->nameOffset = (int)(FileNameOf(noted->path) - noted->path);
    noted->notes = sheet->notes;
    noted->digests = sheet->digests;
    noted->unverified = sheet->signerRead && sheet->signer.verdict != SIGNER_VERIFIED;
}

void ReadProcessModuleNotes(HANDLE process, const ModuleProcessContext* context, bool whole, ProcessModuleNotes* notes)
{
    ZeroMemory(notes, sizeof(*notes));
    ProcessModuleList list;
    seams.readProcessModules(process, context->processId, context->executable, &list);
    notes->state = list.state;
    notes->error = list.error;
    notes->total = list.total;
    HANDLE heap = GetProcessHeap();
    ModuleSheet* sheet = (ModuleSheet*)HeapAlloc(heap, 0, sizeof(ModuleSheet));
    int capacity = 0;
    for (int i = 0; sheet && i < list.count; ++i) {
        // Notes first: only a module kept has its digests read.
        ReadModuleSheet(&list.modules[i], context, false, sheet);
        if (sheet->notes.count == 0)
            continue;
        if (whole)
            ReadModuleSheet(&list.modules[i], context, true, sheet);
        KeepNotedModule(sheet, notes, &capacity);
    }
    if (sheet)
        HeapFree(heap, 0, sheet);
    FreeProcessModules(&list);
}

void ReadRowModuleNotes(DWORD processId, unsigned long long listedStart, const wchar_t* executable,
                        const wchar_t* programSigner, ProcessModuleNotes* notes)
{
    unsigned long long startTime = 0;
    HANDLE process = OpenListedProcess(processId, listedStart, &startTime);
    NoteFolders* folders = (NoteFolders*)HeapAlloc(GetProcessHeap(), 0, sizeof(NoteFolders));
    KnownLibraryNames* known = (KnownLibraryNames*)HeapAlloc(GetProcessHeap(), 0, sizeof(KnownLibraryNames));
    if (folders)
        ReadNoteFoldersRecently(ROW_FOLDERS_AGE_MS, folders);
    if (known)
        ReadKnownLibraryNames(known);
    ModuleProcessContext context = {processId, NULL, executable, startTime, programSigner, folders, known};
    ReadProcessModuleNotes(process, &context, false, notes);
    if (known)
        HeapFree(GetProcessHeap(), 0, known);
    if (folders)
        HeapFree(GetProcessHeap(), 0, folders);
    if (process)
        CloseHandle(process);
}

void FreeProcessModuleNotes(ProcessModuleNotes* notes)
{
    if (notes->noted)
        HeapFree(GetProcessHeap(), 0, notes->noted);
    notes->noted = NULL;
    notes->notedCount = 0;
}
