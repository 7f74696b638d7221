#include "lookup/host_payload.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/mapped_images.h"
#include "core/process_command_line.h"
#include "core/process_services.h"
#include "core/system_probes.h"
#include "core/seams.h"
#include "lookup/payload_resolution.h"
#include "resource.h"

// How old the service manager's answer may be for a row.
static const DWORD SERVICE_ANSWER_AGE_MS = 2000;
// A host younger than this may not have loaded what it names yet.
static const ULONGLONG LOADING_TIME = 2000 * 10000ULL;

static const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* backslash = wcsrchr(path, L'\\');
    const wchar_t* slash = wcsrchr(path, L'/');
    const wchar_t* last = backslash > slash ? backslash : slash;
    return last ? last + 1 : path;
}

// Appends "first (second)suffix" to the cell, or nothing when it would not fit.
static void AddRunsEntry(HostPayload* payload, const wchar_t* first, const wchar_t* second, const wchar_t* suffix = L"")
{
    wchar_t entry[HOST_RUNS_CAPACITY];
    HRESULT made = second && second[0] ? StringCchPrintfW(entry, ARRAYSIZE(entry), L"%s (%s)%s", first, second, suffix)
                                       : StringCchPrintfW(entry, ARRAYSIZE(entry), L"%s%s", first, suffix);
    if (FAILED(made) || entry[0] == L'\0')
        return;
    wchar_t joined[HOST_RUNS_CAPACITY];
    if (SUCCEEDED(StringCchCopyW(joined, ARRAYSIZE(joined), payload->runs)) &&
        (!joined[0] || SUCCEEDED(StringCchCatW(joined, ARRAYSIZE(joined), L", "))) &&
        SUCCEEDED(StringCchCatW(joined, ARRAYSIZE(joined), entry)))
        StringCchCopyW(payload->runs, ARRAYSIZE(payload->runs), joined);
}

static void AddPayloadFile(HostPayload* payload, const wchar_t* path)
{
    for (size_t i = 0; i < payload->fileCount; ++i)
        if (EqualFoldingAsciiLetters(payload->files[i], path, MAX_PATH))
            return;
    if (payload->fileCount < HOST_PAYLOAD_FILES &&
        SUCCEEDED(StringCchCopyW(payload->files[payload->fileCount], MAX_PATH, path)))
        ++payload->fileCount;
}

// What the host's process tells of where it looks, read once each and only when asked for.
struct HostContext {
    DWORD processId;
    HANDLE process;
    bool canConfirm;  // its mapped images can be read, and it has had time to load them
    bool currentRead;
    wchar_t current[MAX_PATH];
    wchar_t hostFolder[MAX_PATH];
    wchar_t systemFolder[MAX_PATH];
};

static const wchar_t* GetCurrentFolder(HostContext* context)
{
    if (!context->currentRead)
        ReadProcessCurrentFolder(context->processId, context->current);
    context->currentRead = true;
    return context->current;
}

static HostSearchPlaces SearchPlaces(HostContext* context, const wchar_t* name)
{
    bool whole = (name[0] && name[1] == L':' && (name[2] == L'\\' || name[2] == L'/')) ||
                 (name[0] == L'\\' && name[1] == L'\\');
    HostSearchPlaces places = {context->hostFolder, context->systemFolder, whole ? NULL : GetCurrentFolder(context)};
    return places;
}

// processStarted: 0 asks the service manager afresh; else an answer of a
// moment ago serves, unless the process is newer than it. A ServiceDll the
// user may have written is found as a DLL, never probed unless a drive path.
static void AddServices(HostContext* context, ULONGLONG processStarted, HostPayload* payload)
{
    HostedService* services =
        (HostedService*)HeapAlloc(GetProcessHeap(), 0, PROCESS_SERVICES_CAPACITY * sizeof(HostedService));
    if (!services)
        return;
    DWORD processId = context->processId;
    size_t count = processStarted ? ListProcessServicesRecently(processId, processStarted, SERVICE_ANSWER_AGE_MS,
                                                                services, PROCESS_SERVICES_CAPACITY)
                                  : ListProcessServices(processId, services, PROCESS_SERVICES_CAPACITY);
    HostSearchPlaces places = {context->hostFolder, context->systemFolder, NULL};
    for (size_t i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH];
        bool found = services[i].dll[0] && ResolveHostFile(services[i].dll, HOST_SEARCH_DLL, &places, path);
        if (found)
            AddPayloadFile(payload, path);
        else if (services[i].dll[0])
            payload->unknown = true;
        AddRunsEntry(payload, services[i].name,
                     services[i].dll[0] ? FileNamePart(found ? path : services[i].dll) : NULL);
    }
    HeapFree(GetProcessHeap(), 0, services);
}

