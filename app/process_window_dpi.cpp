#include "app/process_window_dpi.h"
#include <commctrl.h>
#include "app/program_icons.h"
#include "core/window_dpi.h"

// At 96 DPI.
static const int MARGIN = 6;
static const int FILTER_BORDERS_AND_PADDING = 2 * 2 + 6;
static const int MIN_CLIENT_WIDTH = 360;
static const int MIN_CLIENT_HEIGHT = 200;

// The shell's image lists, by size (SHIL_LARGE, SHIL_SMALL, SHIL_EXTRALARGE).
static const int SYSTEM_LIST_KINDS[] = {0, 1, 2};
// IImageList: the shell hands its lists out through it, and it is the list itself.
static const IID imageListInterface = {0x46eb5926, 0x582e, 0x4017, {0x9f, 0xdf, 0xe8, 0x99, 0x8d, 0xaa, 0x09, 0x50}};

static int MeasureFilterHeight(HFONT font, UINT dpi)
{
    int height = 0;
    HDC screen = GetDC(NULL);
    if (screen) {
        HGDIOBJ old = SelectObject(screen, font ? (HGDIOBJ)font : GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW metrics;
        if (GetTextMetricsW(screen, &metrics))
            height = metrics.tmHeight;
        SelectObject(screen, old);
        ReleaseDC(NULL, screen);
    }
    if (height <= 0)
        height = ScaleForDpi(14, dpi);
    // The sunken edge and the room inside it, scaled as one: some systems keep
    // the edge 2 pixels wide at any DPI, and the field would come out squat.
    return height + ScaleForDpi(FILTER_BORDERS_AND_PADDING, dpi);
}

// The message font of the desktop at the window's DPI, for both controls.
static HFONT CreateMessageFont(UINT dpi)
{
    NONCLIENTMETRICSW metrics;
    if (!ReadNonClientMetricsForDpi(&metrics, dpi))
        return NULL;
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

// One of the shell's image lists; its index of a file's icon is the same in
// each. Held for the run, as the shell holds them. NULL where there is none.
static HIMAGELIST SystemImageList(int kind)
{
    typedef HRESULT (WINAPI* SHGetImageListProc)(int, REFIID, void**);
    static HIMAGELIST lists[ARRAYSIZE(SYSTEM_LIST_KINDS)];
    static bool looked;
    if (!looked) {
        looked = true;
        HMODULE shell = GetModuleHandleW(L"shell32.dll");
        // By name from XP SP1 on, by ordinal before.
        SHGetImageListProc getImageList =
            shell ? (SHGetImageListProc)(void*)GetProcAddress(shell, "SHGetImageList") : NULL;
        if (shell && !getImageList)
            getImageList = (SHGetImageListProc)(void*)GetProcAddress(shell, MAKEINTRESOURCEA(727));
        for (int i = 0; getImageList && i < (int)ARRAYSIZE(SYSTEM_LIST_KINDS); ++i) {
            if (FAILED(getImageList(SYSTEM_LIST_KINDS[i], imageListInterface, (void**)&lists[i])))
                lists[i] = NULL;
        }
    }
    return lists[kind];
}

// The shell's list whose icons come nearest the small icon size of `dpi`
// without passing it; the list keeps its own where the shell has none.
static void UseRowIconsForDpi(HWND list, UINT dpi)
{
    int wanted = ReadSystemMetricForDpi(SM_CXSMICON, dpi);
    HIMAGELIST best = NULL;
    int bestSize = 0;
    for (int i = 0; i < (int)ARRAYSIZE(SYSTEM_LIST_KINDS); ++i) {
        HIMAGELIST icons = SystemImageList(i);
        int width = 0;
        int height = 0;
        if (!icons || !ImageList_GetIconSize(icons, &width, &height))
            continue;
        bool fits = width <= wanted;
        bool bestFits = best && bestSize <= wanted;
        if (!best || (fits && (!bestFits || width > bestSize)) || (!fits && !bestFits && width < bestSize)) {
            best = icons;
            bestSize = width;
        }
    }
    if (best)
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)best);
}

// Sets an icon of ours on the window and destroys the one it replaces.
static void ReplaceWindowIcon(HWND window, WPARAM kind, HICON icon, HICON* held)
{
    SendMessageW(window, WM_SETICON, kind, (LPARAM)icon);
    if (*held)
        DestroyIcon(*held);
    *held = icon;
}

void ApplyProcessWindowDpi(ProcessWindowDpi* scale, HWND window, HWND list, UINT dpi)
{
    scale->dpi = dpi;
    scale->margin = ScaleForDpi(MARGIN, dpi);
    HFONT font = CreateMessageFont(dpi);
    if (font) {
        // Every control of the window, whichever they are.
        for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
            SendMessageW(control, WM_SETFONT, (WPARAM)font, TRUE);
        // No control uses the old font any more.
        if (scale->font)
            DeleteObject(scale->font);
        scale->font = font;
    }
    scale->filterHeight = MeasureFilterHeight(scale->font, dpi);
    UseRowIconsForDpi(list, dpi);
    ReplaceWindowIcon(window, ICON_BIG, LoadProgramIcon(SM_CXICON, dpi), &scale->icon);
    ReplaceWindowIcon(window, ICON_SMALL, LoadProgramIcon(SM_CXSMICON, dpi), &scale->smallIcon);
}

void ScaleListColumns(HWND list, UINT fromDpi, UINT toDpi)
{
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    int count = header ? (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 0;
    for (int column = 0; column < count; ++column) {
        int width = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0);
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(MulDiv(width, (int)toDpi, (int)fromDpi), 0));
    }
}

void ChangeProcessWindowDpi(ProcessWindowDpi* scale, HWND window, HWND list, UINT dpi,
                            const RECT* suggested)
{
    if (dpi == 0)
        return;
    if (scale->dpi && scale->dpi != dpi)
        ScaleListColumns(list, scale->dpi, dpi);
    ApplyProcessWindowDpi(scale, window, list, dpi);
    if (suggested)
        SetWindowPos(window, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void LimitProcessWindowSize(const ProcessWindowDpi* scale, HWND window, MINMAXINFO* limits)
{
    // Asked before the window is made too.
    UINT dpi = scale->dpi ? scale->dpi : ReadWindowDpi(window);
    RECT rect = {0, 0, ScaleForDpi(MIN_CLIENT_WIDTH, dpi), ScaleForDpi(MIN_CLIENT_HEIGHT, dpi)};
    if (!AdjustWindowRectForDpi(&rect, (DWORD)GetWindowLongPtrW(window, GWL_STYLE),
                                (DWORD)GetWindowLongPtrW(window, GWL_EXSTYLE), dpi))
        return;
    limits->ptMinTrackSize.x = rect.right - rect.left;
    limits->ptMinTrackSize.y = rect.bottom - rect.top;
}

void ReleaseProcessWindowDpi(ProcessWindowDpi* scale)
{
    if (scale->font)
        DeleteObject(scale->font);
    if (scale->icon)
        DestroyIcon(scale->icon);
    if (scale->smallIcon)
        DestroyIcon(scale->smallIcon);
    ZeroMemory(scale, sizeof(*scale));
}
