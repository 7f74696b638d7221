// Copies a person asked for (a row's path, a Properties sheet): a copy that
// could not be made, or not whole, is said so, never passed over in silence.
#pragma once
#include <windows.h>

// Puts `text` on the clipboard. Where the clipboard cannot be had, or where
// `whole` is false (part of the text was left out before it came here), a
// message box owned by `owner` says so. False when nothing was copied.
bool CopyTextForPerson(HWND owner, const wchar_t* text, bool whole);

// Tells the person that a copy asked for could not be made.
void TellCopyFailed(HWND owner);
