// SeDebugPrivilege, which lets an administrator's copy open the processes of
// other accounts. It is held only while such a process is opened or read,
// never while files are opened or anything else is done, and never in a
// "/lookup" run, which looks at one file only.
#pragma once
#include <windows.h>

// Enables it, or counts one more user of it; any thread.
void BeginDebugPrivilege();
// Disables it again once its last user is done.
void EndDebugPrivilege();
