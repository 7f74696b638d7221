#include "core/process_services.h"
#include <strsafe.h>
#include "core/registry_text.h"
#include "core/scoped_handles.h"

// Every service of a busy system fits many times over; a larger answer is not read.
static const DWORD SERVICE_LIST_LIMIT = 4 * 1024 * 1024;


bool ReadServiceDll(const wchar_t* serviceName, wchar_t* dll)
{
    static const wchar_t* const subkeys[] = {L"\\Parameters", L""};
    bool found = false;
    for (size_t i = 0; i < ARRAYSIZE(subkeys) && !found; ++i) {
        wchar_t path[MAX_PATH + SERVICE_NAME_CAPACITY];
        ScopedKey key;
        found = SUCCEEDED(StringCchPrintfW(path, ARRAYSIZE(path), L"SYSTEM\\CurrentControlSet\\Services\\%s%s",
                                           serviceName, subkeys[i])) &&
                RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS &&
                ReadRegistryText(key.Get(), L"ServiceDll", dll);
    }
    if (!found)
        dll[0] = L'\0';
    return found;
}

size_t ListProcessServices(DWORD processId, HostedService* services, size_t capacity)
{
    if (processId == 0 || capacity == 0)
        return 0;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager)
        return 0;
    size_t count = 0;
    DWORD bytes = 64 * 1024;
    BYTE* list = NULL;
    for (int attempt = 0; attempt < 3 && bytes <= SERVICE_LIST_LIMIT; ++attempt) {
        list = (BYTE*)HeapAlloc(GetProcessHeap(), 0, bytes);
        DWORD needed = 0, returned = 0, resume = 0;
        if (!list)
            break;
        if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, list, bytes,
                                  &needed, &returned, &resume, NULL)) {
            const ENUM_SERVICE_STATUS_PROCESSW* entries = (const ENUM_SERVICE_STATUS_PROCESSW*)list;
            for (DWORD i = 0; i < returned && i < bytes / sizeof(*entries) && count < capacity; ++i) {
                if (entries[i].ServiceStatusProcess.dwProcessId != processId || !entries[i].lpServiceName ||
                    FAILED(StringCchCopyW(services[count].name, SERVICE_NAME_CAPACITY, entries[i].lpServiceName)))
                    continue;
                ReadServiceDll(services[count].name, services[count].dll);
                ++count;
            }
            break;
        }
        HeapFree(GetProcessHeap(), 0, list);
        list = NULL;
        // Services may start between the two calls: ask again with room to spare.
        if (GetLastError() != ERROR_MORE_DATA)
            break;
        bytes = needed + 16 * 1024;
    }
    if (list)
        HeapFree(GetProcessHeap(), 0, list);
    CloseServiceHandle(manager);
    return count;
}
