#include "app/dialogs.h"
#include "app/app_state.h"
#include "app/brand_art.h"
#include "core/program_language.h"
#include "app/dark_mode.h"
#include "app/tray_icon.h"
#include "core/lookup_url.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/system_probes.h"
#include "core/window_dpi.h"
#include "taskmgr/attachment.h"
#include "resource.h"

static const UINT_PTR SPLASH_TIMER = 1;
static const UINT SPLASH_TIMEOUT_MS = 10000;
// The longest name the search sends, terminator included.
static const int SEARCH_TEXT_CAPACITY = MAX_PATH;

// Runs one of the two guarded dialogs unless it is already open.
static void ShowGuardedDialog(HWND owner, BYTE guard, WORD templateId, DLGPROC procedure)
{
    if (appState.dialogGuards & guard)
        return;
    // A minimised or hidden Task Manager comes back before the box it owns.
    if (owner)
        ShowWindow(owner, SW_SHOWNORMAL);
    appState.dialogGuards |= guard;
    ShowProgramDialog(templateId, owner, procedure, 0);
    // The procedure clears the bit when the dialog closes; a dialog that could
    // not be created never runs it and would keep this one shut for good.
    // Dialogs nest strictly, so no other copy of this one can be open here.
    appState.dialogGuards &= (BYTE)~guard;
}

void ShowAboutDialog(HWND owner)
{
    ShowGuardedDialog(owner, ABOUT_DIALOG_OPEN, IDD_ABOUT, AboutDialogProc);
}

void ShowSearchDialog(HWND owner)
{
    ShowGuardedDialog(owner, SEARCH_DIALOG_OPEN, IDD_SEARCH, SearchDialogProc);
}

void ShowSplash(HWND owner)
{
    if (IsVistaOrLater() && IsElevated())
        return;
    ShowProgramDialog(IDD_SPLASH, owner, SplashDialogProc, 0);
}

void CentreWindow(HWND reference, HWND dialog)
{
    if (!reference)
        reference = GetDesktopWindow();
    RECT outer;
    RECT inner;
    if (!GetWindowRect(reference, &outer) || !GetWindowRect(dialog, &inner))
        return;
    int width = inner.right - inner.left;
    int height = inner.bottom - inner.top;
    int x = outer.left + (outer.right - outer.left) / 2 - width / 2;
    int y = outer.top + (outer.bottom - outer.top) / 2 - height / 2;
    MoveWindow(dialog, x, y, width, height, FALSE);
}

static void CloseGuardedDialog(HWND dialog, BYTE guard)
{
    appState.dialogGuards &= (BYTE)~guard;
    EndDialog(dialog, 0);
}

// What the About and Search boxes answer alike: the colour mode, their place
// over Task Manager when they open, and their closing. True, with *answer,
// for a message that is answered here in full.
static bool AnswerGuardedDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, BYTE guard, INT_PTR* answer)
{
    LRESULT colored = 0;
    *answer = FALSE;
    if (HandleColorModeMessage(dialog, message, wParam, lParam, &colored)) {
        *answer = (INT_PTR)colored;
        return true;
    }
    if (message == WM_INITDIALOG) {
        CentreWindow(AttachedTaskManagerWindow(), dialog);
        ApplyColorMode(dialog);
        return false;
    }
    if (message == WM_CLOSE || message == WM_DESTROY) {
        CloseGuardedDialog(dialog, guard);
        *answer = TRUE;
        return true;
    }
    return false;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR answer = FALSE;
    if (AnswerGuardedDialog(dialog, message, wParam, lParam, ABOUT_DIALOG_OPEN, &answer))
        return answer;
    switch (message) {
    case WM_DRAWITEM:
        if (wParam != IDC_ABOUT_BANNER)
            return FALSE;
        DrawAboutBanner((const DRAWITEMSTRUCT*)lParam, ReadWindowDpi(dialog));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        CloseGuardedDialog(dialog, ABOUT_DIALOG_OPEN);
        return TRUE;
    }
    return FALSE;
}

