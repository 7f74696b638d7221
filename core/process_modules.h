// The images loaded into a process: the loader's list (core/loader_list, or
// Toolhelp), and the image sections mapped in its address space, so that an
// image mapped without the loader is listed too. Every name comes from the
// other process: it is only ever shown, or opened as a disk file
// (core/handed_path.h). Any thread.
#pragma once
#include <windows.h>

// More than any process loads; the rest are counted, not kept.
const int PROCESS_MODULE_LIMIT = 4096;

enum ModuleListState {
    MODULES_READ,
    MODULES_ACCESS_DENIED,   // the process would not be opened or read
    MODULES_OTHER_BITNESS,   // a 64-bit process seen from a 32-bit build
    MODULES_UNREADABLE       // another reason, in error
};

struct ProcessModule {
    wchar_t path[MAX_PATH];  // a drive path, canonical; shown as written when it is no drive path
    bool inLoaderList;       // false: an image section the loader does not list
};

// Heap memory (the process heap): FreeProcessModules releases it.
struct ProcessModuleList {
    ModuleListState state;
    DWORD error;
    int count;
    int total;               // found, kept or not
    ProcessModule* modules;
};

// Reads the modules of `process` (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)
// whose PID is `processId`, leaving out `executable` (its own image; NULL:
// none left out). Merged by path, case folded as the file system folds it.
void ReadProcessModules(HANDLE process, DWORD processId, const wchar_t* executable, ProcessModuleList* list);
void FreeProcessModules(ProcessModuleList* list);
