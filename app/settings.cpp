#include "app/settings.h"
#include <strsafe.h>
#include "app/elevation.h"

const wchar_t settingsKeyPath[] = L"Software\\Veltrix\\Tavrowen2";
const wchar_t runKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t autostartValueName[] = L"Veltrix Tavrowen 2";

static const int AUTOSTART_TEXT_CAPACITY = 1040;
static const DWORD MODULE_PATH_CAPACITY = 65535;

bool EnsureSettingsKey()
{
    HKEY key = NULL;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return true;
    }
    key = NULL;
    LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, settingsKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE,
                                   0, NULL, &key, NULL);
    if (key)
        RegCloseKey(key);
    return created == ERROR_SUCCESS;
}

static bool WriteSettingValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
{
    HKEY key = NULL;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExW(key, name, 0, type, (const BYTE*)data, bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ReadFlag(HKEY key, const wchar_t* name)
{
    DWORD number = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(number);
    LONG status = RegQueryValueExW(key, name, NULL, &type, (BYTE*)&number, &bytes);
    // Fewer than four bytes are no number at all: off.
    return status == ERROR_SUCCESS && bytes == sizeof(number) && number == 1;
}

bool ReadSetting(const wchar_t* name)
{
    HKEY key = NULL;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, &key) != ERROR_SUCCESS)
        return false;
    bool on = ReadFlag(key, name);
    RegCloseKey(key);
    return on;
}

bool ToggleSetting(const wchar_t* name)
{
    HKEY key = NULL;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, &key) != ERROR_SUCCESS)
        return false;
    DWORD number = ReadFlag(key, name) ? 0 : 1;
    LONG status = RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&number, sizeof(number));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool WriteSetting(const wchar_t* name, DWORD number)
{
    return WriteSettingValue(name, REG_DWORD, &number, sizeof(number));
}

bool ReadBinarySetting(const wchar_t* name, void* data, DWORD capacity, DWORD* bytes)
{
    HKEY key = NULL;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    *bytes = capacity;
    LONG status = RegQueryValueExW(key, name, NULL, &type, (BYTE*)data, bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_BINARY;
}

bool WriteBinarySetting(const wchar_t* name, const void* data, DWORD bytes)
{
    return WriteSettingValue(name, REG_BINARY, data, bytes);
}

// Elevated on Vista and later we may be the companion: name the ordinary
// program in our directory instead of ourselves.
static bool AppendElevatedProgramPath(wchar_t* text, int capacity)
{
    wchar_t* modulePath = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                              MODULE_PATH_CAPACITY * sizeof(wchar_t));
    if (!modulePath)
        return false;
    bool fits = false;
    DWORD length = GetModuleFileNameW(NULL, modulePath, MODULE_PATH_CAPACITY);
    if (length > 0 && length < MODULE_PATH_CAPACITY) {
        wchar_t* lastBackslash = wcsrchr(modulePath, L'\\');
        // A path without a backslash leaves just the file name.
        if (lastBackslash)
            lastBackslash[1] = L'\0';
        else
            modulePath[0] = L'\0';
        fits = SUCCEEDED(StringCchCatW(text, capacity, modulePath)) &&
               SUCCEEDED(StringCchCatW(text, capacity, L"Tavrowen2.exe"));
    }
    HeapFree(GetProcessHeap(), 0, modulePath);
    return fits;
}

static bool AppendRunningModulePath(wchar_t* text, int capacity)
{
    size_t used = 0;
    StringCchLengthW(text, capacity, &used);
    DWORD room = (DWORD)(capacity - used);
    DWORD length = GetModuleFileNameW(NULL, text + used, room);
    // A full buffer means the path was cut.
    return length > 0 && length < room;
}

bool BuildAutostartCommand(wchar_t* text, int capacity)
{
    StringCchCopyW(text, capacity, L"\"");
    bool elevated = IsVistaOrLater() && IsElevated();
    bool fits = elevated ? AppendElevatedProgramPath(text, capacity) : AppendRunningModulePath(text, capacity);
    fits = fits && SUCCEEDED(StringCchCatW(text, capacity, L"\" /autostart"));
    if (!fits)
        text[0] = L'\0';
    return fits;
}

bool AutostartEntry(bool toggle)
{
    HKEY key = NULL;
    if (RegOpenKeyW(HKEY_CURRENT_USER, runKeyPath, &key) != ERROR_SUCCESS)
        return false;
    wchar_t text[AUTOSTART_TEXT_CAPACITY];
    DWORD type = 0;
    DWORD bytes = sizeof(text);
    LONG queried = RegQueryValueExW(key, autostartValueName, NULL, &type, (BYTE*)text, &bytes);
    // The value's data is never looked at: one too long for the buffer is there all the same.
    bool present = queried == ERROR_SUCCESS || queried == ERROR_MORE_DATA;

    LONG status = ERROR_SUCCESS;
    if (!toggle) {
        RegCloseKey(key);
        return present;
    }
    if (present) {
        status = RegDeleteValueW(key, autostartValueName);
    } else if (BuildAutostartCommand(text, AUTOSTART_TEXT_CAPACITY)) {
        size_t length = 0;
        StringCchLengthW(text, AUTOSTART_TEXT_CAPACITY, &length);
        status = RegSetValueExW(key, autostartValueName, 0, REG_SZ, (const BYTE*)text,
                                (DWORD)((length + 1) * sizeof(wchar_t)));
    } else {
        status = ERROR_INSUFFICIENT_BUFFER;  // nothing is written for a text that does not fit
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
