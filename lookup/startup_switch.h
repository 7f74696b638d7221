// Turns a Run value or a Startup folder item off and on again without
// deleting anything. From Windows 8 on, as its Task Manager does: the
// Explorer\StartupApproved value (Run, Run32, StartupFolder) of the entry's
// name, first byte 0x02 enabled or 0x03 disabled and the time it was turned
// off, so Task Manager shows the same state and Windows honours it. Before
// Windows 8 the value (its type and bytes as they were) or the file moves
// into our keeping, HKCU\Software\Veltrix\Tavrowen2\Disabled or the
// "Disabled" folder beside the settings, and back. An entry under HKLM or in
// the common Startup folder needs the rights to change it. Any thread.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"

// The size of a StartupApproved value: the state byte, three reserved, a FILETIME.
const DWORD STARTUP_APPROVED_BYTES = 12;
const BYTE STARTUP_APPROVED_ENABLED = 0x02;
const BYTE STARTUP_APPROVED_DISABLED = 0x03;

// ERROR_SUCCESS; ERROR_ACCESS_DENIED without the rights to change it;
// ERROR_NOT_SUPPORTED for an entry that is not ours to switch (see
// StartupEntry::place); another error from the registry or the file system.
DWORD DisableStartupEntry(const StartupEntry* entry);
DWORD EnableStartupEntry(const StartupEntry* entry);
// Whether DisableStartupEntry would turn the entry off through
// StartupApproved (Windows 8 and later) rather than our keeping.
bool SwitchesThroughStartupApproved();

// Whether a StartupApproved value's bytes say disabled: an odd first byte.
bool IsApprovedValueDisabled(const BYTE* data, DWORD bytes);

// For ReadStartupEntries: lists what lies in our keeping as disabled
// entries of the places they came from, and reads each switchable entry's
// StartupApproved state (Windows 8 and later).
void ReadKeptStartupEntries(StartupList* list);
void ApplyStartupApproved(StartupList* list);

// The places of our keeping, for the tests and the window's words.
bool BuildKeptValueKeyPath(StartupSwitchPlace place, wchar_t* keyPath /* STARTUP_KEY_CAPACITY */);
bool BuildKeptFolderPath(StartupSwitchPlace place, wchar_t* folder /* MAX_PATH */);
