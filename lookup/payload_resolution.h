// Where the files a host names lie: a bare or relative name found as the
// system would find it, and the COM server DLLs behind a dllhost AppID.
// Reads the file system and the registry; any thread.
#pragma once
#include <windows.h>
#include "core/host_command.h"

// The full path of `name` into `path` (MAX_PATH), found in this order:
//   a full path as it is; a relative one (sub\x, .\x, \x) under `currentFolder`;
//   a bare name, for a DLL: System32, the Windows folder, the current folder,
//   PATH (a DLL's name without extension gets ".dll"); for a script: the
//   current folder, System32, the Windows folder, PATH.
// `currentFolder` may be NULL or empty (the process's was not readable).
// PATH is this program's own, as the host's cannot be read. False when no
// such file exists.
bool ResolveHostFile(const wchar_t* name, HostFileSearch search, const wchar_t* currentFolder,
                     wchar_t* path /* MAX_PATH */);

// The InprocServer32 DLLs (expanded, at most `capacity`, each once) of the
// classes under HKCR\CLSID whose AppID is `appId`; the scan stops after
// 100,000 classes. Returns how many were found.
size_t FindAppIdServerDlls(const wchar_t* appId, wchar_t (*dlls)[MAX_PATH], size_t capacity);
