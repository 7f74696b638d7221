#include "app/lookup_hotkey.h"
#include "app/process_window.h"
#include "taskmgr/attachment.h"

static bool hotkeyRegistered;

void RegisterLookUpHotkey(HWND mainWindow)
{
    hotkeyRegistered = RegisterHotKey(mainWindow, LOOK_UP_HOTKEY_ID, MOD_CONTROL | MOD_ALT, 'K') != FALSE;
}

void UnregisterLookUpHotkey(HWND mainWindow)
{
    if (hotkeyRegistered)
        UnregisterHotKey(mainWindow, LOOK_UP_HOTKEY_ID);
    hotkeyRegistered = false;
}

bool IsLookUpHotkeyRegistered()
{
    return hotkeyRegistered;
}

void LookUpSelectedProcess()
{
    if (!LookUpSelectedTaskManagerRow())
        ShowProcessWindow();
}

void ShowLookUpHotkeyInMenu(HMENU menu, UINT command)
{
    if (hotkeyRegistered)
        return;
    wchar_t caption[128];
    if (!GetMenuStringW(menu, command, caption, ARRAYSIZE(caption), MF_BYCOMMAND))
        return;
    wchar_t* tab = wcschr(caption, L'\t');
    if (!tab)
        return;
    *tab = L'\0';
    ModifyMenuW(menu, command, MF_BYCOMMAND | MF_STRING, command, caption);
}
