// Per-user values and the autostart entry in the registry: the settings key
// and the Run key are named here; each value by the name the caller gives.
#pragma once
#include <windows.h>

extern const wchar_t settingsKeyPath[];
extern const wchar_t runKeyPath[];
extern const wchar_t autostartValueName[];


bool EnsureSettingsKey();
bool ReadFlag(HKEY key, const wchar_t* name);
bool ReadSetting(const wchar_t* name);
bool ToggleSetting(const wchar_t* name);
bool WriteSetting(const wchar_t* name, DWORD number);
// A REG_BINARY value of at most `capacity` bytes; false for any other type.
bool ReadBinarySetting(const wchar_t* name, void* data, DWORD capacity, DWORD* bytes);
bool WriteBinarySetting(const wchar_t* name, const void* data, DWORD bytes);
bool AutostartEntry(bool toggle);
// The Run command text; false when it would not fit.
bool BuildAutostartCommand(wchar_t* text, int capacity);
