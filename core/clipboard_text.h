// Text put on the clipboard: a path copied from a row, or an address the
// program would not open itself.
#pragma once
#include <windows.h>

// Replaces the clipboard's contents with `text`. With no owner a window of
// our own holds it while it is set (the clipboard takes data only from a
// window). False when the clipboard could not be had.
bool PutTextOnClipboard(HWND owner, const wchar_t* text);
