#include "core/process_snapshot.h"

bool WalkProcessSnapshot(ProcessVisitor visit, void* context)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W process;
    ZeroMemory(&process, sizeof(process));
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot, &process); more; more = Process32NextW(snapshot, &process))
        visit(&process, context);
    CloseHandle(snapshot);
    return true;
}