struct LoadedSearch {
    const wchar_t* resolved;  // the path the search found, or ""
    const wchar_t* fileName;  // the name the loader would look for
    bool exact;
    wchar_t sameName[MAX_PATH];  // the first image of that name elsewhere
};

static bool MatchLoadedImage(const wchar_t* path, void* context)
{
    LoadedSearch* search = (LoadedSearch*)context;
    search->exact = search->resolved[0] && EqualFoldingAsciiLetters(path, search->resolved, MAX_PATH);
    if (!search->sameName[0] && EqualFoldingAsciiLetters(FileNamePart(path), search->fileName, MAX_PATH))
        StringCchCopyW(search->sameName, MAX_PATH, path);
    return !search->exact;
}

// Whether the DLL is mapped in the host: the resolved file itself, or one of
// its name the loader took from elsewhere (then `path` becomes that file).
static bool ConfirmLoaded(HostContext* context, const wchar_t* name, bool found, wchar_t* path)
{
    wchar_t fileName[MAX_PATH];
    if (FAILED(StringCchCopyW(fileName, MAX_PATH, FileNamePart(found ? path : name))))
        return false;
    if (!wcschr(fileName, L'.') && FAILED(StringCchCatW(fileName, MAX_PATH, L".dll")))
        return false;
    LoadedSearch search = {found ? path : L"", fileName, false, L""};
    if (!VisitMappedImages(context->process, MatchLoadedImage, &search))
        return true;  // cannot tell: the name stands as found
    if (!search.exact && search.sameName[0])
        StringCchCopyW(path, MAX_PATH, search.sameName);
    return search.exact || search.sameName[0] != L'\0';
}

static void AddNamedFile(const wchar_t* name, HostFileSearch search, HostContext* context, bool shown,
                         HostPayload* payload)
{
    wchar_t path[MAX_PATH];
    HostSearchPlaces places = SearchPlaces(context, name);
    bool found = ResolveHostFile(name, search, &places, path);
    bool loaded = true;
    if (search == HOST_SEARCH_DLL && context->canConfirm) {
        loaded = ConfirmLoaded(context, name, found, path);
        found = found || loaded;
    }
    if (found)
        AddPayloadFile(payload, path);
    if (!found || !loaded)
        payload->unknown = true;
    wchar_t notLoaded[64] = L"";
    if (!loaded && !LoadProgramText(IDS_NOT_LOADED_SUFFIX, notLoaded, ARRAYSIZE(notLoaded)))
        notLoaded[0] = L'\0';
    if (shown)
        AddRunsEntry(payload, FileNamePart(found ? path : name), NULL, notLoaded);
}

static void AddAppIdServers(const wchar_t* appId, HostContext* context, HostPayload* payload)
{
    wchar_t (*dlls)[MAX_PATH] = (wchar_t (*)[MAX_PATH])HeapAlloc(GetProcessHeap(), 0, HOST_PAYLOAD_FILES * MAX_PATH * sizeof(wchar_t));
    size_t count = dlls ? FindAppIdServerDlls(appId, dlls, HOST_PAYLOAD_FILES) : 0;
    for (size_t i = 0; i < count; ++i)
        AddNamedFile(dlls[i], HOST_SEARCH_DLL, context, true, payload);
    if (count == 0) {
        AddRunsEntry(payload, appId, NULL);
        payload->unknown = true;
    }
    if (dlls)
        HeapFree(GetProcessHeap(), 0, dlls);
}

// A cmd line that may run more than its first word: the text after /c or /k, whole.
static void AddShellText(const wchar_t* commandLine, size_t start, HostPayload* payload)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(commandLine, COMMAND_LINE_CAPACITY, &length)) || start >= length)
        return;
    wchar_t text[HOST_RUNS_CAPACITY];
    StringCchCopyNW(text, ARRAYSIZE(text), commandLine + start, length - start);
    for (size_t end = wcslen(text); end && (text[end - 1] == L' ' || text[end - 1] == L'\t'); --end)
        text[end - 1] = L'\0';
    AddRunsEntry(payload, text, NULL);
}

static void AddCommand(const HostCommand* command, const wchar_t* commandLine, HostContext* context,
                       HostPayload* payload)
{
    bool shellText = command->shellTextStart != 0;
    for (size_t i = 0; i < command->fileCount; ++i)
        AddNamedFile(command->files[i], command->search, context, !shellText, payload);
    if (shellText)
        AddShellText(commandLine, command->shellTextStart, payload);
    payload->unknown = payload->unknown || command->unknown;
    payload->textKind = command->textKind;
    StringCchCopyW(payload->text, HOST_TEXT_CAPACITY, command->text);
    switch (command->textKind) {
    case HOST_TEXT_ENCODED_COMMAND: {
        wchar_t encoded[64];
        if (LoadProgramText(IDS_RUNS_ENCODED_COMMAND, encoded, ARRAYSIZE(encoded)))
            AddRunsEntry(payload, encoded, NULL);
        break;
    }
    case HOST_TEXT_APPID:
        AddAppIdServers(command->text, context, payload);
        break;
    case HOST_TEXT_URL:
    case HOST_TEXT_MODULE:
    case HOST_TEXT_PRODUCT_CODE:
        AddRunsEntry(payload, command->text, NULL);
        break;
    default:
        break;
    }
}

