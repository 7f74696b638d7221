#include "taskmgr/link_strip.h"
#include <commctrl.h>
#include <strsafe.h>
#include "core/system_probes.h"
#include "core/window_class.h"
#include "core/window_dpi.h"
#include "lookup/process_lookup.h"
#include "resource.h"

static StripEndListener stripEndListener;

void ListenForStripEnd(StripEndListener listener)
{
    stripEndListener = listener;
}

static const wchar_t linkStripClass[] = L"LinksMarlet";

HWND CreateLinkStrip(HWND parent, LinkStripRecord* record)
{
    if (!RegisterOwnWindowClass(record->instance, linkStripClass, LinkStripProc,
                                CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, IDC_HAND, COLOR_BTNFACE, NULL, NULL))
        return NULL;
    // No WM_PARENTNOTIFY: destroying the strip inside a hung Task Manager's
    // page would otherwise wait for the page to answer.
    return CreateWindowExW(WS_EX_NOPARENTNOTIFY, linkStripClass, linkStripClass, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                           parent, NULL, record->instance, record);
}

static const LinkStripRecord* RecordOf(HWND strip)
{
    return (const LinkStripRecord*)GetWindowLongPtrW(strip, GWLP_USERDATA);
}

static bool ParentAnswers(HWND strip)
{
    LRESULT answer = 0;
    return AskTaskManager(GetParent(strip), WM_NULL, 0, 0, &answer);
}

// What the strip answers itself, without its parent, to a message that
// DefWindowProcW would pass on to the parent.
static LRESULT SettleWithoutParent(UINT message)
{
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(NULL, IDC_HAND));
        return TRUE;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    }
    return 0;
}

LRESULT CALLBACK LinkStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)((const CREATESTRUCTW*)lParam)->lpCreateParams);
        break;
    case WM_PAINT:
        PaintLinkStrip(window);
        return 0;
    case WM_PRINTCLIENT:
        DrawLinkStrip(window, (HDC)wParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnLinkStripClick(window, lParam);
        return 0;
    case WM_GETOBJECT:
        if ((LONG)lParam == (LONG)OBJID_CLIENT && RecordOf(window) && RecordOf(window)->objectAsked)
            return RecordOf(window)->objectAsked(window, wParam, lParam);
        break;
    case WM_SETCURSOR:
        // The strip still takes clicks while a lookup is read: busy, not blocked.
        if (LOWORD(lParam) == HTCLIENT && IsLookupPending()) {
            SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
            return TRUE;
        }
        // Otherwise the parent is asked, if it answers.
        // fall through
    case WM_MOUSEACTIVATE:
    case WM_MOUSEWHEEL:
    case WM_CONTEXTMENU:
        // DefWindowProcW hands these to the parent and waits for its answer
        // (activating Task Manager waits on it too): with a hung Task Manager
        // they are settled here instead.
        if (!ParentAnswers(window))
            return SettleWithoutParent(message);
        break;
    case WM_NCDESTROY:
        // Also reached when Task Manager's end takes the strip with it.
        if (stripEndListener)
            stripEndListener(window);
        if (RecordOf(window) && RecordOf(window)->stripGone)
            RecordOf(window)->stripGone(window);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The icon's drawn sizes from 16 pixels up, largest first.
static const int drawnIconSizes[] = {64, 48, 40, 32, 24, 20, 16};
// The 12-pixel link is drawn into the 32-pixel image, on the pixels a
// 12-pixel drawing reads.
static const int SMALL_LINK_SOURCE_SIZE = 32;

int LinkIconSize(int itemHeight, UINT dpi)
{
    int size = ScaleForDpi(LINK_ICON_SIZE, dpi);
    if (size > itemHeight)
        size = itemHeight;
    // One of the sizes the icon is drawn at, so that it is never resampled.
    for (int i = 0; i < (int)ARRAYSIZE(drawnIconSizes); ++i) {
        if (drawnIconSizes[i] <= size)
            return drawnIconSizes[i];
    }
    return LINK_ICON_SIZE;
}

HICON LoadLinkIcon(HINSTANCE instance, int size)
{
    int source = size == LINK_ICON_SIZE ? SMALL_LINK_SOURCE_SIZE : size;
    return (HICON)LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON, source, source, LR_DEFAULTCOLOR);
}

int DrawLinkIcons(HDC dc, const RECT* client, int itemHeight, HICON icon)
{
    int size = client->right - client->left;
    if (itemHeight <= 0 || !icon || size <= 0)
        return 0;
    int offset = (itemHeight - size) / 2;
    int drawn = 0;
    for (int row = 0; (row + 1) * itemHeight <= client->bottom; ++row) {
        DrawIconEx(dc, 0, row * itemHeight + offset, icon, size, size, 0, NULL, DI_NORMAL);
        ++drawn;
    }
    return drawn;
}

void DrawLinkStrip(HWND strip, HDC dc)
{
    const LinkStripRecord* record = RecordOf(strip);
    int itemHeight = record ? record->geometry->itemHeight : 0;
    RECT client;
    GetClientRect(strip, &client);
    if (IsHighContrastOn()) {
        DrawLinkOutlines(dc, &client, itemHeight);
        return;
    }
    // Our own copy, so it may be destroyed after use.
    HICON icon = itemHeight > 0 && client.right > 0 ? LoadLinkIcon(record->instance, client.right) : NULL;
    if (icon) {
        DrawLinkIcons(dc, &client, itemHeight, icon);
        DestroyIcon(icon);
    }
}

void PaintLinkStrip(HWND strip)
{
    // Begun and ended even when nothing is drawn: an update region left
    // invalid would bring WM_PAINT without end.
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(strip, &paint);
    if (!dc)
        return;
    DrawLinkStrip(strip, dc);
    EndPaint(strip, &paint);
}

