#include "app/window_finder.h"
#include "core/program_text.h"
#include <commctrl.h>
#include <strsafe.h>
#include "app/accessible_names.h"
#include "app/app_state.h"
#include "core/system_probes.h"
#include "core/window_class.h"
#include "core/window_dpi.h"
#include "resource.h"

static const wchar_t finderClass[] = L"TavrowenFinder";
// DwmGetWindowAttribute's DWMWA_CLOAKED (Windows 8 and later), named here so
// the program builds against headers that predate it.
static const DWORD DWM_CLOAKED_ATTRIBUTE = 14;
// The outline's width in borders.
static const int OUTLINE_BORDERS = 3;

typedef HRESULT (WINAPI* DwmGetWindowAttributeProc)(HWND, DWORD, PVOID, DWORD);

struct FinderState {
    HWND target;        // the control with the target icon
    HICON icon;
    int iconSize;
    bool dragging;
    HWND focusBefore;   // has the keyboard again when a drag finds nothing
    HWND outlined;      // the window outlined on screen now, if any
    RECT outline;       // where its outline was drawn
};

// The target's own record, made with it and freed at its WM_NCDESTROY.
static FinderState* FinderOf(HWND target)
{
    return target ? (FinderState*)GetWindowLongPtrW(target, GWLP_USERDATA) : NULL;
}

// ---- What a window is -----------------------------------------------------------

static DWORD ProcessOfWindow(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// The desktop behind every window: the system's, Program Manager, or the
// WorkerW that holds the icons on later Windows.
static bool IsDesktop(HWND window)
{
    HWND root = GetAncestor(window, GA_ROOT);
    if (!root || root == GetDesktopWindow() || root == GetShellWindow())
        return true;
    wchar_t className[16] = L"";
    GetClassNameW(root, className, ARRAYSIZE(className));
    return wcscmp(className, L"WorkerW") == 0 && FindWindowExW(root, NULL, L"SHELLDLL_DefView", NULL) != NULL;
}

// A window whose process can be shown: not ours, not the desktop.
static bool IsOtherProcessWindow(HWND window)
{
    DWORD processId = window ? ProcessOfWindow(window) : 0;
    return processId != 0 && processId != GetCurrentProcessId() && !IsDesktop(window);
}

// The window's rectangle, cut to the screens; false when none of it is on them.
static bool OnScreenRect(HWND window, RECT* rect)
{
    RECT screens, bounds;
    screens.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    screens.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    screens.right = screens.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screens.bottom = screens.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return GetWindowRect(window, &bounds) && IntersectRect(rect, &bounds, &screens);
}

// Tells the window that owns the target.
static void ReportProcessOf(HWND processWindow, HWND found)
{
    SendMessageW(processWindow, WM_FINDER_FOUND_PROCESS, ProcessOfWindow(found), 0);
}

// ---- The drag -----------------------------------------------------------------------

// Inverts a frame on the screen: drawing it again takes it away.
static void InvertFrame(const RECT* rect)
{
    HDC screen = GetDC(NULL);
    if (!screen)
        return;
    int thickness = OUTLINE_BORDERS * GetSystemMetrics(SM_CXBORDER);
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top;
    if (width <= 2 * thickness || height <= 2 * thickness) {
        PatBlt(screen, rect->left, rect->top, width, height, DSTINVERT);
    } else {
        PatBlt(screen, rect->left, rect->top, width, thickness, DSTINVERT);
        PatBlt(screen, rect->left, rect->bottom - thickness, width, thickness, DSTINVERT);
        PatBlt(screen, rect->left, rect->top + thickness, thickness, height - 2 * thickness, DSTINVERT);
        PatBlt(screen, rect->right - thickness, rect->top + thickness, thickness, height - 2 * thickness, DSTINVERT);
    }
    ReleaseDC(NULL, screen);
}

// Moves the outline to the window (NULL: none). The old one is taken away
// where it was drawn, even if its window has moved since.
static void OutlineWindow(FinderState* finder, HWND window)
{
    if (window == finder->outlined)
        return;
    if (finder->outlined)
        InvertFrame(&finder->outline);
    finder->outlined = NULL;
    if (window && OnScreenRect(window, &finder->outline)) {
        InvertFrame(&finder->outline);
        finder->outlined = window;
    }
}

// The window under the pointer when its process can be shown, else NULL.
static HWND FoundWindowAtPointer()
{
    POINT point;
    if (!GetCursorPos(&point))
        return NULL;
    HWND window = WindowFromPoint(point);
    return IsOtherProcessWindow(window) ? window : NULL;
}

static void StartDrag(FinderState* finder)
{
    finder->dragging = true;
    finder->outlined = NULL;
    finder->focusBefore = GetFocus();
    SetCapture(finder->target);
    // The keyboard too, for Esc.
    SetFocus(finder->target);
    SetCursor(LoadCursorW(NULL, IDC_CROSS));
}

// Takes the outline away and gives back the pointer and the keyboard.
static void EndDrag(FinderState* finder)
{
    if (!finder->dragging)
        return;
    finder->dragging = false;
    OutlineWindow(finder, NULL);
    if (GetCapture() == finder->target)
        ReleaseCapture();
    if (finder->focusBefore && IsWindow(finder->focusBefore))
        SetFocus(finder->focusBefore);
}

// High contrast: the target as rings and a cross in the text colour, no bitmap.
static void DrawTargetOutline(HDC dc, const RECT* client, int size)
{
    FillRect(dc, client, GetSysColorBrush(COLOR_BTNFACE));
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    int left = (client->right - size) / 2;
    int top = (client->bottom - size) / 2;
    Ellipse(dc, left, top, left + size, top + size);
    Ellipse(dc, left + size / 3, top + size / 3, left + size - size / 3, top + size - size / 3);
    MoveToEx(dc, left + size / 2, top, NULL);
    LineTo(dc, left + size / 2, top + size);
    MoveToEx(dc, left, top + size / 2, NULL);
    LineTo(dc, left + size, top + size / 2);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    if (pen)
        DeleteObject(pen);
}

static void PaintTarget(FinderState* finder, HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc)
        return;
    RECT client;
    GetClientRect(window, &client);
    int size = finder->iconSize < client.bottom ? finder->iconSize : client.bottom;
    if (IsHighContrastOn())
        DrawTargetOutline(dc, &client, size);
    else if (finder->icon)
        DrawIconEx(dc, (client.right - size) / 2, (client.bottom - size) / 2, finder->icon, size, size, 0, NULL,
                   DI_NORMAL);
    EndPaint(window, &paint);
}

