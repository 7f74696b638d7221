#include "core/process_services.h"
#include <strsafe.h>
#include "core/kept_table.h"
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

// Which process runs each active Win32 service, as one answer of the manager gave it.
struct ServiceProcess {
    DWORD processId;
    wchar_t name[SERVICE_NAME_CAPACITY];
};

struct ServiceTable {
    ServiceProcess* entries;
    size_t count;
};

static void FreeServiceTable(ServiceTable* table)
{
    if (table->entries)
        HeapFree(GetProcessHeap(), 0, table->entries);
    ZeroMemory(table, sizeof(*table));
}

// Asks the manager (EnumServicesStatusExW) once; false when it cannot be asked.
static bool ReadServiceTable(ServiceTable* table)
{
    FreeServiceTable(table);
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager)
        return false;
    DWORD bytes = 64 * 1024;
    bool read = false;
    for (int attempt = 0; attempt < 3 && bytes <= SERVICE_LIST_LIMIT && !read; ++attempt) {
        BYTE* list = (BYTE*)HeapAlloc(GetProcessHeap(), 0, bytes);
        DWORD needed = 0, returned = 0, resume = 0;
        if (!list)
            break;
        read = EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, list, bytes,
                                     &needed, &returned, &resume, NULL) != FALSE;
        DWORD error = GetLastError();
        if (read) {
            const ENUM_SERVICE_STATUS_PROCESSW* entries = (const ENUM_SERVICE_STATUS_PROCESSW*)list;
            size_t count = returned < bytes / sizeof(*entries) ? returned : bytes / sizeof(*entries);
            table->entries = (ServiceProcess*)HeapAlloc(GetProcessHeap(), 0, (count + 1) * sizeof(ServiceProcess));
            for (size_t i = 0; table->entries && i < count; ++i) {
                ServiceProcess* entry = &table->entries[table->count];
                entry->processId = entries[i].ServiceStatusProcess.dwProcessId;
                if (entries[i].lpServiceName &&
                    SUCCEEDED(StringCchCopyW(entry->name, SERVICE_NAME_CAPACITY, entries[i].lpServiceName)))
                    ++table->count;
            }
        }
        HeapFree(GetProcessHeap(), 0, list);
        // Services may start between the two calls: ask again with room to spare.
        if (!read && error != ERROR_MORE_DATA)
            break;
        bytes = needed + 16 * 1024;
    }
    CloseServiceHandle(manager);
    return read;
}

static size_t MatchServiceTable(const ServiceTable* table, DWORD processId, HostedService* services, size_t capacity)
{
    size_t count = 0;
    for (size_t i = 0; processId != 0 && i < table->count && count < capacity; ++i) {
        if (table->entries[i].processId != processId ||
            FAILED(StringCchCopyW(services[count].name, SERVICE_NAME_CAPACITY, table->entries[i].name)))
            continue;
        ReadServiceDll(services[count].name, services[count].dll);
        ++count;
    }
    return count;
}

size_t ListProcessServices(DWORD processId, HostedService* services, size_t capacity)
{
    ServiceTable table = {};
    size_t count = processId && capacity && ReadServiceTable(&table) ? MatchServiceTable(&table, processId, services, capacity)
                                                                     : 0;
    FreeServiceTable(&table);
    return count;
}

// Kept for the rows: one question to the manager per process listed would cost seconds.
static ServiceTable keptServices;
static KeptTable kept;

size_t ListProcessServicesRecently(DWORD processId, ULONGLONG processStarted, DWORD maximumAgeMs,
                                   HostedService* services, size_t capacity)
{
    if (processId == 0 || capacity == 0)
        return 0;
    bool fresh = EnterKeptTable(&kept, maximumAgeMs);
    // The rule: a process started after the table was read may run services it does not know.
    if (!fresh || processStarted == 0 || processStarted >= kept.readAt) {
        MarkKeptTableRead(&kept);
        if (!ReadServiceTable(&keptServices))
            kept.held = false;
    }
    size_t count = kept.held ? MatchServiceTable(&keptServices, processId, services, capacity) : 0;
    LeaveKeptTable(&kept);
    return count;
}
