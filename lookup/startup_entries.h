// Everything that starts with Windows, read in one pass: Run, RunOnce and
// RunOnceEx under HKCU and HKLM (both registry views, an entry the two views
// share listed once), the policies' Explorer\Run, Windows NT's Load and Run,
// the user's and the common Startup folders, services and drivers that start
// by themselves, scheduled tasks, Winlogon's Shell, Userinit, Taskman and
// Notify, Image File Execution Options debuggers, AppInit_DLLs, BootExecute
// and the LSA's packages, with each entry's state (lookup/startup_switch.h).
// Every value and file name here is the user's to write: read bounded,
// probed only as a disk file at a drive path (core/handed_path.h), never run
// or opened otherwise. Any thread.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"

// Reads every entry into `list` (about 7 MB: allocate it), each program probed.
void ReadStartupEntries(StartupList* list);
// The same with no file probed (each entry's `probe` says what is left to
// ProbeStartupProgram): the registry and the folders only, quickly.
void ListStartupEntries(StartupList* list);