static LRESULT RunFinderMessage(FinderState* finder, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintTarget(finder, window);
        return 0;
    case WM_LBUTTONDOWN:
        if (!finder->dragging)
            StartDrag(finder);
        return 0;
    case WM_MOUSEMOVE:
        if (finder->dragging) {
            SetCursor(LoadCursorW(NULL, IDC_CROSS));
            OutlineWindow(finder, FoundWindowAtPointer());
        }
        return 0;
    case WM_LBUTTONUP:
        if (finder->dragging) {
            HWND found = FoundWindowAtPointer();
            EndDrag(finder);
            if (found)
                ReportProcessOf(GetParent(window), found);
        }
        return 0;
    case WM_GETDLGCODE:
        // Esc during a drag is ours, not the window's (which would close).
        return finder->dragging ? DLGC_WANTALLKEYS : 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            EndDrag(finder);
        return 0;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        // Taken away by another window or a box: cancelled.
        EndDrag(finder);
        return 0;
    case WM_DESTROY:
        // The window closes under the drag: only the outline needs taking away.
        finder->focusBefore = NULL;
        EndDrag(finder);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static LRESULT CALLBACK FinderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        FinderState* made = (FinderState*)((const CREATESTRUCTW*)lParam)->lpCreateParams;
        if (made)
            made->target = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)made);
    }
    FinderState* finder = FinderOf(window);
    if (message == WM_NCDESTROY && finder) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (finder->icon)
            DestroyIcon(finder->icon);
        HeapFree(GetProcessHeap(), 0, finder);
        finder = NULL;
    }
    if (!finder)
        return DefWindowProcW(window, message, wParam, lParam);
    return RunFinderMessage(finder, window, message, wParam, lParam);
}

// ---- The control --------------------------------------------------------------------

