#include "lookup/startup_tasks.h"
#include "core/folder_listing.h"
#include "core/program_text.h"
#include <shlwapi.h>
#include <strsafe.h>
#include <wchar.h>
#include <wctype.h>
#include "core/handed_path.h"
#include "core/scoped_handles.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "resource.h"

static const int TASK_FOLDER_DEPTH = 8;
static const int TASK_FILE_LIMIT = 4096;

// A span of the text: [start, end).
struct XmlSpan {
    const wchar_t* start;
    const wchar_t* end;
};

// Where the element `name` opens inside `span` ("<name>", "<name ...>",
// "<name/>"), its content after the opening tag; false when it does not.
static bool FindElement(const XmlSpan* span, const wchar_t* name, XmlSpan* content, bool* empty)
{
    size_t nameLength = wcslen(name);
    for (const wchar_t* at = span->start; at + nameLength + 1 < span->end; ++at) {
        if (at[0] != L'<' || wcsncmp(at + 1, name, nameLength) != 0)
            continue;
        const wchar_t* after = at + 1 + nameLength;
        if (*after != L'>' && *after != L' ' && *after != L'/' && *after != L'\t' && *after != L'\r' &&
            *after != L'\n')
            continue;
        const wchar_t* close = after;
        while (close < span->end && *close != L'>')
            ++close;
        if (close >= span->end)
            return false;
        *empty = close[-1] == L'/';
        content->start = close + 1;
        content->end = span->end;
        if (*empty) {
            content->end = content->start;
            return true;
        }
        // The content ends at the matching closing tag (elements here do not nest in themselves).
        for (const wchar_t* end = content->start; end + nameLength + 2 < span->end; ++end)
            if (end[0] == L'<' && end[1] == L'/' && wcsncmp(end + 2, name, nameLength) == 0 &&
                end[2 + nameLength] == L'>') {
                content->end = end;
                return true;
            }
        return true;
    }
    return false;
}

static bool HasElement(const XmlSpan* span, const wchar_t* name)
{
    XmlSpan content;
    bool empty = false;
    return FindElement(span, name, &content, &empty);
}

// One character reference or entity at `at` (after '&'); 0 when none is known.
static wchar_t DecodeReference(const wchar_t* at, const wchar_t* end, const wchar_t** next)
{
    static const struct { const wchar_t* name; wchar_t character; } entities[] = {
        {L"amp;", L'&'}, {L"lt;", L'<'}, {L"gt;", L'>'}, {L"quot;", L'"'}, {L"apos;", L'\''}};
    for (size_t i = 0; i < ARRAYSIZE(entities); ++i) {
        size_t length = wcslen(entities[i].name);
        if ((size_t)(end - at) >= length && wcsncmp(at, entities[i].name, length) == 0) {
            *next = at + length;
            return entities[i].character;
        }
    }
    if (at >= end || *at != L'#')
        return 0;
    bool hex = at + 1 < end && (at[1] == L'x' || at[1] == L'X');
    unsigned long value = 0;
    const wchar_t* digit = at + (hex ? 2 : 1);
    for (; digit < end && *digit != L';' && value <= 0xFFFF; ++digit) {
        int number = iswdigit(*digit) ? *digit - L'0'
                     : hex && iswxdigit(*digit) ? (towlower(*digit) - L'a' + 10) : -1;
        if (number < 0)
            return 0;
        value = value * (hex ? 16 : 10) + (unsigned long)number;
    }
    if (digit >= end || *digit != L';' || value == 0 || value > 0xFFFF)
        return 0;
    *next = digit + 1;
    return (wchar_t)value;
}

// The element's text, trimmed and decoded, appended to `text`; false when it does not fit.
static bool AppendElementText(const XmlSpan* span, wchar_t* text, size_t capacity)
{
    const wchar_t* at = span->start;
    const wchar_t* end = span->end;
    while (at < end && iswspace(*at))
        ++at;
    while (end > at && iswspace(end[-1]))
        --end;
    size_t used = wcslen(text);
    while (at < end) {
        wchar_t character = *at++;
        const wchar_t* next = at;
        if (character == L'&') {
            wchar_t decoded = DecodeReference(at, end, &next);
            if (decoded) {
                character = decoded;
                at = next;
            }
        }
        if (used + 1 >= capacity)
            return false;
        text[used++] = character;
    }
    text[used] = L'\0';
    return true;
}

