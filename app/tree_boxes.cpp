#include "app/tree_boxes.h"
#include "core/window_dpi.h"

static const COLORREF CLEAR = RGB(255, 0, 255);

// One box at `left`: its frame, its dash, and for a collapsed one the bar.
static void DrawBox(HDC dc, int left, int size, bool collapsed)
{
    int inset = size / 4;
    RECT frame = {left + inset, inset, left + size - inset, size - inset};
    HBRUSH line = GetSysColorBrush(COLOR_GRAYTEXT);
    FrameRect(dc, &frame, line);
    int middle = size / 2;
    int arm = (frame.right - frame.left) / 2 - 2;
    if (arm < 1)
        arm = 1;
    RECT dash = {left + middle - arm, middle, left + middle + arm + 1, middle + 1};
    FillRect(dc, &dash, line);
    if (collapsed) {
        RECT bar = {left + middle, middle - arm, left + middle + 1, middle + arm + 1};
        FillRect(dc, &bar, line);
    }
}

static HBITMAP DrawBoxes(int size)
{
    HDC screen = GetDC(NULL);
    if (!screen)
        return NULL;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2 * size, size);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(NULL, screen);
    if (bitmap && dc) {
        HGDIOBJ before = SelectObject(dc, bitmap);
        RECT all = {0, 0, 2 * size, size};
        HBRUSH clear = CreateSolidBrush(CLEAR);
        if (clear) {
            FillRect(dc, &all, clear);
            DeleteObject(clear);
        }
        DrawBox(dc, 0, size, true);
        DrawBox(dc, size, size, false);
        SelectObject(dc, before);
    }
    if (dc)
        DeleteDC(dc);
    return bitmap;
}

HIMAGELIST MakeTreeBoxes(UINT dpi)
{
    int size = ScaleForDpi(16, dpi);
    HBITMAP bitmap = DrawBoxes(size);
    if (!bitmap)
        return NULL;
    HIMAGELIST boxes = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 2, 0);
    if (boxes && ImageList_AddMasked(boxes, bitmap, CLEAR) < 0) {
        ImageList_Destroy(boxes);
        boxes = NULL;
    }
    DeleteObject(bitmap);
    return boxes;
}
