// A running file's path as the file system spells it, before anything is
// judged by its spelling: an 8.3 name, a trailing dot or blank, or another
// spelling of a folder names the same file as its one long form.
#pragma once
#include <windows.h>

// `path` (a full path) in its final form into `canonical` (MAX_PATH): the
// name the opened file has (GetFinalPathNameByHandleW where the system has
// it), else its long form (GetLongPathNameW), else the path as given. A
// stream's name (":name") is kept after the file's. A name that may not be
// probed (a share, a device) stays as written. False when it does not fit.
bool MakeFinalPath(const wchar_t* path, wchar_t* canonical /* MAX_PATH */);

// The alternate data stream a path names, such as "evil.exe" of
// "C:\x\a.txt:evil.exe" or "s" of "C:\x\a:s:$DATA"; NULL for a file's own
// data. Its length, ":$DATA" left out, in *length.
const wchar_t* FindStreamName(const wchar_t* path, size_t* length);