static void ReadTriggers(const XmlSpan* task, TaskDefinition* definition)
{
    XmlSpan triggers;
    bool empty = false;
    if (!FindElement(task, L"Triggers", &triggers, &empty))
        return;
    definition->atLogon = HasElement(&triggers, L"LogonTrigger");
    definition->atBoot = HasElement(&triggers, L"BootTrigger");
    definition->onSchedule = HasElement(&triggers, L"TimeTrigger") || HasElement(&triggers, L"CalendarTrigger");
}

static void ReadSettings(const XmlSpan* task, TaskDefinition* definition)
{
    XmlSpan settings, enabled;
    bool empty = false;
    if (!FindElement(task, L"Settings", &settings, &empty) || !FindElement(&settings, L"Enabled", &enabled, &empty))
        return;
    wchar_t value[16] = L"";
    AppendElementText(&enabled, value, ARRAYSIZE(value));
    definition->enabled = lstrcmpiW(value, L"false") != 0 && lstrcmpW(value, L"0") != 0;
}

static void ReadActions(const XmlSpan* task, TaskDefinition* definition)
{
    XmlSpan actions, exec;
    bool empty = false;
    if (!FindElement(task, L"Actions", &actions, &empty))
        return;
    XmlSpan rest = actions;
    while (definition->actionCount < TASK_ACTION_CAPACITY && FindElement(&rest, L"Exec", &exec, &empty)) {
        rest.start = exec.end;
        XmlSpan command, arguments;
        if (!FindElement(&exec, L"Command", &command, &empty))
            continue;
        wchar_t* text = definition->commands[definition->actionCount];
        wchar_t program[MAX_PATH] = L"";
        if (!AppendElementText(&command, program, ARRAYSIZE(program)) || !program[0])
            continue;
        // A program with a blank in it is quoted, as the scheduler passes it whole.
        const wchar_t* format = wcschr(program, L' ') && program[0] != L'"' ? L"\"%s\"" : L"%s";
        bool fits = SUCCEEDED(StringCchPrintfW(text, STARTUP_COMMAND_CAPACITY, format, program));
        if (fits && FindElement(&exec, L"Arguments", &arguments, &empty) && arguments.end > arguments.start)
            fits = SUCCEEDED(StringCchCatW(text, STARTUP_COMMAND_CAPACITY, L" ")) &&
                   AppendElementText(&arguments, text, STARTUP_COMMAND_CAPACITY);
        if (!fits)
            text[0] = L'\0';
        if (text[0])
            ++definition->actionCount;
    }
}

bool ParseTaskXml(const wchar_t* xml, size_t length, TaskDefinition* definition)
{
    ZeroMemory(definition, sizeof(*definition));
    definition->enabled = true;
    XmlSpan whole = {xml, xml + length}, task;
    bool empty = false;
    if (!xml || !FindElement(&whole, L"Task", &task, &empty))
        return false;
    ReadTriggers(&task, definition);
    ReadSettings(&task, definition);
    ReadActions(&task, definition);
    return true;
}

// ---- XP's .job files ----

// The fixed part: the offsets of the variable part and the trigger list, and the flags.
static const size_t JOB_FIXED_BYTES = 0x44;
static const size_t JOB_NAME_SIZE_OFFSET = 0x14;
static const size_t JOB_TRIGGER_OFFSET = 0x16;
static const size_t JOB_FLAGS_OFFSET = 0x30;
static const DWORD JOB_FLAG_DISABLED = 0x4;
static const size_t JOB_TRIGGER_BYTES = 0x30;
static const size_t JOB_TRIGGER_TYPE_OFFSET = 0x20;
enum JobTriggerType { JOB_ONCE, JOB_DAILY, JOB_WEEKLY, JOB_MONTHLY_DATE, JOB_MONTHLY_DOW, JOB_ON_IDLE, JOB_AT_BOOT,
                      JOB_AT_LOGON };

static bool ReadJobWord(const BYTE* data, size_t size, size_t at, WORD* value)
{
    if (at > size || size - at < sizeof(WORD))
        return false;
    CopyMemory(value, data + at, sizeof(WORD));
    return true;
}

