// A bounded reader of shortcut files (.lnk), of our own: the Startup
// folders are the user's to fill, and the shell's reader would bind the
// user's shell folders and their handlers in our process, elevated or not.
// Only what names the target is read: the header, the target's ID list
// passed over by its size, LinkInfo's local path and the relative path,
// every size checked against the file's length.
#pragma once
#include <windows.h>

// The longest shortcut read; a longer file is no shortcut of ours.
const DWORD SHELL_LINK_MAXIMUM_BYTES = 1024 * 1024;

struct ShellLinkPaths {
    wchar_t localPath[MAX_PATH];     // LinkInfo's LocalBasePath with its suffix; empty: none
    wchar_t relativePath[MAX_PATH];  // StringData's RELATIVE_PATH; empty: none
};

// Parses a shortcut's bytes. False when they are no shortcut or a size or
// offset lies; a path too long for its field is left empty.
bool ParseShellLink(const BYTE* data, size_t size, ShellLinkPaths* paths);

// The file a shortcut at `shortcut` (a probeable name, see core/handed_path.h)
// points to: its local path, else its relative path taken from the
// shortcut's folder. Opened as a disk file only. False when there is none.
bool ReadShellLinkTarget(const wchar_t* shortcut, wchar_t* target /* MAX_PATH */);
