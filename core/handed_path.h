// Paths that come from outside (a "/lookup" command line, another copy's
// hand-over, a drop) made safe to open: full and canonical before anything
// else is done with them, device names refused before any open, and opened
// as disk files only.
#pragma once
#include <windows.h>

// The longest path Windows takes, with its terminator.
const size_t HANDED_PATH_CAPACITY = 32768;

// `given` as a full, canonical path into `path` (HANDED_PATH_CAPACITY): the
// "\\?\X:\" and "\\?\UNC\" forms are read as the paths they name, ".." and
// "." are resolved. False, with *error set, for a relative path when
// `mustBeFull`, a "\\.\" or "\\?\GLOBALROOT" name or any other device, or a
// path too long: nothing of it may be opened.
bool MakeHandedPathCanonical(const wchar_t* given, bool mustBeFull, wchar_t* path, DWORD* error);

// Whether a path names a device, a pipe or the object namespace ("\\.\",
// "\\?\GLOBALROOT", "\??\", a volume), not a file: not to be opened.
bool IsDevicePath(const wchar_t* path);

// Whether a name that another process or the user chose (a command line, a
// loader entry, a current folder, a registry value the user can write) may
// be probed at all: a full drive path only. UNC paths, "\\.\", "\\?\GLOBALROOT"
// and device names are shown as written and never touched: a probe of a
// pipe name connects to its server, one of a share sends the user's
// credentials and waits for the network's time-out.
bool IsProbeableName(const wchar_t* path);

// Whether `path` (a probeable name, see above) is an existing disk file, not
// a folder: tested through an open at identification level, never through
// GetFileAttributesW, which follows the name wherever it leads. Fills
// *attributes when the file exists and `attributes` is not NULL.
bool IsExistingDiskFile(const wchar_t* path, DWORD* attributes);
// The same test for a path whose name is not in question (the kernel's own
// path of a process, in its long form too): no name rule, the open alone.
bool IsDiskFileAt(const wchar_t* path, DWORD* attributes);

// What the file `file` is open on says of itself. Vista and later ask for no
// more than that: the fuller answer of GetFileInformationByHandle (XP's way)
// costs a query of the volume too.
struct FileBasics {
    DWORD attributes;
    unsigned long long size;
    unsigned long long creationTime;   // FILETIME units
    unsigned long long lastWriteTime;
    unsigned long long changeTime;     // 0 on XP
};
bool ReadFileBasics(HANDLE file, FileBasics* basics);

// Opens a canonical path for reading as a disk file: no pipe server learns
// who we are (identification level only), and anything that turns out not to
// be a disk file is closed unread. INVALID_HANDLE_VALUE, with *error set, otherwise.
HANDLE OpenDiskFileForReading(const wchar_t* path, DWORD* error);
