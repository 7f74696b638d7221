#include "app/dialogs.h"

// Placeholder until the dialogs land: the splash screen shows nothing yet.
void ShowSplash(HWND owner)
{
}