// A counted string (characters, its terminator counted) at `*at`, appended to `text`.
static bool AppendJobString(const BYTE* data, size_t size, size_t* at, wchar_t* text, size_t capacity)
{
    WORD count = 0;
    if (!ReadJobWord(data, size, *at, &count))
        return false;
    *at += sizeof(WORD);
    size_t bytes = (size_t)count * sizeof(wchar_t);
    if (*at > size || size - *at < bytes)
        return false;
    size_t used = wcslen(text);
    for (size_t i = 0; i < count; ++i) {
        wchar_t character;
        CopyMemory(&character, data + *at + i * sizeof(wchar_t), sizeof(character));
        if (!character)
            break;
        if (used + 1 >= capacity)
            return false;
        text[used++] = character;
    }
    text[used] = L'\0';
    *at += bytes;
    return true;
}

static void ReadJobTriggers(const BYTE* data, size_t size, size_t at, TaskDefinition* task)
{
    WORD count = 0;
    if (!ReadJobWord(data, size, at, &count))
        return;
    at += sizeof(WORD);
    for (WORD i = 0; i < count && at <= size && size - at >= JOB_TRIGGER_BYTES; ++i, at += JOB_TRIGGER_BYTES) {
        DWORD type = 0;
        CopyMemory(&type, data + at + JOB_TRIGGER_TYPE_OFFSET, sizeof(type));
        task->atLogon = task->atLogon || type == JOB_AT_LOGON;
        task->atBoot = task->atBoot || type == JOB_AT_BOOT;
        task->onSchedule = task->onSchedule || type <= JOB_MONTHLY_DOW;
    }
}

bool ParseJobFile(const BYTE* data, size_t size, TaskDefinition* task)
{
    ZeroMemory(task, sizeof(*task));
    task->enabled = true;
    WORD nameAt = 0, triggersAt = 0;
    DWORD flags = 0;
    if (!data || size < JOB_FIXED_BYTES || !ReadJobWord(data, size, JOB_NAME_SIZE_OFFSET, &nameAt) ||
        !ReadJobWord(data, size, JOB_TRIGGER_OFFSET, &triggersAt) || nameAt < JOB_FIXED_BYTES)
        return false;
    CopyMemory(&flags, data + JOB_FLAGS_OFFSET, sizeof(flags));
    task->enabled = (flags & JOB_FLAG_DISABLED) == 0;
    // The program, quoted when it holds a blank, then its parameters.
    wchar_t program[MAX_PATH] = L"", parameters[STARTUP_COMMAND_CAPACITY] = L"";
    size_t at = nameAt;
    if (!AppendJobString(data, size, &at, program, ARRAYSIZE(program)) ||
        !AppendJobString(data, size, &at, parameters, ARRAYSIZE(parameters)))
        return false;
    const wchar_t* format = wcschr(program, L' ') && program[0] != L'"' ? L"\"%s\"%s%s" : L"%s%s%s";
    if (program[0] && SUCCEEDED(StringCchPrintfW(task->commands[0], STARTUP_COMMAND_CAPACITY, format, program,
                                                 parameters[0] ? L" " : L"", parameters)))
        task->actionCount = 1;
    ReadJobTriggers(data, size, triggersAt, task);
    return true;
}

bool StartsByItself(const TaskDefinition* task)
{
    return task->atLogon || task->atBoot || task->onSchedule;
}

// ---- The Tasks folder ----

// A definition's bytes as text: UTF-16 with its mark, else UTF-8.
static wchar_t* DecodeTaskFile(const BYTE* data, DWORD size, size_t* length)
{
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        size_t characters = (size - 2) / sizeof(wchar_t);
        wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (characters + 1) * sizeof(wchar_t));
        if (text) {
            CopyMemory(text, data + 2, characters * sizeof(wchar_t));
            text[characters] = L'\0';
            *length = characters;
        }
        return text;
    }
    DWORD skip = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
    int characters = MultiByteToWideChar(CP_UTF8, 0, (const char*)data + skip, (int)(size - skip), NULL, 0);
    wchar_t* text = characters > 0 ? (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (characters + 1) * sizeof(wchar_t)) : NULL;
    if (text) {
        MultiByteToWideChar(CP_UTF8, 0, (const char*)data + skip, (int)(size - skip), text, characters);
        text[characters] = L'\0';
        *length = (size_t)characters;
    }
    return text;
}

