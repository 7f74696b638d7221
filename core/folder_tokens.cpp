#include "core/folder_tokens.h"
#include <shlobj.h>
#include <stdlib.h>
#include <wchar.h>
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/background_jobs.h"
#include "core/system_probes.h"
#include "core/scoped_handles.h"

// Order matters: on equally long matches the earlier row wins.
FolderTokenTable folderTokenTable = {{
    {L"programfiles", 0x26, NULL, 0},         // CSIDL_PROGRAM_FILES
    {L"programfilescommon", 0x2B, NULL, 0},   // CSIDL_PROGRAM_FILES_COMMON
    {L"system", 0x25, NULL, 0},               // CSIDL_SYSTEM
    {L"windir", 0x24, NULL, 0},               // CSIDL_WINDOWS
    {L"desktop", 0x10, NULL, 0},              // CSIDL_DESKTOPDIRECTORY
    {L"commondesktop", 0x19, NULL, 0},        // CSIDL_COMMON_DESKTOPDIRECTORY
    {L"startup", 0x07, NULL, 0},              // CSIDL_STARTUP
    {L"commonstartup", 0x18, NULL, 0},        // CSIDL_COMMON_STARTUP
    {L"userprofile", 0x28, NULL, 0},          // CSIDL_PROFILE
    {L"temp", -1, NULL, 0},                   // GetTempPathW
    // Under WOW64 the shell gives the x86 folders above; a 64-bit program's
    // folder must come out as the 64-bit build writes it.
    {L"programfiles", -1, NULL, 0},           // native Program Files
    {L"programfilescommon", -1, NULL, 0},     // native Common Files
    // A 32-bit program's folder comes out the same from both builds: the x86
    // folders, longer than the native ones, win for what lies in them. Where
    // they equal a row above (a 32-bit build, 32-bit Windows) that row wins.
    {L"programfiles", 0x2A, NULL, 0},         // CSIDL_PROGRAM_FILESX86
    {L"programfilescommon", 0x2C, NULL, 0},   // CSIDL_PROGRAM_FILES_COMMONX86
}};
bool folderTableResolved = false;

// Where the native folders of the last two rows are read.
struct NativeFolderSource {
    const wchar_t* token;
    const wchar_t* registryValue;   // in the registry's 64-bit view
    const wchar_t* variable;        // Windows 7 and later
};
static const NativeFolderSource nativeFolderSources[] = {
    {L"programfiles", L"ProgramFilesDir", L"ProgramW6432"},
    {L"programfilescommon", L"CommonFilesDir", L"CommonProgramW6432"},
};
static const wchar_t CURRENT_VERSION_PATH[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

static const DWORD TEMP_PATH_CAPACITY = MAX_PATH;
static const DWORD LONG_PATH_CAPACITY = 2080;

static bool releaseRegistered = false;

static void __cdecl ReleaseFolderTokensAtExit()
{
    // A background read that outlived the stop may still be reading the table.
    if (!IsBackgroundWorkOutstanding())
        ReleaseFolderTokens();
}

// Stores a heap copy of `text` in the row without one trailing backslash.
// An empty folder would be a prefix of every directory, so it is not stored.
static void StoreRowPath(FolderTokenRow* row, const wchar_t* text)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(text, LONG_PATH_CAPACITY, &length)))
        return;
    if (length > 0 && text[length - 1] == L'\\')
        --length;
    if (length == 0)
        return;
    wchar_t* copy = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
    if (!copy)
        return;
    StringCchCopyNW(copy, length + 1, text, length);
    row->path = copy;
    row->length = (int)length;
}

static void ResolveShellFolder(FolderTokenRow* row)
{
    // One spare character keeps the text terminated whatever the shell writes.
    wchar_t folder[MAX_PATH + 1];
    ZeroMemory(folder, sizeof(folder));
    // Without CSIDL_FLAG_CREATE: looking a folder up must not create it.
    if (SUCCEEDED(SHGetFolderPathW(NULL, row->csidl, NULL, 0 /* SHGFP_TYPE_CURRENT */, folder)))
        StoreRowPath(row, folder);
}

// The temporary directory in its long form: paths of running programs come
// long, while TMP and TEMP may hold an 8.3 form.
static void ResolveTemporaryFolder(FolderTokenRow* row)
{
    wchar_t shortForm[TEMP_PATH_CAPACITY];
    ZeroMemory(shortForm, sizeof(shortForm));
    DWORD length = GetTempPathW(TEMP_PATH_CAPACITY, shortForm);
    if (length == 0 || length >= TEMP_PATH_CAPACITY)
        return;
    wchar_t longForm[LONG_PATH_CAPACITY];
    ZeroMemory(longForm, sizeof(longForm));
    length = GetLongPathNameW(shortForm, longForm, LONG_PATH_CAPACITY);
    if (length == 0 || length >= LONG_PATH_CAPACITY)
        return;
    StoreRowPath(row, longForm);
}

