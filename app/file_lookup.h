// Looking up any file, not only a running process's: "/lookup <path>" from
// Explorer's menu or a command line, and files dropped on our window. A file
// is looked up as a process row with that executable would be.
#pragma once
#include <windows.h>
#include <shellapi.h>

// Marks a WM_COPYDATA as a path to look up, so no other sender's data is
// taken for one.
const ULONG_PTR LOOKUP_PATH_DATA = 0x54563250;  // "TV2P"

// True when the command-line tail starts with the switch "/lookup".
bool IsLookupCommand(const wchar_t* commandLine);

// Runs "/lookup <path>": hands the path to the running copy, or, with none,
// looks the file up here without tray icon or windows. Returns the exit code:
// 0 once the path is handed over or the address opened, 1 when the file cannot
// be read (after saying so), 2 when no path follows the switch.
int RunLookupCommand(const wchar_t* commandLine);

// The pure readers below open nothing and read only the bytes they are given.

// The path after "/lookup", quoted (as Explorer passes "%1") or up to the
// end, into `path`; false when the tail is no lookup, has no path, or the
// path does not fit in `capacity` characters with its terminator.
bool ReadLookupPathArgument(const wchar_t* commandLine, wchar_t* path, size_t capacity);

// The path in a WM_COPYDATA from another copy's "/lookup": true, with its
// length in characters, when it is marked as one, ends inside the data and
// within the longest path, and is not empty.
bool FindHandedOverPath(const COPYDATASTRUCT* data, size_t* length);

// DragQueryFileW over a DROPFILES record of `bytes` bytes, reading nothing
// outside it: index 0xFFFFFFFF gives the number of paths; another index that
// path's length in characters, copied to `path` when it fits in `capacity`
// with its terminator; 0 when there is no such path or it does not end inside
// the record.
UINT ReadDroppedPath(const void* record, size_t bytes, UINT index, wchar_t* path, UINT capacity);

// "Tavrowen 2 cannot read <path>: <reason>". One box at a time: a failure
// that comes while one is shown joins the next.
void ReportUnreadableFile(const wchar_t* path, DWORD error);

// WM_COPYDATA to the main window: a path handed over by another process's
// "/lookup". TRUE when it was taken.
LRESULT ReceiveLookupPath(const COPYDATASTRUCT* data);

// WM_DROPFILES: the dropped files are looked up in the order dropped, at most
// 16 of them; the drop is freed.
void LookUpDroppedFiles(HDROP drop);
