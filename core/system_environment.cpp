#include "core/system_environment.h"
#include <shlobj.h>
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/scoped_handles.h"
#include "core/system_probes.h"

static const wchar_t MACHINE_ENVIRONMENT_KEY[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
static const wchar_t WINDOWS_VERSION_KEY[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
static const size_t VARIABLE_NAME_CAPACITY = 256;

static bool IsName(const wchar_t* name, size_t length, const wchar_t* known)
{
    return wcslen(known) == length && EqualFoldingAsciiLetters(name, known, length);
}

static bool DropTrailingBackslash(wchar_t* value)
{
    size_t length = wcslen(value);
    if (length > 3 && value[length - 1] == L'\\')
        value[length - 1] = L'\0';
    return value[0] != L'\0';
}

static bool ReadWindowsFolder(wchar_t* value)
{
    typedef UINT (WINAPI* GetSystemWindowsDirectoryProc)(LPWSTR, UINT);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    GetSystemWindowsDirectoryProc query =
        kernel ? (GetSystemWindowsDirectoryProc)(void*)GetProcAddress(kernel, "GetSystemWindowsDirectoryW") : NULL;
    UINT length = query ? query(value, MAX_PATH) : GetWindowsDirectoryW(value, MAX_PATH);
    return length > 0 && length < MAX_PATH && DropTrailingBackslash(value);
}

// A REG_SZ folder under HKLM's CurrentVersion key, in the native view: what
// the system itself sets %ProgramFiles% and its kin from.
static bool ReadProgramFolder(const wchar_t* valueName, wchar_t* value)
{
    ScopedKey key;
    REGSAM view = IsRunningUnderWow64() ? KEY_WOW64_64KEY : 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, WINDOWS_VERSION_KEY, 0, KEY_QUERY_VALUE | view, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, bytes = (MAX_PATH - 1) * sizeof(wchar_t);
    ZeroMemory(value, MAX_PATH * sizeof(wchar_t));
    return RegQueryValueExW(key.Get(), valueName, NULL, &type, (BYTE*)value, &bytes) == ERROR_SUCCESS &&
           type == REG_SZ && DropTrailingBackslash(value);
}

static bool ReadShellFolder(int csidl, wchar_t* value)
{
    value[0] = L'\0';
    return SUCCEEDED(SHGetFolderPathW(NULL, csidl, NULL, 0, value)) && DropTrailingBackslash(value);
}

// A variable from HKLM's environment; a REG_EXPAND_SZ one expanded once more
// by the rules above, never again from its own key.
static bool ExpandVariables(const wchar_t* raw, bool nested, wchar_t* text, size_t capacity);

static bool ReadMachineVariable(const wchar_t* name, bool nested, wchar_t* value)
{
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MACHINE_ENVIRONMENT_KEY, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    wchar_t raw[MAX_PATH + 1];
    DWORD type = 0, bytes = MAX_PATH * sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), name, NULL, &type, (BYTE*)raw, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    raw[bytes / sizeof(wchar_t)] = L'\0';
    if (type == REG_SZ || nested)
        return SUCCEEDED(StringCchCopyW(value, MAX_PATH, raw)) && value[0];
    return ExpandVariables(raw, true, value, MAX_PATH) && value[0];
}

static bool ReadVariable(const wchar_t* name, size_t length, bool nested, wchar_t* value /* MAX_PATH */)
{
    if (IsName(name, length, L"SystemRoot") || IsName(name, length, L"windir"))
        return ReadWindowsFolder(value);
    if (IsName(name, length, L"SystemDrive"))
        return ReadWindowsFolder(value) && value[1] == L':' && (value[2] = L'\0', true);
    if (IsName(name, length, L"ProgramFiles") || IsName(name, length, L"ProgramW6432"))
        return ReadProgramFolder(L"ProgramFilesDir", value);
    if (IsName(name, length, L"ProgramFiles(x86)"))
        return ReadProgramFolder(L"ProgramFilesDir (x86)", value);
    if (IsName(name, length, L"CommonProgramFiles") || IsName(name, length, L"CommonProgramW6432"))
        return ReadProgramFolder(L"CommonFilesDir", value);
    if (IsName(name, length, L"CommonProgramFiles(x86)"))
        return ReadProgramFolder(L"CommonFilesDir (x86)", value);
    if (IsName(name, length, L"USERPROFILE"))
        return ReadShellFolder(CSIDL_PROFILE, value);
    if (IsName(name, length, L"APPDATA"))
        return ReadShellFolder(CSIDL_APPDATA, value);
    if (IsName(name, length, L"LOCALAPPDATA"))
        return ReadShellFolder(CSIDL_LOCAL_APPDATA, value);
    if (IsName(name, length, L"ProgramData") || IsName(name, length, L"ALLUSERSPROFILE"))
        return ReadShellFolder(CSIDL_COMMON_APPDATA, value);
    if (IsName(name, length, L"TEMP") || IsName(name, length, L"TMP")) {
        DWORD got = GetTempPathW(MAX_PATH, value);
        return got > 0 && got < MAX_PATH && DropTrailingBackslash(value);
    }
    wchar_t plain[VARIABLE_NAME_CAPACITY];
    if (length == 0 || length >= ARRAYSIZE(plain) || FAILED(StringCchCopyNW(plain, ARRAYSIZE(plain), name, length)))
        return false;
    return ReadMachineVariable(plain, nested, value);
}

static bool ExpandVariables(const wchar_t* raw, bool nested, wchar_t* text, size_t capacity)
{
    if (capacity == 0)
        return false;
    size_t used = 0;
    text[0] = L'\0';
    for (const wchar_t* c = raw; *c;) {
        const wchar_t* end = c[0] == L'%' ? wcschr(c + 1, L'%') : NULL;
        wchar_t value[MAX_PATH];
        const wchar_t* piece = c;
        size_t pieceLength = 1;
        if (end && ReadVariable(c + 1, (size_t)(end - c - 1), nested, value)) {
            piece = value;
            pieceLength = wcslen(value);
            c = end + 1;
        } else if (end) {
            pieceLength = (size_t)(end - c);  // "%NAME" kept; its closing % may open the next
            c = end;
        } else {
            ++c;
        }
        if (used + pieceLength >= capacity) {
            text[0] = L'\0';
            return false;
        }
        CopyMemory(text + used, piece, pieceLength * sizeof(wchar_t));
        used += pieceLength;
        text[used] = L'\0';
    }
    return true;
}

bool ExpandSystemVariables(const wchar_t* raw, wchar_t* text, size_t capacity)
{
    return raw && ExpandVariables(raw, false, text, capacity);
}
