// How tests drive the stand-in Task Manager (standin_taskmgr.exe).
//
// Command line (any order; /names: must come last, it runs to the end):
//   /hidden            do not show the window at start
//   /count:N           N rows named proc01.exe, proc02.exe, ...
//   /perpage:N         size the window so the list shows exactly N whole rows
//   /names:A|B *32|C   these rows, in this order
//   (no rows option)   one row per running process, as Task Manager shows them
//   /pid               a PID column after the name (before /names:), filled for running processes
//
// Messages to the top-level window (SendMessage; the stand-in acts before it answers):
#pragma once
#include <windows.h>

// IAccessible's interface id, spelt out: x86_64 mingw-w64's liboleacc.a
// resolves IID_IAccessible to an import thunk instead of the GUID.
static const IID accessibleInterfaceId = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

#define STANDIN_TITLE L"Windows Task Manager"
#define STANDIN_LIST_TEXT L"Processes"

// wParam: a ShowWindow command (SW_HIDE, SW_SHOWNORMAL, ...).
#define STANDIN_SHOW            (WM_APP + 1)
// wParam: new outer width, lParam: new outer height of the top-level window.
#define STANDIN_RESIZE          (WM_APP + 2)
// wParam: the row that should become the list's top row.
#define STANDIN_SCROLL_TO       (WM_APP + 3)
// wParam: index of the row to remove.
#define STANDIN_REMOVE_ROW      (WM_APP + 4)
// Destroys the Processes page with its list (and whatever other windows lie in it).
#define STANDIN_DESTROY_PAGE    (WM_APP + 5)
// Makes a new Processes page with the current rows.
#define STANDIN_CREATE_PAGE     (WM_APP + 6)
// wParam: rows per page wanted; resizes the window so the list shows them.
#define STANDIN_FIT_ROWS        (WM_APP + 7)
// wParam: row index; answers MAKELONG(top, bottom) of that row in the list's
// client coordinates, measured by the list itself (LVM_GETITEMRECT).
#define STANDIN_ROW_SPAN        (WM_APP + 8)

// wParam: the list's new distance from the top of its page, in pixels.
#define STANDIN_MOVE_LIST       (WM_APP + 9)
// Hangs Task Manager: its only thread answers TRUE at once (so the message
// may be sent or posted), then blocks for wParam milliseconds (0: 20 s)
// without looking at its messages.
#define STANDIN_HANG            (WM_APP + 10)
#define STANDIN_HANG_DEFAULT_MS 20000

// WM_COPYDATA with these dwData values; lpData is UTF-16 text, cbData its bytes.
#define STANDIN_COPY_ADD_ROW    1   // appends one row with this name
#define STANDIN_COPY_SET_ROWS   2   // replaces all rows: names separated by '|'
