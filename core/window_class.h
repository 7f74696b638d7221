// Registering the program's window classes, all in one way.
#pragma once
#include <windows.h>

// Registers a class of ours, or finds it registered by an earlier window of
// this run (a strip or spy made anew after Task Manager took the old one
// down). cursor: a system cursor such as IDC_ARROW; background: a COLOR_
// index; icons may be NULL.
bool RegisterOwnWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style,
                            const wchar_t* cursor, int background, HICON icon, HICON smallIcon);
