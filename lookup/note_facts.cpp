#include "lookup/note_facts.h"
#include <shlobj.h>
#include <strsafe.h>
#include <wchar.h>
#include "core/final_path.h"
#include "core/folder_access.h"
#include "core/handed_path.h"
#include "core/kept_table.h"
#include "core/system_folders.h"
#include "core/system_probes.h"

// A folder without its trailing backslash, in its long form; empty when
// it cannot be had. The user's shell folders and TEMP are theirs to point
// anywhere: a share or a device is kept as written, never probed.
static void StoreFolder(const wchar_t* folder, wchar_t* stored /* MAX_PATH */)
{
    stored[0] = L'\0';
    if (!folder[0])
        return;
    DWORD length = IsProbeableName(folder) ? GetLongPathNameW(folder, stored, MAX_PATH) : 0;
    if ((length == 0 || length >= MAX_PATH) && FAILED(StringCchCopyW(stored, MAX_PATH, folder))) {
        stored[0] = L'\0';
        return;
    }
    size_t end = wcslen(stored);
    if (end > 3 && stored[end - 1] == L'\\')
        stored[end - 1] = L'\0';
}

static void StoreShellFolder(int csidl, wchar_t* stored)
{
    wchar_t folder[MAX_PATH + 1];
    ZeroMemory(folder, sizeof(folder));
    if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, 0, folder)))
        folder[0] = L'\0';
    StoreFolder(folder, stored);
}

void ReadNoteFolders(NoteFolders* folders)
{
    ZeroMemory(folders, sizeof(*folders));
    wchar_t windows[MAX_PATH];
    if (BuildWindowsPath(L"", windows, ARRAYSIZE(windows)))
        StoreFolder(windows, folders->windows);
    StoreShellFolder(CSIDL_COMMON_APPDATA, folders->programData);
    // The profile holds Downloads, Desktop and AppData unless they were moved:
    // the moved ones and temp are named on their own.
    StoreShellFolder(CSIDL_PROFILE, folders->writable[0]);
    StoreShellFolder(CSIDL_DESKTOPDIRECTORY, folders->writable[1]);
    StoreShellFolder(CSIDL_APPDATA, folders->writable[2]);
    StoreShellFolder(CSIDL_LOCAL_APPDATA, folders->writable[3]);
    wchar_t folder[MAX_PATH + 1];
    ZeroMemory(folder, sizeof(folder));
    DWORD length = GetTempPathW(MAX_PATH, folder);
    StoreFolder(length > 0 && length < MAX_PATH ? folder : L"", folders->writable[4]);
    // %public% from Vista on; XP's All Users documents stand in for it there.
    ZeroMemory(folder, sizeof(folder));
    length = GetEnvironmentVariableW(L"PUBLIC", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        StoreFolder(folder, folders->writable[5]);
    else
        StoreShellFolder(CSIDL_COMMON_DOCUMENTS, folders->writable[5]);
}

static NoteFolders* keptFolders;
static KeptTable kept;

void ReadNoteFoldersRecently(DWORD maximumAgeMs, NoteFolders* folders)
{
    // The rule: age alone; the system's folders change only when the user moves one.
    bool fresh = EnterKeptTable(&kept, maximumAgeMs);
    if (!keptFolders)
        keptFolders = (NoteFolders*)HeapAlloc(GetProcessHeap(), 0, sizeof(NoteFolders));
    if (keptFolders && !fresh) {
        MarkKeptTableRead(&kept);
        ReadNoteFolders(keptFolders);
    }
    if (keptFolders)
        *folders = *keptFolders;
    else
        ReadNoteFolders(folders);
    LeaveKeptTable(&kept);
}

// Whether the user can add a file where the file is (a stream's file's folder).
static FolderAccess CheckFileFolderAccess(const wchar_t* path)
{
    wchar_t folder[MAX_PATH];
    return FindFolderOfFile(path, folder) ? CheckUserCanAddFileRecently(folder) : FOLDER_ACCESS_UNKNOWN;
}

void GatherNoteFacts(const ProcessFacts* process, const wchar_t* folderWithTokens, const wchar_t* company,
                     const SignerCheck* signer, const LogonEntries* logon, const NoteFolders* folders,
                     NoteFacts* facts)
{
    ZeroMemory(facts, sizeof(*facts));
    const FileFacts* file = &process->file;
    // Judged by its one spelling: no 8.3 name or trailing dot dodges a rule.
    if (!MakeFinalPath(file->path, facts->canonicalPath))
        StringCchCopyW(facts->canonicalPath, ARRAYSIZE(facts->canonicalPath), file->path);
    facts->path = facts->canonicalPath;
    facts->folderAccess = CheckFileFolderAccess(facts->canonicalPath);
    facts->folderWithTokens = folderWithTokens;
    facts->company = company;
    facts->signerKnown = signer != NULL;
    facts->signerVerdict = signer ? signer->verdict : SIGNER_UNREADABLE;
    facts->signer = signer ? signer->signer : L"";
    facts->processStart = process->startTime;
    facts->creationTime = file->creationTime;
    facts->lastWriteTime = file->lastWriteTime;
    facts->changeTime = file->changeTime;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    facts->now = ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime;
    facts->attributes = file->attributes;
    facts->driveType = DRIVE_UNKNOWN;
    wchar_t root[MAX_PATH];
    // The root of a drive letter, or of a share (\\server\share\).
    if (facts->path[0] && facts->path[1] == L':' && SUCCEEDED(StringCchCopyNW(root, ARRAYSIZE(root), facts->path, 2)) &&
        SUCCEEDED(StringCchCatW(root, ARRAYSIZE(root), L"\\")))
        facts->driveType = ReadDriveTypeRecently(root);
    facts->logonEntries = logon ? logon->total : 0;
    facts->folders = folders;
}
