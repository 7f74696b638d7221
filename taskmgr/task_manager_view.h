// Finding Task Manager and measuring its process list.
#pragma once
#include <windows.h>

struct ListGeometry {
    HWND page;          // the Processes page, parent of the list
    HWND listView;
    HWND header;
    RECT listRect;      // page client coordinates, top moved below the header
    RECT headerRect;    // page client coordinates
    int itemHeight;
    int itemCount;
    int countPerPage;
    UINT dpi;           // the list's, which sets the strip's size
};

struct TaskManagerView {
    HWND window;
    RECT clientRect;
    ListGeometry geometry;
};

// The longest we wait for one of Task Manager's windows to answer a message.
const UINT TASK_MANAGER_ANSWER_MS = 500;

bool LoadTaskManagerTitle(wchar_t* title /* MAX_PATH */);
bool FindTaskManager(TaskManagerView* view);
BOOL CALLBACK MatchProcessList(HWND child, LPARAM view);
// False, with the record left as it was, when the list did not answer.
bool MeasureProcessList(ListGeometry* geometry);
// Sends a message to one of Task Manager's windows without hanging along
// with a hung Task Manager: false when no answer came in time (or the window
// is gone), and then *answer is 0.
bool AskTaskManager(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer);

// Reading a row of Task Manager's list through Active Accessibility: the
// name of the row at a screen point, with any " *32" cut off.
bool NameAtPoint(POINT screenPoint, wchar_t* name /* MAX_PATH */);
// The name of the row at the point, as NameAtPoint reads it, and its PID
// when Task Manager shows its PID column (0 otherwise).
bool RowAtPoint(POINT screenPoint, wchar_t* name /* MAX_PATH */, DWORD* processId);
// The PID in a list row's accessible description, which names each column
// but the first as "<title>: <text>", joined by ", "; 0 when there is no
// "PID" column or its text is no number.
DWORD FindProcessIdInDescription(const wchar_t* description);
void CutAtAsterisk(wchar_t* name);
