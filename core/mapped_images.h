// The image files mapped in a process (its executable and every DLL the
// loader has mapped), read from its address space: what the process really
// runs, whatever names its command line gives. Any thread.
#pragma once
#include <windows.h>

// Called once per mapped image with its drive path ("C:\..."); return false
// to stop early.
typedef bool (*MappedImageVisitor)(const wchar_t* path, void* context);

// Visits the images mapped in `process` (opened with PROCESS_QUERY_INFORMATION
// and PROCESS_VM_READ), in address order; an image whose name maps to no
// drive is passed over. False when the address space cannot be read whole:
// the handle lacks the rights, or the process is 64-bit and we are not.
bool VisitMappedImages(HANDLE process, MappedImageVisitor visit, void* context);

// A mapped file's name as the system gives it ("\Device\HarddiskVolume2\x",
// or "\??\C:\x" under Wine) as a drive path into `path` (MAX_PATH). False
// for a name on no drive.
bool MapDeviceNameToDrivePath(const wchar_t* deviceName, wchar_t* path /* MAX_PATH */);
