// The Win32 services a process runs, and the DLL each is, read from the
// service manager and the services' registry keys. Any thread.
#pragma once
#include <windows.h>

// A service's key name is at most 256 characters.
const size_t SERVICE_NAME_CAPACITY = 257;
// A process runs few services; a shared svchost more than this is cut.
const size_t PROCESS_SERVICES_CAPACITY = 64;

struct HostedService {
    wchar_t name[SERVICE_NAME_CAPACITY];
    wchar_t dll[MAX_PATH];  // ServiceDll expanded; empty for a service in its own executable
};

// The running Win32 services whose process is `processId` (EnumServicesStatusExW),
// at most `capacity`, in the manager's order; 0 when none or the manager
// cannot be asked.
size_t ListProcessServices(DWORD processId, HostedService* services, size_t capacity);
// The same from the manager's answer of at most `maximumAgeMs` ago, asked
// again for a process started after it (processStarted: its creation time,
// FILETIME units; 0 asks again): for the rows, one process after another.
size_t ListProcessServicesRecently(DWORD processId, ULONGLONG processStarted, DWORD maximumAgeMs,
                                   HostedService* services, size_t capacity);

// A service's DLL: ServiceDll under its Parameters key, else under its own
// key, REG_SZ or REG_EXPAND_SZ (expanded). False, with an empty path, when
// there is none or it does not fit MAX_PATH.
bool ReadServiceDll(const wchar_t* serviceName, wchar_t* dll /* MAX_PATH */);
