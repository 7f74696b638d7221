#include "core/folder_access.h"
#include <strsafe.h>
#include "core/file_name_case.h"
#include "core/handed_path.h"
#include "core/lazy_lock.h"
#include "core/scoped_handles.h"

static const int TOKEN_ELEVATION_TYPE_CLASS = 18;  // TokenElevationType
static const int TOKEN_LINKED_TOKEN_CLASS = 19;    // TokenLinkedToken
static const DWORD ELEVATION_TYPE_FULL = 2;        // TokenElevationTypeFull

// The token the user writes with, at identification level (enough for an
// access check); NULL when none can be had.
static HANDLE OpenUserToken()
{
    HANDLE process = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process))
        return NULL;
    ScopedHandle own(process);
    DWORD elevation = 0, bytes = 0;
    HANDLE user = NULL;
    if (GetTokenInformation(process, (TOKEN_INFORMATION_CLASS)TOKEN_ELEVATION_TYPE_CLASS, &elevation,
                            sizeof(elevation), &bytes) &&
        elevation == ELEVATION_TYPE_FULL) {
        HANDLE linked = NULL;
        if (GetTokenInformation(process, (TOKEN_INFORMATION_CLASS)TOKEN_LINKED_TOKEN_CLASS, &linked, sizeof(linked),
                                &bytes))
            return linked;
        return NULL;  // elevated, without the user's own token: no answer rather than the administrator's
    }
    if (!DuplicateToken(process, SecurityIdentification, &user))
        return NULL;
    return user;
}

// The folder's owner, group and DACL, read through a handle to the folder
// itself; NULL when they cannot be read. The caller frees it.
static PSECURITY_DESCRIPTOR ReadFolderSecurity(const wchar_t* folder)
{
    if (!IsProbeableName(folder))
        return NULL;
    ScopedHandle handle(CreateFileW(folder, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                    OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL));
    if (!handle.Valid() || GetFileType(handle.Get()) != FILE_TYPE_DISK)
        return NULL;
    SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetKernelObjectSecurity(handle.Get(), parts, NULL, 0, &needed);
    if (needed == 0 || needed > 64 * 1024)
        return NULL;
    PSECURITY_DESCRIPTOR security = HeapAlloc(GetProcessHeap(), 0, needed);
    if (security && !GetKernelObjectSecurity(handle.Get(), parts, security, needed, &needed)) {
        HeapFree(GetProcessHeap(), 0, security);
        security = NULL;
    }
    return security;
}

FolderAccess CheckUserCanAddFile(const wchar_t* folder)
{
    PSECURITY_DESCRIPTOR security = ReadFolderSecurity(folder);
    if (!security)
        return FOLDER_ACCESS_UNKNOWN;
    FolderAccess access = FOLDER_ACCESS_UNKNOWN;
    ScopedHandle token(OpenUserToken());
    if (token.Valid()) {
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        BYTE privileges[sizeof(PRIVILEGE_SET) + 8 * sizeof(LUID_AND_ATTRIBUTES)];
        DWORD privilegesLength = sizeof(privileges), granted = 0;
        BOOL allowed = FALSE;
        if (AccessCheck(security, token.Get(), FILE_ADD_FILE, &mapping, (PPRIVILEGE_SET)privileges, &privilegesLength,
                        &granted, &allowed))
            access = allowed ? FOLDER_WRITABLE_BY_USER : FOLDER_NOT_WRITABLE_BY_USER;
    }
    HeapFree(GetProcessHeap(), 0, security);
    return access;
}

static const int FOLDER_MEMO_ENTRIES = 16;
static const DWORD FOLDER_MEMO_AGE_MS = 2000;
struct FolderAnswer {
    wchar_t folder[MAX_PATH];
    FolderAccess access;
    DWORD readAt;
};
static FolderAnswer folderMemo[FOLDER_MEMO_ENTRIES];
static int folderMemoNext;
// Over the memo; never held while the folder is asked.
static CRITICAL_SECTION memoLock;
static volatile LONG memoLockState;

static bool FindFolderAnswer(const wchar_t* folder, FolderAccess* access)
{
    DWORD now = GetTickCount();
    for (int i = 0; i < FOLDER_MEMO_ENTRIES; ++i) {
        const FolderAnswer* answer = &folderMemo[i];
        size_t length = wcslen(answer->folder);
        if (length && now - answer->readAt <= FOLDER_MEMO_AGE_MS && length == wcslen(folder) &&
            EqualAsFileNames(answer->folder, folder, length)) {
            *access = answer->access;
            return true;
        }
    }
    return false;
}

FolderAccess CheckUserCanAddFileRecently(const wchar_t* folder)
{
    MakeLockOnce(&memoLock, &memoLockState);
    FolderAccess access = FOLDER_ACCESS_UNKNOWN;
    EnterCriticalSection(&memoLock);
    bool known = FindFolderAnswer(folder, &access);
    LeaveCriticalSection(&memoLock);
    if (known)
        return access;
    access = CheckUserCanAddFile(folder);
    EnterCriticalSection(&memoLock);
    FolderAnswer* answer = &folderMemo[folderMemoNext];
    folderMemoNext = (folderMemoNext + 1) % FOLDER_MEMO_ENTRIES;
    answer->access = access;
    answer->readAt = GetTickCount();
    StringCchCopyW(answer->folder, ARRAYSIZE(answer->folder), folder);
    LeaveCriticalSection(&memoLock);
    return access;
}

bool FindFolderOfFile(const wchar_t* path, wchar_t* folder)
{
    if (FAILED(StringCchCopyW(folder, MAX_PATH, path)))
        return false;
    wchar_t* lastBackslash = wcsrchr(folder, L'\\');
    if (!lastBackslash || lastBackslash - folder < 2)
        return false;
    lastBackslash[lastBackslash - folder == 2 ? 1 : 0] = L'\0';
    return true;
}