// A REG_SZ of the registry's 64-bit view; `folder` holds MAX_PATH + 1
// characters, zeroed, so the spare one keeps any value terminated.
static bool ReadNativeRegistryFolder(const wchar_t* valueName, wchar_t* folder)
{
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CURRENT_VERSION_PATH, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD bytes = MAX_PATH * sizeof(wchar_t);
    LONG result = RegQueryValueExW(key.Get(), valueName, NULL, &type, (BYTE*)folder, &bytes);
    return result == ERROR_SUCCESS && type == REG_SZ && folder[0] != L'\0';
}

// The registry first: Windows before 7 has no ProgramW6432 variable.
static void ResolveNativeFolder(FolderTokenRow* row)
{
    for (size_t i = 0; i < ARRAYSIZE(nativeFolderSources); ++i) {
        const NativeFolderSource* source = &nativeFolderSources[i];
        if (wcscmp(row->token, source->token) != 0)
            continue;
        wchar_t folder[MAX_PATH + 1];
        ZeroMemory(folder, sizeof(folder));
        if (ReadNativeRegistryFolder(source->registryValue, folder)) {
            StoreRowPath(row, folder);
            return;
        }
        ZeroMemory(folder, sizeof(folder));
        DWORD length = GetEnvironmentVariableW(source->variable, folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            StoreRowPath(row, folder);
        return;
    }
}

void ResolveFolderTokens()
{
    bool wow64 = IsRunningUnderWow64();
    for (int i = 0; i < FOLDER_TOKEN_ROWS; ++i) {
        FolderTokenRow* row = &folderTokenTable.rows[i];
        if (row->csidl != -1)
            ResolveShellFolder(row);
        else if (wcscmp(row->token, L"temp") == 0)
            ResolveTemporaryFolder(row);
        else if (wow64)
            ResolveNativeFolder(row);
    }
    folderTableResolved = true;
    if (!releaseRegistered) {
        releaseRegistered = true;
        atexit(ReleaseFolderTokensAtExit);
    }
}

void ReleaseFolderTokens()
{
    for (int i = 0; i < FOLDER_TOKEN_ROWS; ++i) {
        FolderTokenRow* row = &folderTokenTable.rows[i];
        if (row->path) {
            HeapFree(GetProcessHeap(), 0, row->path);
            row->path = NULL;
        }
    }
    folderTableResolved = false;
}

// The folder holds no NUL, so a shorter directory fails at its terminator.
// It must end where a name does: C:\WindowsX is not in C:\Windows.
static bool StartsWithFolder(const wchar_t* directory, const wchar_t* folder, int length)
{
    if (!EqualFoldingAsciiLetters(directory, folder, (size_t)length))
        return false;
    return directory[length] == L'\0' || directory[length] == L'\\';
}

bool ApplyFolderTokens(const wchar_t* directory, wchar_t* output)
{
    if (!folderTableResolved)
        ResolveFolderTokens();

    const FolderTokenRow* best = NULL;
    int bestLength = -1;
    for (int i = 0; i < FOLDER_TOKEN_ROWS; ++i) {
        const FolderTokenRow* row = &folderTokenTable.rows[i];
        if (row->path && row->length > bestLength && StartsWithFolder(directory, row->path, row->length)) {
            best = row;
            bestLength = row->length;
        }
    }
    if (best) {
        StringCchPrintfW(output, FOLDER_TOKEN_TEXT_CAPACITY, L"%%%s%%%s", best->token, directory + bestLength);
        return true;
    }

    wchar_t root[4];
    StringCchCopyNW(root, ARRAYSIZE(root), directory, 3);
    if (ReadDriveTypeRecently(root) == DRIVE_CDROM) {
        size_t length = 0;
        StringCchLengthW(root, ARRAYSIZE(root), &length);
        // Without its drive letter and colon.
        StringCchPrintfW(output, FOLDER_TOKEN_TEXT_CAPACITY, L"%%cdrom%%%s", length >= 2 ? directory + 2 : L"");
        return true;
    }

    StringCchCopyW(output, FOLDER_TOKEN_TEXT_CAPACITY, directory);
    return false;
}
