#include "taskmgr/attachment.h"

// Placeholder until the Task Manager integration lands.
bool StartIntegration(HWND mainWindow)
{
    return mainWindow != NULL;
}
