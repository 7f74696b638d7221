// What a screen reader sees of the link strip: one link per row it shows,
// named for the row as Task Manager shows it, whose default action is the
// strip's click. Made on the strip's thread for each WM_GETOBJECT; each
// object holds the strip's handle only and answers "disconnected" once the
// strip is gone: its end makes every object forget the handle.
#pragma once
#include <windows.h>

// WM_GETOBJECT: the strip's client object through LresultFromObject (oleacc,
// loaded from the system folder); 0 for any other object id or without oleacc.
LRESULT AnswerStripObjectRequest(HWND strip, WPARAM wParam, LPARAM lParam);
