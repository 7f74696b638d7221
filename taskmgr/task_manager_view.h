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
};

struct TaskManagerView {
    HWND window;
    RECT clientRect;
    ListGeometry geometry;
};

bool LoadTaskManagerTitle(wchar_t* title /* MAX_PATH */);
bool FindTaskManager(TaskManagerView* view);
BOOL CALLBACK MatchProcessList(HWND child, LPARAM view);
void MeasureProcessList(ListGeometry* geometry);
