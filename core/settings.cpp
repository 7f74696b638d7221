#include "core/settings.h"
#include <strsafe.h>
#include "core/scoped_handles.h"
#include "core/system_probes.h"
#include "tavrowen_identity.h"

const wchar_t settingsKeyPath[] = TAVROWEN_SETTINGS_KEY;
const wchar_t runKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t autostartValueName[] = TAVROWEN_RUN_VALUE;


static const int AUTOSTART_TEXT_CAPACITY = 1040;

bool EnsureSettingsKey()
{
    ScopedKey key;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, key.Receive()) == ERROR_SUCCESS)
        return true;
    return RegCreateKeyExW(HKEY_CURRENT_USER, settingsKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE, 0, NULL,
                           key.Receive(), NULL) == ERROR_SUCCESS;
}

static bool WriteSettingValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
{
    ScopedKey key;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, key.Receive()) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.Get(), name, 0, type, (const BYTE*)data, bytes) == ERROR_SUCCESS;
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
    ScopedKey key;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, key.Receive()) != ERROR_SUCCESS)
        return false;
    return ReadFlag(key.Get(), name);
}

bool ToggleSetting(const wchar_t* name)
{
    ScopedKey key;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD number = ReadFlag(key.Get(), name) ? 0 : 1;
    return RegSetValueExW(key.Get(), name, 0, REG_DWORD, (const BYTE*)&number, sizeof(number)) == ERROR_SUCCESS;
}

bool WriteSetting(const wchar_t* name, DWORD number)
{
    return WriteSettingValue(name, REG_DWORD, &number, sizeof(number));
}

bool ReadBinarySetting(const wchar_t* name, void* data, DWORD capacity, DWORD* bytes)
{
    ScopedKey key;
    if (RegOpenKeyW(HKEY_CURRENT_USER, settingsKeyPath, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    *bytes = capacity;
    LONG status = RegQueryValueExW(key.Get(), name, NULL, &type, (BYTE*)data, bytes);
    return status == ERROR_SUCCESS && type == REG_BINARY;
}

bool WriteBinarySetting(const wchar_t* name, const void* data, DWORD bytes)
{
    return WriteSettingValue(name, REG_BINARY, data, bytes);
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

// Elevated on Vista and later we may be the companion: name the ordinary
// program in our directory instead of ourselves.
static bool AppendElevatedProgramPath(wchar_t* text, int capacity)
{
    size_t used = 0;
    StringCchLengthW(text, capacity, &used);
    return BuildPathBesideProgram(TAVROWEN_PROGRAM_FILE, text + used, capacity - used);
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
    ScopedKey key;
    if (RegOpenKeyW(HKEY_CURRENT_USER, runKeyPath, key.Receive()) != ERROR_SUCCESS)
        return false;
    wchar_t text[AUTOSTART_TEXT_CAPACITY];
    DWORD type = 0;
    DWORD bytes = sizeof(text);
    LONG queried = RegQueryValueExW(key.Get(), autostartValueName, NULL, &type, (BYTE*)text, &bytes);
    // The value's data is never looked at: one too long for the buffer is there all the same.
    bool present = queried == ERROR_SUCCESS || queried == ERROR_MORE_DATA;
    if (!toggle)
        return present;
    if (present)
        return RegDeleteValueW(key.Get(), autostartValueName) == ERROR_SUCCESS;
    // Nothing is written for a text that does not fit.
    if (!BuildAutostartCommand(text, AUTOSTART_TEXT_CAPACITY))
        return false;
    size_t length = 0;
    StringCchLengthW(text, AUTOSTART_TEXT_CAPACITY, &length);
    return RegSetValueExW(key.Get(), autostartValueName, 0, REG_SZ, (const BYTE*)text,
                          (DWORD)((length + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
