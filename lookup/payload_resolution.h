// Where the files a host names lie: a bare or relative name found as the
// host's loader or shell would find it, and the COM server DLLs behind a
// dllhost AppID. Every name here came from another process or a value the
// user can write: it is made canonical, and only a drive path is tested, as
// a disk file at identification level (core/handed_path). Reads the file
// system and the registry; any thread.
#pragma once
#include <windows.h>
#include "core/host_command.h"

// Where a host looks, as far as its process tells. Any may be NULL or empty.
struct HostSearchPlaces {
    const wchar_t* hostFolder;     // the folder of the host's executable
    const wchar_t* systemFolder;   // the system folder of the host's bitness; NULL: ours
    const wchar_t* currentFolder;  // the host's current folder (not readable: NULL)
};

// The full path of `name` into `path` (MAX_PATH), found in this order:
//   a full drive path as it is (a UNC, "\\.\" or device name is never
//   probed: not found); a relative one (sub\x, .\x, \x) under the current
//   folder; a bare name, for a DLL (".dll" added to a name without
//   extension): KnownDLLs in the system folder, the host's folder, the system
//   folder, the Windows folder, the current folder, PATH; for a script: the
//   current folder, the system folder, the Windows folder, PATH.
// PATH is this program's own, as the host's cannot be read. False when no
// such disk file exists.
bool ResolveHostFile(const wchar_t* name, HostFileSearch search, const HostSearchPlaces* places,
                     wchar_t* path /* MAX_PATH */);

// The system folder a process loads its system DLLs from: SysWOW64 for a
// 32-bit process on 64-bit Windows, else System32. `process` may be NULL
// (then ours). False when the system gives none.
bool BuildHostSystemFolder(HANDLE process, wchar_t* folder /* MAX_PATH */);

// Whether a bare DLL name (with its extension) is one of the system's
// KnownDLLs, which the loader takes from the system folder only.
bool IsKnownDll(const wchar_t* name);

// The InprocServer32 DLLs (expanded, at most `capacity`, each once) of the
// classes whose AppID is `appId`: elevated, under HKLM\Software\Classes
// only; else there first, then under HKCU\Software\Classes. Each scan stops
// after 100,000 classes. Returns how many were found.
size_t FindAppIdServerDlls(const wchar_t* appId, wchar_t (*dlls)[MAX_PATH], size_t capacity);
