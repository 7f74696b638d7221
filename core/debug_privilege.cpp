#include "core/debug_privilege.h"
#include "core/lazy_lock.h"

// The privilege is the process's, shared by every thread: one count for all.
static CRITICAL_SECTION lock;
static volatile LONG lockState;
static int users;

static void MakeLock()
{
    MakeLockOnce(&lock, &lockState);
}

static void SetDebugPrivilege(bool enabled)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof(privileges));
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
    if (LookupPrivilegeValueW(NULL, L"SeDebugPrivilege", &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), NULL, NULL);
    CloseHandle(token);
}

void BeginDebugPrivilege()
{
    MakeLock();
    EnterCriticalSection(&lock);
    if (users++ == 0)
        SetDebugPrivilege(true);
    LeaveCriticalSection(&lock);
}

void EndDebugPrivilege()
{
    MakeLock();
    EnterCriticalSection(&lock);
    if (users > 0 && --users == 0)
        SetDebugPrivilege(false);
    LeaveCriticalSection(&lock);
}