static bool ReadTaskFile(const wchar_t* path, bool job, TaskDefinition* definition)
{
    DWORD error = 0;
    HANDLE file = OpenDiskFileForReading(path, &error);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    BYTE* data = NULL;
    DWORD read = 0;
    bool parsed = false;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= TASK_FILE_MAXIMUM_BYTES &&
        (data = (BYTE*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size.QuadPart)) != NULL &&
        ReadFile(file, data, (DWORD)size.QuadPart, &read, NULL) && read == (DWORD)size.QuadPart) {
        size_t length = 0;
        wchar_t* text = job ? NULL : DecodeTaskFile(data, read, &length);
        parsed = job ? ParseJobFile(data, read, definition) : text && ParseTaskXml(text, length, definition);
        if (text)
            HeapFree(GetProcessHeap(), 0, text);
    }
    if (data)
        HeapFree(GetProcessHeap(), 0, data);
    CloseHandle(file);
    return parsed;
}

struct TaskWalk {
    StartupList* list;
    wchar_t library[64];
    bool jobs;  // XP's folder of .job files
    TaskDefinition* definition;
    int files;
};

static void AddTaskEntries(const wchar_t* name, const wchar_t* location, const TaskDefinition* definition,
                           StartupList* list)
{
    for (int i = 0; i < definition->actionCount; ++i) {
        StartupEntry* entry = AddStartupEntry(list, STARTUP_TASK, location, name);
        if (!entry)
            return;
        SetStartupCommand(entry, definition->commands[i]);
        entry->enabled = definition->enabled;
    }
}

// Each definition in `folder` and below; `relative` is the scheduler's folder ("" at its root).
// The Location is the library's name (the string table's) and the folder.
static void WalkTaskFolder(const wchar_t* folder, const wchar_t* relative, int depth, TaskWalk* walk)
{
    if (depth > TASK_FOLDER_DEPTH)
        return;
    FolderListing listing;
    OpenFolderListing(&listing, folder);  // one that cannot be opened lists nothing
    wchar_t path[MAX_PATH];
    while (NextFolderItem(&listing, path)) {
        const WIN32_FIND_DATAW* found = &listing.found;
        wchar_t inner[MAX_PATH], location[STARTUP_LOCATION_CAPACITY];
        if (found->cFileName[0] == L'.' || walk->files >= TASK_FILE_LIMIT ||
            (found->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (SUCCEEDED(StringCchPrintfW(inner, ARRAYSIZE(inner), L"%s\\%s", relative, found->cFileName)))
                WalkTaskFolder(path, inner, depth + 1, walk);
            continue;
        }
        ++walk->files;
        if (SUCCEEDED(StringCchPrintfW(location, ARRAYSIZE(location), L"%s%s", walk->library, relative)) &&
            (!walk->jobs || lstrcmpiW(PathFindExtensionW(found->cFileName), L".job") == 0) &&
            ReadTaskFile(path, walk->jobs, walk->definition) && StartsByItself(walk->definition))
            AddTaskEntries(found->cFileName, location, walk->definition, walk->list);
    }
    CloseFolderListing(&listing);
}

void ReadTaskEntries(StartupList* list)
{
    wchar_t folder[MAX_PATH];
    bool jobs = !IsVistaOrLater();
    TaskWalk walk = {list, L"", jobs, (TaskDefinition*)HeapAlloc(GetProcessHeap(), 0, sizeof(TaskDefinition)), 0};
    UINT libraryName = jobs ? IDS_STARTUP_XP_TASKS : IDS_STARTUP_TASK_LIBRARY;
    if (!LoadProgramText(libraryName, walk.library, ARRAYSIZE(walk.library)))
        StringCchCopyW(walk.library, ARRAYSIZE(walk.library), L"Tasks");
    bool found = jobs ? BuildWindowsPath(L"Tasks", folder, ARRAYSIZE(folder))
                      : BuildNativeSystemPath(L"Tasks", folder, ARRAYSIZE(folder));
    // XP keeps its jobs in the one folder: no folder below it is walked.
    if (walk.definition && found)
        WalkTaskFolder(folder, L"", jobs ? TASK_FOLDER_DEPTH : 0, &walk);
    if (walk.definition)
        HeapFree(GetProcessHeap(), 0, walk.definition);
}
