#include "app/tray_icon.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "app/program_icons.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/system_probes.h"
#include "resource.h"

static const UINT HINT_TIMEOUT_MS = 15000;
static bool attachHintDue = false;

static bool ShowTrayBalloon(UINT textId);

bool AddTrayIcon()
{
    NOTIFYICONDATAW& data = appState.trayIcon.base;
    ZeroMemory(&appState.trayIcon, sizeof(appState.trayIcon));
    data.cbSize = sizeof(appState.trayIcon);
    data.hWnd = appState.mainWindow;
    data.uID = 0;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_CALLBACK;
    data.hIcon = LoadTrayIcon();
    StringCchCopyW(data.szTip, ARRAYSIZE(data.szTip), L"Tavrowen2");
    if (!Shell_NotifyIconW(NIM_ADD, &data))
        return false;
    appState.trayIconAdded = 1;
    if (attachHintDue && ShowTrayBalloon(IDS_ATTACH_NEEDS_ALL_USERS))
        attachHintDue = false;
    return true;
}

// A restarted Explorer starts with an empty tray: put our icon back, unless it
// was never added yet or has been taken away for good.
void RestoreTrayIcon()
{
    if (appState.trayIconAdded && !appState.shutdownBegun)
        Shell_NotifyIconW(NIM_ADD, &appState.trayIcon.base);
}

void RemoveTrayIcon()
{
    if (!appState.trayIconAdded)
        return;
    appState.trayIconAdded = 0;
    if (Shell_NotifyIconW(NIM_DELETE, &appState.trayIcon.base) && appState.trayIcon.base.hIcon) {
        DestroyIcon(appState.trayIcon.base.hIcon);
        appState.trayIcon.base.hIcon = NULL;
    }
}

static bool ShowTrayBalloon(UINT textId)
{
    // The whole record as it was added, so the size it states is the size passed.
    TrayIconData balloon = appState.trayIcon;
    balloon.base.uFlags = NIF_INFO;
    balloon.base.dwInfoFlags = NIIF_INFO;
    balloon.base.uTimeout = HINT_TIMEOUT_MS;
    return LoadProgramText(IDS_HINT_TITLE, balloon.base.szInfoTitle,
                       ARRAYSIZE(balloon.base.szInfoTitle)) &&
           LoadProgramText(textId, balloon.base.szInfo, ARRAYSIZE(balloon.base.szInfo)) &&
           Shell_NotifyIconW(NIM_MODIFY, &balloon.base);
}

void ShowProcessesHintOnce()
{
    if (IsWindows8OrLater() && !ReadSetting(processesHintSetting) && ShowTrayBalloon(IDS_HINT_TEXT))
        WriteSetting(processesHintSetting, 1);
}

void TellIfAddressOnClipboard(AddressOpening opening)
{
    if (opening == ADDRESS_ON_CLIPBOARD)
        ShowTrayBalloon(IDS_ADDRESS_ON_CLIPBOARD);
}

void TellAttachNeedsAllUsersInstall()
{
    static bool told = false;
    if (told)
        return;
    told = true;
    attachHintDue = !appState.trayIconAdded || !ShowTrayBalloon(IDS_ATTACH_NEEDS_ALL_USERS);
}
