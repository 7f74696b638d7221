#include "lookup/host_payload.h"
#include <strsafe.h>
#include "core/process_command_line.h"
#include "core/process_services.h"
#include "lookup/payload_resolution.h"

// How old the service manager's answer may be for a row.
static const DWORD SERVICE_ANSWER_AGE_MS = 2000;

static const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* backslash = wcsrchr(path, L'\\');
    const wchar_t* slash = wcsrchr(path, L'/');
    const wchar_t* last = backslash > slash ? backslash : slash;
    return last ? last + 1 : path;
}

// Appends "first (second)" or "first" to the cell, or nothing when it would not fit.
static void AddRunsEntry(HostPayload* payload, const wchar_t* first, const wchar_t* second)
{
    wchar_t entry[HOST_RUNS_CAPACITY];
    HRESULT made = second && second[0] ? StringCchPrintfW(entry, ARRAYSIZE(entry), L"%s (%s)", first, second)
                                       : StringCchCopyW(entry, ARRAYSIZE(entry), first);
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
        if (lstrcmpiW(payload->files[i], path) == 0)
            return;
    if (payload->fileCount < HOST_PAYLOAD_FILES &&
        SUCCEEDED(StringCchCopyW(payload->files[payload->fileCount], MAX_PATH, path)))
        ++payload->fileCount;
}

// processStarted: 0 asks the service manager afresh; else an answer of a
// moment ago serves, unless the process is newer than it.
static void AddServices(DWORD processId, ULONGLONG processStarted, HostPayload* payload)
{
    HostedService* services =
        (HostedService*)HeapAlloc(GetProcessHeap(), 0, PROCESS_SERVICES_CAPACITY * sizeof(HostedService));
    if (!services)
        return;
    size_t count = processStarted ? ListProcessServicesRecently(processId, processStarted, SERVICE_ANSWER_AGE_MS,
                                                                services, PROCESS_SERVICES_CAPACITY)
                                  : ListProcessServices(processId, services, PROCESS_SERVICES_CAPACITY);
    for (size_t i = 0; i < count; ++i) {
        AddRunsEntry(payload, services[i].name, services[i].dll[0] ? FileNamePart(services[i].dll) : NULL);
        if (services[i].dll[0])
            AddPayloadFile(payload, services[i].dll);
    }
    HeapFree(GetProcessHeap(), 0, services);
}

// The process's current folder, read once and only when asked for.
struct CurrentFolder {
    DWORD processId;
    bool read;
    wchar_t path[MAX_PATH];
};

static const wchar_t* GetCurrentFolder(CurrentFolder* folder)
{
    if (!folder->read)
        ReadProcessCurrentFolder(folder->processId, folder->path);
    folder->read = true;
    return folder->path;
}

static void AddNamedFile(const wchar_t* name, HostFileSearch search, CurrentFolder* folder, HostPayload* payload)
{
    wchar_t path[MAX_PATH];
    bool whole = (name[0] && name[1] == L':' && (name[2] == L'\\' || name[2] == L'/')) ||
                 (name[0] == L'\\' && name[1] == L'\\');
    bool found = ResolveHostFile(name, search, whole ? NULL : GetCurrentFolder(folder), path);
    if (found)
        AddPayloadFile(payload, path);
    AddRunsEntry(payload, FileNamePart(found ? path : name), NULL);
}

static void AddAppIdServers(const wchar_t* appId, CurrentFolder* folder, HostPayload* payload)
{
    wchar_t (*dlls)[MAX_PATH] = (wchar_t (*)[MAX_PATH])HeapAlloc(GetProcessHeap(), 0, HOST_PAYLOAD_FILES * MAX_PATH * sizeof(wchar_t));
    size_t count = dlls ? FindAppIdServerDlls(appId, dlls, HOST_PAYLOAD_FILES) : 0;
    for (size_t i = 0; i < count; ++i)
        AddNamedFile(dlls[i], HOST_SEARCH_DLL, folder, payload);
    if (count == 0)
        AddRunsEntry(payload, appId, NULL);
    if (dlls)
        HeapFree(GetProcessHeap(), 0, dlls);
}

static void AddCommand(const HostCommand* command, CurrentFolder* folder, HostPayload* payload)
{
    for (size_t i = 0; i < command->fileCount; ++i)
        AddNamedFile(command->files[i], command->search, folder, payload);
    payload->textKind = command->textKind;
    StringCchCopyW(payload->text, HOST_TEXT_CAPACITY, command->text);
    switch (command->textKind) {
    case HOST_TEXT_ENCODED_COMMAND:
        AddRunsEntry(payload, L"(encoded command)", NULL);
        break;
    case HOST_TEXT_APPID:
        AddAppIdServers(command->text, folder, payload);
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

bool ReadHostPayload(DWORD processId, const wchar_t* imageName, const wchar_t* commandLine, HostPayload* payload)
{
    return ReadRowHostPayload(processId, 0, imageName, commandLine, payload);
}

bool ReadRowHostPayload(DWORD processId, ULONGLONG processStarted, const wchar_t* imageName,
                        const wchar_t* commandLine, HostPayload* payload)
{
    ZeroMemory(payload, sizeof(*payload));
    AddServices(processId, processStarted, payload);
    if (!FindHostCommandParser(imageName))
        return payload->runs[0] != L'\0';

    // The split line and the parsed command are large: on the heap, as the
    // caller's thread may have a small stack.
    struct Scratch {
        CommandArgs args;
        HostCommand command;
        wchar_t line[COMMAND_LINE_CAPACITY];
    };
    Scratch* scratch = (Scratch*)HeapAlloc(GetProcessHeap(), 0, sizeof(Scratch));
    if (!scratch)
        return payload->runs[0] != L'\0';
    if (!commandLine) {
        ReadProcessCommandLine(processId, scratch->line);
        commandLine = scratch->line;
    }
    CurrentFolder folder = {processId, false, L""};
    if (ParseHostCommand(imageName, commandLine, &scratch->args, &scratch->command))
        AddCommand(&scratch->command, &folder, payload);
    HeapFree(GetProcessHeap(), 0, scratch);
    return payload->runs[0] != L'\0';
}