// The folder of the host's executable: from its full path when given one,
// else as the system records its image (Vista and later).
static void FindHostFolder(HANDLE process, const wchar_t* imageName, wchar_t* folder)
{
    typedef BOOL (WINAPI* QueryImageNameProc)(HANDLE, DWORD, LPWSTR, PDWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    QueryImageNameProc query =
        kernel ? (QueryImageNameProc)(void*)GetProcAddress(kernel, "QueryFullProcessImageNameW") : NULL;
    DWORD size = MAX_PATH;
    folder[0] = L'\0';
    if (imageName[0] && imageName[1] == L':' && imageName[2] == L'\\')
        StringCchCopyW(folder, MAX_PATH, imageName);
    else if (!process || !query || !query(process, 0, folder, &size) || size >= MAX_PATH)
        folder[0] = L'\0';
    wchar_t* last = wcsrchr(folder, L'\\');
    if (last)
        *last = L'\0';
    else
        folder[0] = L'\0';
}

// Whether the host has run long enough to have mapped the DLLs its line names.
static bool HasHadTimeToLoad(HANDLE process)
{
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return false;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG start = ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
    ULONGLONG current = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return current > start + LOADING_TIME;
}

static void PrepareContext(HANDLE process, DWORD processId, const wchar_t* imageName, HostContext* context)
{
    ZeroMemory(context, sizeof(*context));
    context->processId = processId;
    context->process = process;
    FindHostFolder(process, imageName, context->hostFolder);
    if (!BuildHostSystemFolder(process, context->systemFolder))
        context->systemFolder[0] = L'\0';
    context->canConfirm = process && HasHadTimeToLoad(process);
}

static bool ReadPayload(HANDLE process, DWORD processId, ULONGLONG processStarted, const wchar_t* imageName,
                        const wchar_t* commandLine, HostPayload* payload)
{
    ZeroMemory(payload, sizeof(*payload));
    // Large (two command lines' worth): on the heap, as the caller's thread may have a small stack.
    struct Scratch {
        HostContext context;
        CommandArgs args;
        HostCommand command;
        wchar_t line[COMMAND_LINE_CAPACITY];
    };
    Scratch* scratch = (Scratch*)HeapAlloc(GetProcessHeap(), 0, sizeof(Scratch));
    if (!scratch)
        return false;
    PrepareContext(process, processId, imageName, &scratch->context);
    AddServices(&scratch->context, processStarted, payload);
    if (FindHostCommandParser(imageName)) {
        if (!commandLine) {
            ReadProcessCommandLine(processId, scratch->line);
            commandLine = scratch->line;
        }
        // A host whose line cannot be read could run anything.
        payload->unknown = payload->unknown || commandLine[0] == L'\0';
        if (ParseHostCommand(imageName, commandLine, &scratch->args, &scratch->command))
            AddCommand(&scratch->command, commandLine, &scratch->context, payload);
    }
    HeapFree(GetProcessHeap(), 0, scratch);
    return payload->runs[0] != L'\0';
}

bool ReadHostPayloadOfProcess(HANDLE process, DWORD processId, ULONGLONG processStarted, const wchar_t* imageName,
                              const wchar_t* commandLine, HostPayload* payload)
{
    if (process || processId == 0)
        return ReadPayload(process, processId, processStarted, imageName, commandLine, payload);
    HANDLE opened = seams.openProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!opened)
        opened = seams.openProcess(ProcessQueryAccess(), FALSE, processId);
    bool read = ReadPayload(opened, processId, processStarted, imageName, commandLine, payload);
    if (opened)
        CloseHandle(opened);
    return read;
}

bool ReadHostPayload(DWORD processId, const wchar_t* imageName, const wchar_t* commandLine, HostPayload* payload)
{
    return ReadHostPayloadOfProcess(NULL, processId, 0, imageName, commandLine, payload);
}

bool ReadRowHostPayload(DWORD processId, ULONGLONG processStarted, const wchar_t* imageName,
                        const wchar_t* commandLine, HostPayload* payload)
{
    return ReadHostPayloadOfProcess(NULL, processId, processStarted, imageName, commandLine, payload);
}
