#include "app/brand_art.h"
#include "core/program_text.h"
#include <limits.h>
#include "app/app_state.h"
#include "core/system_probes.h"
#include "core/window_dpi.h"
#include "taskmgr/link_strip.h"
#include "resource.h"

// A line written over a picture. Places and sizes at 96 DPI, from the
// picture's corner; y is the baseline; sizes in tenths of a pixel.
struct ArtText {
    UINT textId;
    short x;
    short baseline;
    short emTenths;  // the font's em height
    bool bold;
    COLORREF colour;
    short spacingTenths;  // between letters
    short right;          // the line is made smaller rather than pass it
};

static const COLORREF NAVY = RGB(0x0E, 0x2F, 0x6B);
static const COLORREF INK = RGB(0x1F, 0x29, 0x37);
static const COLORREF INK_FAINT = RGB(0x6B, 0x72, 0x80);

static const ArtText splashTexts[] = {
    {IDS_BRAND_MAKER, 58, 240, 105, true, RGB(0x9D, 0xBD, 0xEB), 24, 460},
    {IDS_SPLASH_TITLE, 205, 58, 200, true, NAVY, 0, 460},
    {IDS_SPLASH_LINE1, 205, 94, 130, false, INK, 0, 460},
    {IDS_SPLASH_LINE2, 205, 113, 130, false, INK, 0, 460},
    {IDS_SPLASH_LINE3, 205, 141, 130, false, INK, 0, 460},
    {IDS_SPLASH_LINE4, 205, 160, 130, false, INK, 0, 460},
    {IDS_SPLASH_NOSHOW, 222, 199, 120, false, INK, 0, 460},
    {IDS_SPLASH_COPYRIGHT, 205, 248, 110, false, INK_FAINT, 0, 460},
};

static const ArtText bannerTexts[] = {
    {IDS_BRAND_NAME, 82, 38, 280, true, RGB(0xFF, 0xFF, 0xFF), 0, 336},
    {IDS_BRAND_MAKER, 84, 55, 105, true, RGB(0xA9, 0xC8, 0xF2), 24, 336},
};

static const COLORREF BANNER_BASE = RGB(0x12, 0x3C, 0x82);
static const int BANNER_WIDTH = 342;
static const int BANNER_HEIGHT = 71;
static const int SPLASH_TEXT_LEFT = 205;
static const int SPLASH_RULE_TOP = 226;
static const int SPLASH_RULE_RIGHT = 456;
static const COLORREF SPLASH_RULE = RGB(0xE2, 0xE7, 0xEF);
static const COLORREF SPLASH_EDGE = RGB(0x8C, 0x9A, 0xB0);
static const int SPLASH_EDGE_WIDTH = 2;
// The link icon within a line: its top above the baseline.
static const int INLINE_ICON_RISE = 10;

static int ScaleTenths(int tenths, UINT dpi)
{
    return MulDiv(tenths, (int)dpi, STANDARD_DPI * 10);
}

// The desktop's message font face, at the text's size (pixels per em) and weight.
static HFONT CreateArtFont(const ArtText& text, int em)
{
    NONCLIENTMETRICSW metrics;
    if (!ReadNonClientMetricsForDpi(&metrics, STANDARD_DPI))
        return NULL;
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = -em;
    font.lfWeight = text.bold ? FW_BOLD : FW_NORMAL;
    return CreateFontIndirectW(&font);
}

static int MeasureText(HDC dc, const wchar_t* text, int length)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, length, &size);
    return size.cx;
}

// The line's width as written: a tab is the link icon with a space either side.
static int MeasureArtLine(HDC dc, const wchar_t* line, int length, int iconSize)
{
    const wchar_t* tab = wcschr(line, L'\t');
    if (!tab)
        return MeasureText(dc, line, length);
    int before = (int)(tab - line);
    return MeasureText(dc, line, before) + 2 * MeasureText(dc, L" ", 1) + iconSize +
           MeasureText(dc, tab + 1, length - before - 1);
}

// The text's font, made smaller while the line would pass its right edge: a
// face's width does not follow its size exactly, so it is measured each time.
static HFONT CreateFittingArtFont(HDC dc, const ArtText& text, int em, const wchar_t* line, int length, int room,
                                  int iconSize)
{
    HFONT font = CreateArtFont(text, em);
    while (font) {
        HGDIOBJ old = SelectObject(dc, font);
        int width = MeasureArtLine(dc, line, length, iconSize);
        SelectObject(dc, old);
        if (width <= room || em <= 1)
            return font;
        DeleteObject(font);
        int smaller = MulDiv(em, room, width);
        em = smaller < em ? smaller : em - 1;
        font = CreateArtFont(text, em);
    }
    return NULL;
}

