// The registry's autostart places: Run, Run32 (the 32-bit view), RunOnce,
// RunOnceEx, the policies' Explorer\Run and Windows NT's Load and Run; and
// the system's hooks: Winlogon's Shell, Userinit, Taskman and Notify, IFEO
// debuggers, AppInit_DLLs, BootExecute and the LSA's packages. Any thread.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"

void ReadRunEntries(StartupList* list);
void ReadSystemHookEntries(StartupList* list);
