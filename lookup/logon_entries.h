// What starts a given file at logon: every enabled entry of the startup
// reader (lookup/startup_entries.h) whose program is the file: Run values,
// the Startup folders (a shortcut to the file, or the file itself),
// services, tasks and the rest; drivers are no programs. Read on a
// background job; any thread. Every name the user can
// write (HKCU's values, App Paths, the Startup folder and its shortcuts) is
// probed only as a disk file at a drive path (core/handed_path.h).
#pragma once
#include <windows.h>
// FindCommandProgram and SameFilePath, which callers of this header use too.
#include "lookup/command_program.h"

const int LOGON_ENTRY_CAPACITY = 16;
const int LOGON_ENTRY_TEXT_CAPACITY = 400;
// The longest command line read from a value or a service; of a longer Run
// value its head names the program, and the entry says "(too long)".
const int LOGON_COMMAND_CAPACITY = COMMAND_HEAD_CAPACITY;

struct LogonEntries {
    int count;  // entries held below
    int total;  // entries found, more than count when they did not all fit
    wchar_t text[LOGON_ENTRY_CAPACITY][LOGON_ENTRY_TEXT_CAPACITY];
};

// Every entry whose program is the file at `path` (a full path), each
// described as "HKCU\...\Run: <value name>", "Startup folder: <file>",
// "Service: <name>" and so on.
void FindLogonEntries(const wchar_t* path, LogonEntries* entries);
// The same from what was read at most `maximumAgeMs` ago: for the rows of the
// Running Processes window, one file after another. Any thread.
void FindLogonEntriesRecently(const wchar_t* path, DWORD maximumAgeMs, LogonEntries* entries);