// One line; a tab in it stands for the link icon, with a space either side.
static void WriteArtText(HDC dc, const ArtText& text, POINT origin, UINT dpi)
{
    wchar_t line[128];
    int length = LoadProgramText(text.textId, line, ARRAYSIZE(line)) ? lstrlenW(line) : 0;
    if (length == 0)
        return;
    SetTextCharacterExtra(dc, ScaleTenths(text.spacingTenths, dpi));
    int iconSize = LinkIconSize(INT_MAX, dpi);
    // The desktop's face may be wider than the one the picture was laid out with.
    HFONT font = CreateFittingArtFont(dc, text, ScaleTenths(text.emTenths, dpi), line, length,
                                      ScaleForDpi(text.right - text.x, dpi), iconSize);
    if (!font)
        return;
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, text.colour);
    int x = origin.x + ScaleForDpi(text.x, dpi);
    int y = origin.y + ScaleForDpi(text.baseline, dpi);
    const wchar_t* tab = wcschr(line, L'\t');
    int before = tab ? (int)(tab - line) : length;
    TextOutW(dc, x, y, line, before);
    if (tab) {
        int space = MeasureText(dc, L" ", 1);
        x += MeasureText(dc, line, before) + space;
        HICON icon = LoadLinkIcon(appState.instance, iconSize);
        if (icon) {
            DrawIconEx(dc, x, y - ScaleForDpi(INLINE_ICON_RISE, dpi), icon, iconSize, iconSize, 0, NULL, DI_NORMAL);
            DestroyIcon(icon);
        }
        x += iconSize + space;
        TextOutW(dc, x, y, tab + 1, length - before - 1);
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

static void WriteArtTexts(HDC dc, const ArtText* texts, int count, POINT origin, UINT dpi)
{
    int oldMode = SetBkMode(dc, TRANSPARENT);
    UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_BASELINE);
    COLORREF oldColour = GetTextColor(dc);
    int oldExtra = GetTextCharacterExtra(dc);
    for (int i = 0; i < count; ++i)
        WriteArtText(dc, texts[i], origin, dpi);
    SetTextCharacterExtra(dc, oldExtra);
    SetTextColor(dc, oldColour);
    SetTextAlign(dc, oldAlign);
    SetBkMode(dc, oldMode);
}

// A bitmap of the resources, scaled from 96 DPI with the smoothest filter GDI has.
static void DrawArtBitmap(HDC dc, UINT bitmapId, POINT origin, UINT dpi)
{
    HBITMAP bitmap = (HBITMAP)LoadImageW(appState.instance, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION);
    HDC source = bitmap ? CreateCompatibleDC(dc) : NULL;
    BITMAP info;
    if (source && GetObjectW(bitmap, sizeof(info), &info)) {
        HGDIOBJ old = SelectObject(source, bitmap);
        int oldMode = SetStretchBltMode(dc, HALFTONE);
        POINT oldOrigin;
        SetBrushOrgEx(dc, 0, 0, &oldOrigin);
        StretchBlt(dc, origin.x, origin.y, ScaleForDpi(info.bmWidth, dpi), ScaleForDpi(info.bmHeight, dpi), source,
                   0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, NULL);
        SetStretchBltMode(dc, oldMode);
        SelectObject(source, old);
    }
    if (source)
        DeleteDC(source);
    if (bitmap)
        DeleteObject(bitmap);
}

static void FillColour(HDC dc, const RECT* rect, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush) {
        FillRect(dc, rect, brush);
        DeleteObject(brush);
    }
}

void PaintSplashFace(HDC dc, UINT dpi)
{
    RECT face = {0, 0, ScaleForDpi(SPLASH_WIDTH, dpi), ScaleForDpi(SPLASH_HEIGHT, dpi)};
    FillRect(dc, &face, (HBRUSH)GetStockObject(WHITE_BRUSH));
    POINT corner = {0, 0};
    DrawArtBitmap(dc, IDB_SPLASH_PANEL, corner, dpi);
    int ruleTop = ScaleForDpi(SPLASH_RULE_TOP, dpi);
    RECT rule = {ScaleForDpi(SPLASH_TEXT_LEFT, dpi), ruleTop, ScaleForDpi(SPLASH_RULE_RIGHT, dpi),
                 ruleTop + ScaleForDpi(1, dpi)};
    FillColour(dc, &rule, SPLASH_RULE);
    WriteArtTexts(dc, splashTexts, ARRAYSIZE(splashTexts), corner, dpi);
    // Along the window's rounded edge, half of it cut off by the region.
    HPEN pen = CreatePen(PS_SOLID, ScaleForDpi(SPLASH_EDGE_WIDTH, dpi), SPLASH_EDGE);
    if (pen) {
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        int round = ScaleForDpi(SPLASH_CORNER, dpi);
        RoundRect(dc, 0, 0, face.right, face.bottom, round, round);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
}

void DrawAboutBanner(const DRAWITEMSTRUCT* item, UINT dpi)
{
    const RECT& area = item->rcItem;
    // High contrast: the artwork's own colours would fight the user's scheme.
    if (IsHighContrastOn()) {
        FillRect(item->hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    FillColour(item->hDC, &area, BANNER_BASE);
    POINT origin = {area.left + (area.right - area.left - ScaleForDpi(BANNER_WIDTH, dpi)) / 2,
                    area.top + (area.bottom - area.top - ScaleForDpi(BANNER_HEIGHT, dpi)) / 2};
    DrawArtBitmap(item->hDC, IDB_ABOUT_BANNER, origin, dpi);
    WriteArtTexts(item->hDC, bannerTexts, ARRAYSIZE(bannerTexts), origin, dpi);
}
