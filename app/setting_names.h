// The names of the program's own values under the settings key: each window
// and switch of the program names what it keeps here, and core/settings
// stores and reads whatever name it is given.
#pragma once
#include <windows.h>

extern const wchar_t noSplashSetting[];          // REG_DWORD, 1: no welcome screen
extern const wchar_t extendedInfoSetting[];      // REG_DWORD, 1: send the extended details
extern const wchar_t placementSetting[];         // REG_BINARY WINDOWPLACEMENT of the processes window
extern const wchar_t processesHintSetting[];     // REG_DWORD, 1: the balloon has been shown
extern const wchar_t unverifiedOnlySetting[];    // REG_DWORD, 1: the processes window lists unverified files only
extern const wchar_t processTreeSetting[];       // REG_DWORD, 1: the processes window shows the process tree
extern const wchar_t processColumnsSetting[];    // REG_BINARY: the processes window's column order, widths, hidden ones
extern const wchar_t moduleColumnsSetting[];   // the Properties window's Modules list
extern const wchar_t startupPlacementSetting[];   // REG_BINARY WINDOWPLACEMENT of the startup window
extern const wchar_t startupColumnsSetting[];     // REG_BINARY: the startup window's column layout
extern const wchar_t startupShowWindowsSetting[]; // REG_DWORD, 1: the startup window shows Windows' own entries
extern const wchar_t startupSeenSetting[];        // REG_BINARY: the startup entries seen (lookup/startup_seen)
extern const wchar_t startupOpenedSetting[];      // REG_BINARY FILETIME: when the startup entries were last read

// The extended-details switch as it reads now: the layers below are handed
// this, so a change takes effect at the next lookup.
bool IsExtendedInfoOn();