// The screen point at which a click at that height in the strip reads its
// row; false when the list does not answer now.
static bool RowPointAtHeight(HWND strip, const ListGeometry& geometry, int clickY, POINT* screenPoint)
{
    // The accessibility query waits on the list without a time-out: a list
    // that does not answer now opens nothing.
    LRESULT answer = 0;
    if (!AskTaskManager(geometry.listView, WM_NULL, 0, 0, &answer))
        return false;
    // Only the click's height counts; the x is taken just inside the list.
    POINT listPoint = {geometry.listRect.left + 1, 0};
    ClientToScreen(geometry.listView, &listPoint);
    POINT stripPoint = {0, clickY};
    ClientToScreen(strip, &stripPoint);
    screenPoint->x = listPoint.x;
    screenPoint->y = stripPoint.y;
    // Past the strip, which lies over the list's left edge and widens with the DPI.
    RECT stripRect;
    if (GetWindowRect(strip, &stripRect) && screenPoint->x < stripRect.right)
        screenPoint->x = stripRect.right;
    return true;
}

// The one way a link is followed, by a click, the keyboard or a screen
// reader: the row beside that height in the strip is looked up.
static void LookUpRowAtHeight(HWND strip, int height)
{
    const LinkStripRecord* record = RecordOf(strip);
    POINT screenPoint;
    if (record && record->rowClicked && RowPointAtHeight(strip, *record->geometry, height, &screenPoint))
        record->rowClicked(screenPoint);
}

void OnLinkStripClick(HWND strip, LPARAM lParam)
{
    LookUpRowAtHeight(strip, (int)(unsigned short)HIWORD(lParam));
}

// The middle of a link, in the strip's client coordinates.
static int LinkMiddle(HWND strip, int link)
{
    const LinkStripRecord* record = RecordOf(strip);
    int itemHeight = record ? record->geometry->itemHeight : 0;
    return link * itemHeight + itemHeight / 2;
}

int CountStripLinks(HWND strip)
{
    const LinkStripRecord* record = RecordOf(strip);
    RECT client;
    if (!record || record->geometry->itemHeight <= 0 || !GetClientRect(strip, &client))
        return 0;
    return client.bottom / record->geometry->itemHeight;
}

bool LinkScreenRect(HWND strip, int link, RECT* rect)
{
    const LinkStripRecord* record = RecordOf(strip);
    if (!record || link < 0 || link >= CountStripLinks(strip) || !GetClientRect(strip, rect))
        return false;
    rect->top = link * record->geometry->itemHeight;
    rect->bottom = rect->top + record->geometry->itemHeight;
    MapWindowPoints(strip, NULL, (POINT*)rect, 2);
    return true;
}

bool IsLinkShown(HWND strip, int link)
{
    const LinkStripRecord* record = RecordOf(strip);
    RECT linkRect;
    RECT listRect;
    RECT both;
    return record && IsWindowVisible(strip) && LinkScreenRect(strip, link, &linkRect) &&
           GetWindowRect(record->geometry->listView, &listRect) && IntersectRect(&both, &linkRect, &listRect);
}

bool ReadLinkRowName(HWND strip, int link, wchar_t* name)
{
    const LinkStripRecord* record = RecordOf(strip);
    POINT screenPoint;
    return record && link >= 0 && link < CountStripLinks(strip) &&
           RowPointAtHeight(strip, *record->geometry, LinkMiddle(strip, link), &screenPoint) &&
           NameAtPoint(screenPoint, name);
}

void ClickStripLink(HWND strip, int link)
{
    if (link >= 0 && link < CountStripLinks(strip))
        LookUpRowAtHeight(strip, LinkMiddle(strip, link));
}

int DrawLinkOutlines(HDC dc, const RECT* client, int itemHeight)
{
    // Only the system's colours: the icon's own would fight the user's scheme.
    FillRect(dc, client, GetSysColorBrush(COLOR_WINDOW));
    int size = client->right - client->left;
    if (itemHeight <= 0 || size < 4)
        return 0;
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_HOTLIGHT));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    int offset = (itemHeight - size) / 2;
    int drawn = 0;
    // Two interlocked rings across the square, a chain link in outline.
    int ring = size * 2 / 3;
    for (int row = 0; (row + 1) * itemHeight <= client->bottom; ++row) {
        int top = row * itemHeight + offset;
        RoundRect(dc, 0, top + size - ring, ring, top + size, ring / 2, ring / 2);
        RoundRect(dc, size - ring, top, size, top + ring, ring / 2, ring / 2);
        ++drawn;
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    if (pen)
        DeleteObject(pen);
    return drawn;
}

void PlaceLinkStrip(HWND strip, const ListGeometry* measured)
{
    const ListGeometry& geometry = *measured;
    // A list that does not answer leaves the strip where it is.
    LRESULT answer = 0;
    if (!AskTaskManager(geometry.listView, LVM_GETTOPINDEX, 0, 0, &answer))
        return;
    int top = (int)answer;
    int rows = (top + geometry.countPerPage < geometry.itemCount) ? geometry.countPerPage : geometry.itemCount - top;
    // A top row past the last measured item leaves no row to show.
    if (rows < 0)
        rows = 0;
    int linksBefore = CountStripLinks(strip);
    SetWindowPos(strip, NULL, 0, geometry.headerRect.bottom + 1,
                 LinkIconSize(geometry.itemHeight, geometry.dpi), rows * geometry.itemHeight, SWP_NOZORDER);
    // Screen readers hear that the links changed.
    if (CountStripLinks(strip) != linksBefore)
        NotifyWinEvent(EVENT_OBJECT_REORDER, strip, OBJID_CLIENT, CHILDID_SELF);
}
