// Text put on the clipboard: a path copied from a row, a Properties sheet,
// or an address the program would not open itself.
#pragma once
#include <windows.h>

// The longest text the clipboard is handed, terminator included: a whole
// Properties sheet, whose longest command line alone is 32767 characters.
const size_t CLIPBOARD_TEXT_CAPACITY = 65536;

// Replaces the clipboard's contents with `text` (at most
// CLIPBOARD_TEXT_CAPACITY characters with its terminator). With no owner a
// window of our own holds it while it is set (the clipboard takes data only
// from a window). A clipboard another program holds open is asked again for
// a moment. False when the clipboard could not be had or the text is longer.
bool PutTextOnClipboard(HWND owner, const wchar_t* text);
