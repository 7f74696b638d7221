// Opens the running program's Running Processes window as its tray command
// does, waits until the window is on screen and prints its rectangle as an
// image crop geometry (WxH+X+Y). Exit code 0 when the window showed.
#include <windows.h>
#include <stdio.h>
#include "resource.h"

int main()
{
    HWND mainWindow = FindWindowW(L"Tavrowen2", NULL);
    if (!mainWindow) {
        fprintf(stderr, "Tavrowen 2 is not running\n");
        return 1;
    }
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_PROCESSES, 0), 0);
    for (int i = 0; i < 200; ++i) {
        HWND window = FindWindowW(L"TavrowenProcesses", NULL);
        RECT rect;
        if (window && IsWindowVisible(window) && !IsIconic(window) && GetWindowRect(window, &rect)) {
            printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
            return 0;
        }
        Sleep(50);
    }
    fprintf(stderr, "the Running Processes window did not show\n");
    return 2;
}