// Opens the lookup page for the typed name; an empty field keeps the dialog open.
static void RunSearchCommand(HWND dialog, WORD command)
{
    if (command == IDCANCEL) {
        CloseGuardedDialog(dialog, SEARCH_DIALOG_OPEN);
        return;
    }
    if (command != IDOK)
        return;
    wchar_t name[SEARCH_TEXT_CAPACITY];
    if (GetDlgItemTextW(dialog, IDC_SEARCH_TEXT, name, ARRAYSIZE(name)) == 0)
        return;
    // The name alone: a typed search sends no file details.
    LookupUrl url;
    StartLookupUrl(&url, name);
    TellIfAddressOnClipboard(OpenLookupUrl(&url));
    CloseGuardedDialog(dialog, SEARCH_DIALOG_OPEN);
}

INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR answer = FALSE;
    if (AnswerGuardedDialog(dialog, message, wParam, lParam, SEARCH_DIALOG_OPEN, &answer))
        return answer;
    switch (message) {
    case WM_INITDIALOG:
        // Typing goes straight into the name field.
        SetFocus(GetDlgItem(dialog, IDC_SEARCH_TEXT));
        return FALSE;
    case WM_COMMAND:
        RunSearchCommand(dialog, LOWORD(wParam));
        return FALSE;
    }
    return FALSE;
}

// The face is laid out in pixels at 96 DPI and painted at the dialog's. With
// another dialog font the template comes out at another size: bring the
// dialog to the face's size and move the check box by the same ratio, so that
// it stays beside the label painted for it.
static void FitSplashToFace(HWND dialog, int faceWidth, int faceHeight)
{
    RECT client;
    if (!GetClientRect(dialog, &client) || client.right <= 0 || client.bottom <= 0)
        return;
    int width = client.right;
    int height = client.bottom;
    if (width == faceWidth && height == faceHeight)
        return;
    HWND box = GetDlgItem(dialog, IDC_SPLASH_NOSHOW);
    RECT boxRect;
    if (box && GetWindowRect(box, &boxRect)) {
        MapWindowPoints(NULL, dialog, (POINT*)&boxRect, 2);
        int left = MulDiv(boxRect.left, faceWidth, width);
        int top = MulDiv(boxRect.top, faceHeight, height);
        int right = MulDiv(boxRect.right, faceWidth, width);
        int bottom = MulDiv(boxRect.bottom, faceHeight, height);
        MoveWindow(box, left, top, right - left, bottom - top, FALSE);
    }
    // No frame: the window is its client area.
    SetWindowPos(dialog, NULL, 0, 0, faceWidth, faceHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The face's size and rounded outline at `dpi`.
static void ShapeSplash(HWND dialog, UINT dpi)
{
    int width = ScaleForDpi(SPLASH_WIDTH, dpi);
    int height = ScaleForDpi(SPLASH_HEIGHT, dpi);
    int corner = ScaleForDpi(SPLASH_CORNER, dpi);
    // The system owns the region once it is set, and frees the one it replaces.
    HRGN region = CreateRoundRectRgn(0, 0, width, height, corner, corner);
    if (region && !SetWindowRgn(dialog, region, FALSE))
        DeleteObject(region);
    FitSplashToFace(dialog, width, height);
}

static void EndSplash(HWND dialog)
{
    KillTimer(dialog, SPLASH_TIMER);
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ShapeSplash(dialog, ReadWindowDpi(dialog));
        CentreWindow(AttachedTaskManagerWindow(), dialog);
        CheckDlgButton(dialog, IDC_SPLASH_NOSHOW, ReadSetting(noSplashSetting) ? BST_CHECKED : BST_UNCHECKED);
        SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                     (LPARAM)LoadIconW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN)));
        SetTimer(dialog, SPLASH_TIMER, SPLASH_TIMEOUT_MS, NULL);
        return FALSE;
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI: the face at the new size, where it is.
        ShapeSplash(dialog, LOWORD(wParam));
        InvalidateRect(dialog, NULL, TRUE);
        return TRUE;
    case WM_ERASEBKGND:
        PaintSplashFace((HDC)wParam, ReadWindowDpi(dialog));
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        // The check box stands on the face's white.
        return (INT_PTR)GetStockObject(WHITE_BRUSH);
    case WM_TIMER:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        EndSplash(dialog);
        return TRUE;
    case WM_COMMAND:
        // The automatic check box flips its own mark; the stored value follows it.
        if (LOWORD(wParam) == IDC_SPLASH_NOSHOW && HIWORD(wParam) == BN_CLICKED)
            ToggleSetting(noSplashSetting);
        return FALSE;
    }
    return FALSE;
}
