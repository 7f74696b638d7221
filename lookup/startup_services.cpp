// Services and drivers that start by themselves: boot, system, automatic
// (delayed or not), read from their registry keys.
#include <windows.h>
#include "lookup/startup_services.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/process_services.h"
#include "core/scoped_handles.h"
#include "core/system_folders.h"

static const wchar_t SERVICES_KEY[] = L"System\\CurrentControlSet\\Services";

// An ImagePath as a command line: "\SystemRoot\" and a path relative to
// the Windows folder made full, "\??\" taken off.
static bool ServiceCommandLine(const wchar_t* imagePath, wchar_t* command /* STARTUP_COMMAND_CAPACITY */)
{
    static const wchar_t systemRoot[] = L"\\SystemRoot\\";
    static const wchar_t ntPrefix[] = L"\\??\\";
    size_t rootLength = ARRAYSIZE(systemRoot) - 1, prefixLength = ARRAYSIZE(ntPrefix) - 1;
    if (EqualFoldingAsciiLetters(imagePath, systemRoot, rootLength))
        return BuildWindowsPath(imagePath + rootLength, command, STARTUP_COMMAND_CAPACITY);
    if (wcsncmp(imagePath, ntPrefix, prefixLength) == 0)
        return SUCCEEDED(StringCchCopyW(command, STARTUP_COMMAND_CAPACITY, imagePath + prefixLength));
    bool relative = imagePath[0] && imagePath[0] != L'"' && imagePath[0] != L'\\' && imagePath[0] != L'%' &&
                    imagePath[1] != L':' && EqualFoldingAsciiLetters(imagePath, L"system32\\", 9);
    if (relative)
        return BuildWindowsPath(imagePath, command, STARTUP_COMMAND_CAPACITY);
    return SUCCEEDED(StringCchCopyW(command, STARTUP_COMMAND_CAPACITY, imagePath));
}

// A driver without an ImagePath is loaded from system32\drivers by its name.
static bool DefaultDriverCommand(const wchar_t* name, wchar_t* command)
{
    wchar_t file[MAX_PATH];
    return SUCCEEDED(StringCchPrintfW(file, ARRAYSIZE(file), L"drivers\\%s.sys", name)) &&
           BuildSystemPath(file, command, STARTUP_COMMAND_CAPACITY);
}

static void ReadService(HKEY services, const wchar_t* name, const wchar_t* location, wchar_t* scratch,
                        wchar_t* command, StartupList* list)
{
    ScopedKey service;
    DWORD start = 0, type = 0;
    if (RegOpenKeyExW(services, name, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, service.Receive()) != ERROR_SUCCESS ||
        !ReadDwordValue(service.Get(), L"Start", &start) || start > SERVICE_AUTO_START ||
        !ReadDwordValue(service.Get(), L"Type", &type))
        return;
    bool driver = (type & (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER)) != 0;
    bool program = (type & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)) != 0;
    if (!driver && !program)
        return;
    bool tooLong = false;
    bool hasImage = ReadStringValueHead(service.Get(), L"ImagePath", scratch, STARTUP_COMMAND_CAPACITY, &tooLong) &&
                    scratch[0];
    if (hasImage ? !ServiceCommandLine(scratch, command) : !(driver && DefaultDriverCommand(name, command)))
        return;
    StartupEntry* entry = AddStartupEntry(list, driver ? STARTUP_DRIVER : STARTUP_SERVICE, location, name);
    if (!entry)
        return;
    DWORD delayed = 0;
    entry->startType = start;
    entry->delayedStart = start == SERVICE_AUTO_START && ReadDwordValue(service.Get(), L"DelayedAutostart", &delayed) &&
                          delayed == 1;
    SetStartupCommand(entry, command);
    entry->tooLong = entry->tooLong || tooLong;
    // A shared host's service is its DLL.
    wchar_t dll[MAX_PATH];
    if (program && ReadServiceDll(name, dll))
        StringCchCopyW(entry->payload, ARRAYSIZE(entry->payload), dll);
}

void ReadServiceEntries(StartupList* list)
{
    ScopedKey services;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY,
                      services.Receive()) != ERROR_SUCCESS)
        return;
    wchar_t location[STARTUP_LOCATION_CAPACITY];
    StringCchPrintfW(location, ARRAYSIZE(location), L"HKLM\\%s", SERVICES_KEY);
    wchar_t* scratch = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, 2 * STARTUP_COMMAND_CAPACITY * sizeof(wchar_t));
    if (!scratch)
        return;
    wchar_t name[SERVICE_NAME_CAPACITY];
    for (DWORD index = 0; NextSubkeyName(services.Get(), &index, name, ARRAYSIZE(name));)
        ReadService(services.Get(), name, location, scratch, scratch + STARTUP_COMMAND_CAPACITY, list);
    HeapFree(GetProcessHeap(), 0, scratch);
}
