// Per-user switches and the autostart entry in the registry: the one place
// that names the keys and every value.
#pragma once
#include <windows.h>

extern const wchar_t settingsKeyPath[];
extern const wchar_t runKeyPath[];
extern const wchar_t autostartValueName[];

// Value names under settingsKeyPath.
extern const wchar_t noSplashSetting[];          // REG_DWORD, 1: no welcome screen
extern const wchar_t extendedInfoSetting[];      // REG_DWORD, 1: send the extended details
extern const wchar_t placementSetting[];         // REG_BINARY WINDOWPLACEMENT of the processes window
extern const wchar_t processesHintSetting[];     // REG_DWORD, 1: the balloon has been shown
extern const wchar_t unverifiedOnlySetting[];    // REG_DWORD, 1: the processes window lists unverified files only
extern const wchar_t processColumnsSetting[];    // REG_BINARY: the processes window's column order, widths, hidden ones

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