static void AddTooltip(HWND processWindow, HWND target, wchar_t* text)
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
    // Owned by the window, so it goes with it.
    HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, NULL, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, processWindow, NULL,
                                   appState.instance, NULL);
    if (!tooltip)
        return;
    TOOLINFOW tool;
    ZeroMemory(&tool, sizeof(tool));
    // The size that common controls 5.8 (XP without a manifest) takes as well as 6.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = processWindow;
    tool.uId = (UINT_PTR)target;
    tool.lpszText = text;
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, (LPARAM)&tool);
}

// The target at the small icon size of the window's DPI, loaded anew when that changes.
static void LoadFinderIcon(HWND processWindow)
{
    FinderState* finder = FinderOf(GetDlgItem(processWindow, IDC_PROCESS_FINDER));
    if (!finder)
        return;
    int size = ReadSystemMetricForDpi(SM_CXSMICON, ReadWindowDpi(processWindow));
    if (finder->icon && size == finder->iconSize)
        return;
    HICON icon = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_FINDER), IMAGE_ICON, size, size,
                                   LR_DEFAULTCOLOR);
    if (!icon)
        return;
    if (finder->icon)
        DestroyIcon(finder->icon);
    finder->icon = icon;
    finder->iconSize = size;
    InvalidateRect(finder->target, NULL, TRUE);
}

bool CreateWindowFinder(HWND processWindow)
{
    if (!RegisterOwnWindowClass(appState.instance, finderClass, FinderProc, 0, IDC_ARROW, COLOR_BTNFACE, NULL, NULL))
        return false;
    wchar_t tip[128];
    if (!LoadProgramText(IDS_FINDER_TIP, tip, ARRAYSIZE(tip)))
        tip[0] = L'\0';
    FinderState* finder = (FinderState*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FinderState));
    if (!finder)
        return false;
    // The tip is its name too, for screen readers.
    HWND target = CreateWindowExW(0, finderClass, tip, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, processWindow,
                                  (HMENU)(UINT_PTR)IDC_PROCESS_FINDER, appState.instance, finder);
    // The procedure refuses neither WM_NCCREATE nor WM_CREATE: a window that
    // was not made never took the record.
    if (!target) {
        HeapFree(GetProcessHeap(), 0, finder);
        return false;
    }
    GiveAccessibleName(target, IDS_FINDER_ACCESSIBLE_NAME, IDS_FINDER_ACCESSIBLE_KEYS);
    LoadFinderIcon(processWindow);
    if (tip[0])
        AddTooltip(processWindow, target, tip);
    return true;
}

int PlaceWindowFinder(HWND processWindow, int margin, int filterHeight)
{
    LoadFinderIcon(processWindow);
    MoveWindow(GetDlgItem(processWindow, IDC_PROCESS_FINDER), margin, margin, filterHeight, filterHeight, TRUE);
    return margin + filterHeight + margin;
}

// dwmapi.dll from the system folder (Vista and later), or NULL.
static HMODULE LoadDwmLibrary()
{
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path) || FAILED(StringCchCatW(path, ARRAYSIZE(path), L"\\dwmapi.dll")))
        return NULL;
    return LoadLibraryW(path);
}

void FindProcessOfWindowBehind(HWND processWindow)
{
    // Windows 8 and later keep hidden apps as cloaked windows, visible to
    // every other test.
    HMODULE dwm = LoadDwmLibrary();
    DwmGetWindowAttributeProc getAttribute =
        dwm ? (DwmGetWindowAttributeProc)(void*)GetProcAddress(dwm, "DwmGetWindowAttribute") : NULL;
    HWND found = NULL;
    for (HWND window = GetWindow(processWindow, GW_HWNDNEXT); window && !found;
         window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD cloaked = 0;
        RECT rect;
        if (!IsWindowVisible(window) || IsIconic(window) || !OnScreenRect(window, &rect) ||
            (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) || !IsOtherProcessWindow(window))
            continue;
        if (getAttribute && SUCCEEDED(getAttribute(window, DWM_CLOAKED_ATTRIBUTE, &cloaked, sizeof(cloaked))) &&
            cloaked)
            continue;
        found = window;
    }
    if (dwm)
        FreeLibrary(dwm);
    if (found)
        ReportProcessOf(processWindow, found);
    else
        MessageBeep(MB_OK);
}
