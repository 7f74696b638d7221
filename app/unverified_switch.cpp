#include "app/unverified_switch.h"
#include "core/program_text.h"
#include "app/app_state.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "resource.h"

static HWND FindSwitch(HWND processWindow)
{
    return GetDlgItem(processWindow, IDC_PROCESS_UNVERIFIED);
}

bool CreateUnverifiedSwitch(HWND processWindow, HFONT font)
{
    wchar_t caption[64];
    if (!LoadProgramText(IDS_UNVERIFIED_ONLY, caption, ARRAYSIZE(caption)))
        caption[0] = L'\0';
    HWND box = CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, 0,
                               0, processWindow, (HMENU)(UINT_PTR)IDC_PROCESS_UNVERIFIED, appState.instance, NULL);
    if (!box)
        return false;
    if (font)
        SendMessageW(box, WM_SETFONT, (WPARAM)font, FALSE);
    SendMessageW(box, BM_SETCHECK, ReadSetting(unverifiedOnlySetting) ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
}

// The caption's width in the box's font, and the check mark's with room around it.
static int MeasureSwitchWidth(HWND box)
{
    wchar_t caption[64];
    int length = GetWindowTextW(box, caption, ARRAYSIZE(caption));
    SIZE size = {0, 0};
    HDC dc = GetDC(box);
    if (dc) {
        HGDIOBJ font = (HGDIOBJ)SendMessageW(box, WM_GETFONT, 0, 0);
        HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
        GetTextExtentPoint32W(dc, caption, length, &size);
        SelectObject(dc, old);
        ReleaseDC(box, dc);
    }
    return size.cx + GetSystemMetrics(SM_CXMENUCHECK) + 3 * GetSystemMetrics(SM_CXEDGE);
}

int PlaceUnverifiedSwitch(HWND processWindow, int right, int top, int height)
{
    return PlaceSwitchBox(FindSwitch(processWindow), right, top, height);
}

int PlaceSwitchBox(HWND box, int right, int top, int height)
{
    int width = MeasureSwitchWidth(box);
    MoveWindow(box, right - width, top, width, height, TRUE);
    return right - width;
}

bool IsUnverifiedOnly(HWND processWindow)
{
    return SendMessageW(FindSwitch(processWindow), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ToggleUnverifiedOnly(HWND processWindow)
{
    SendMessageW(FindSwitch(processWindow), BM_SETCHECK, IsUnverifiedOnly(processWindow) ? BST_UNCHECKED : BST_CHECKED,
                 0);
    SaveUnverifiedOnly(processWindow);
}

void SaveUnverifiedOnly(HWND processWindow)
{
    WriteSetting(unverifiedOnlySetting, IsUnverifiedOnly(processWindow) ? 1 : 0);
}
