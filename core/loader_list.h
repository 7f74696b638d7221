// The loader's list of a process of this build's own bitness, read from the
// process's memory as psapi reads it: PEB, loader data, then each entry's
// full name. Toolhelp's module snapshot reads the same list, at a greater
// cost (a thread in the process on Windows, a mapped view per entry under
// Wine). Every name is the other process's to write: it is only shown, or
// opened as a disk file (core/handed_path.h). Any thread.
#pragma once
#include <windows.h>

// Called with each entry's name, in load order (the executable first), NUL
// ended and cut to MAX_PATH - 1 characters.
typedef void (*LoaderNameVisitor)(const wchar_t* name, void* context);

// False when the list could not be read to its end: the process is of the
// other bitness, its memory cannot be read, or its list is still being made
// or longer than `limit` entries. Names visited before that stand.
bool ReadLoaderListOf(HANDLE process, int limit, LoaderNameVisitor visit, void* context);
