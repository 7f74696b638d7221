// Opening an address with the desktop shell's rights. An elevated program
// that started a browser itself would give it the administrator's token; the
// shell's own ShellExecute starts it as the user's other programs run.
#pragma once
#include <windows.h>

// Whether the process behind the desktop (GetShellWindow) runs elevated: UAC
// off, or a shell started by an administrator. False when its token cannot
// be read.
bool IsDesktopShellElevated();

// Asks the desktop shell to open the address (IShellWindows, then the
// desktop view's IShellDispatch2::ShellExecute). False when any step is not
// available: no shell, a shell that is not Explorer, COM refused.
bool OpenAsDesktopShell(const wchar_t* address);

// Asks one shell object to open the address (IShellDispatch2::ShellExecute);
// the call the shell's rights depend on, behind seams.shellDispatchOpen.
bool OpenWithShellDispatch(struct IShellDispatch2* shell, const wchar_t* address);

// Explorer's window on the file's folder with the file selected: the
// Windows folder's explorer.exe, given "/select,". False, with nothing
// started, for a path holding a quotation mark, which no file's name holds
// and which would end the command line's argument early, or when Explorer
// could not be started.
bool ShowFileInFolder(HWND owner, const wchar_t* path);
