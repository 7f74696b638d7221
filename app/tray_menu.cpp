#include "app/tray_menu.h"
#include "app/app_state.h"
#include "resource.h"

// Placeholder until the tray menu lands.
void TrayCallback(LPARAM mouseMessage)
{
}

bool DispatchCommand(WPARAM wParam)
{
    if (LOWORD(wParam) == IDM_EXIT) {
        PostMessageW(appState.mainWindow, WM_SHUTDOWN_REQUEST, 0, 0);
        return true;
    }
    return false;
}
