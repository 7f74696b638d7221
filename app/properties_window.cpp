#include "app/properties_window.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "app/accessible_names.h"
#include "app/app_state.h"
#include "app/dark_mode.h"
#include "app/module_list.h"
#include "app/process_window_dpi.h"
#include "app/program_icons.h"
#include "app/row_commands.h"
#include "app/sheet_reads.h"
#include "core/background_jobs.h"
#include "core/plain_text.h"
#include "core/program_language.h"
#include "core/window_dpi.h"
#include "resource.h"

static const wchar_t propertiesWindowClass[] = L"TavrowenProperties";

// At 96 DPI.
static const int DEFAULT_WIDTH = 560;
static const int DEFAULT_HEIGHT = 640;
static const int MARGIN = 8;
static const int BUTTON_GAP = 6;
static const int BUTTON_MIN_WIDTH = 75;
static const int BUTTON_PADDING = 20;
static const int BUTTON_EXTRA_HEIGHT = 10;
static const int MIN_TEXT_HEIGHT = 80;

enum PropertiesControl {
    IDC_PROPERTIES_TEXT = 100,
    IDC_PROPERTIES_LOOK_UP,
    IDC_PROPERTIES_OPEN,
    IDC_PROPERTIES_COPY,
    IDC_PROPERTIES_CLOSE
};
static const int BUTTON_COUNT = 4;
static const UINT buttonTexts[BUTTON_COUNT] = {IDS_PROPERTIES_LOOK_UP, IDS_PROPERTIES_OPEN, IDS_PROPERTIES_COPY,
                                               IDS_PROPERTIES_CLOSE};

// Allocated at WM_CREATE, kept in GWLP_USERDATA, freed at WM_NCDESTROY.
struct PropertiesState {
    HWND window;
    HWND text;
    HWND buttons[BUTTON_COUNT];
    HWND focusBeforeDeactivation;
    ProcessRow row;           // what was clicked: its lookup and folder; no handle held
    ProcessSheet* sheet;      // what is known so far
    bool sheetWhole;
    bool copyWhenRead;        // "Copy" was pressed before the sheet was whole
    bool copyInEnglish;       // and it was asked in English
    HACCEL keys;
    UINT dpi;
    HFONT font;
    int buttonWidths[BUTTON_COUNT];
    int buttonHeight;
    ModuleList modules;
};

static PropertiesState* StateOf(HWND window)
{
    return (PropertiesState*)GetWindowLongPtrW(window, GWLP_USERDATA);
}

static void ShowSheetText(PropertiesState* state)
{
    wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, PROPERTY_SHEET_CAPACITY * sizeof(wchar_t));
    if (!text)
        return;
    FormatExplainedProcessSheet(state->sheet, text, PROPERTY_SHEET_CAPACITY);
    SetWindowTextW(state->text, text);
    HeapFree(GetProcessHeap(), 0, text);
}

// The controls' font and the buttons' sizes at the window's DPI.
static void ApplyDpi(PropertiesState* state, UINT dpi)
{
    state->dpi = dpi;
    NONCLIENTMETRICSW metrics;
    HFONT font = ReadNonClientMetricsForDpi(&metrics, dpi) ? CreateFontIndirectW(&metrics.lfMessageFont) : NULL;
    HGDIOBJ used = font ? (HGDIOBJ)font : GetStockObject(DEFAULT_GUI_FONT);
    SendMessageW(state->text, WM_SETFONT, (WPARAM)used, FALSE);
    SendMessageW(state->modules.view.list, WM_SETFONT, (WPARAM)used, FALSE);
    HDC screen = GetDC(NULL);
    HGDIOBJ old = screen ? SelectObject(screen, used) : NULL;
    TEXTMETRICW textMetrics;
    int lineHeight = screen && GetTextMetricsW(screen, &textMetrics) ? textMetrics.tmHeight : ScaleForDpi(14, dpi);
    state->buttonHeight = lineHeight + ScaleForDpi(BUTTON_EXTRA_HEIGHT, dpi);
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        SendMessageW(state->buttons[i], WM_SETFONT, (WPARAM)used, FALSE);
        wchar_t caption[64] = L"";
        GetWindowTextW(state->buttons[i], caption, ARRAYSIZE(caption));
        SIZE size = {0, 0};
        if (screen)
            GetTextExtentPoint32W(screen, caption, lstrlenW(caption), &size);
        int width = size.cx + ScaleForDpi(BUTTON_PADDING, dpi);
        state->buttonWidths[i] = width > ScaleForDpi(BUTTON_MIN_WIDTH, dpi) ? width : ScaleForDpi(BUTTON_MIN_WIDTH, dpi);
    }
    if (screen) {
        SelectObject(screen, old);
        ReleaseDC(NULL, screen);
    }
    if (state->font)
        DeleteObject(state->font);
    state->font = font;
}

// The sheet's text above the modules, which take the lower part, above a
// row of buttons at its right.
static void LayOutControls(PropertiesState* state, int width, int height)
{
    int margin = ScaleForDpi(MARGIN, state->dpi);
    int gap = ScaleForDpi(BUTTON_GAP, state->dpi);
    int buttonTop = height - margin - state->buttonHeight;
    int right = width - margin;
    for (int i = BUTTON_COUNT - 1; i >= 0; --i) {
        right -= state->buttonWidths[i];
        MoveWindow(state->buttons[i], right, buttonTop, state->buttonWidths[i], state->buttonHeight, TRUE);
        right -= gap;
    }
    int inner = width > 2 * margin ? width - 2 * margin : 0;
    int both = buttonTop - 3 * margin;
    int textHeight = both > 0 ? both * 2 / 5 : 0;
    int listHeight = both > 0 ? both - textHeight : 0;
    MoveWindow(state->text, margin, margin, inner, textHeight, TRUE);
    MoveWindow(state->modules.view.list, margin, 2 * margin + textHeight, inner, listHeight, TRUE);
}

static void LayOutClient(PropertiesState* state)
{
    RECT client;
    if (GetClientRect(state->window, &client))
        LayOutControls(state, client.right, client.bottom);
}

static bool CreateControls(PropertiesState* state)
{
    DWORD textStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                      ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
    state->text = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", textStyle, 0, 0, 0, 0, state->window,
                                  (HMENU)(UINT_PTR)IDC_PROPERTIES_TEXT, appState.instance, NULL);
    if (!state->text)
        return false;
    SendMessageW(state->text, EM_LIMITTEXT, PROPERTY_SHEET_CAPACITY, 0);
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        wchar_t caption[64];
        if (!LoadProgramText(buttonTexts[i], caption, ARRAYSIZE(caption)))
            caption[0] = L'\0';
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == BUTTON_COUNT - 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        state->buttons[i] = CreateWindowExW(0, L"BUTTON", caption, style, 0, 0, 0, 0, state->window,
                                            (HMENU)(UINT_PTR)(IDC_PROPERTIES_LOOK_UP + i), appState.instance, NULL);
        if (!state->buttons[i])
            return false;
    }
    if (!state->row.hasPath) {
        EnableWindow(state->buttons[0], FALSE);
        EnableWindow(state->buttons[1], FALSE);
    }
    UINT dpi = ReadWindowDpi(state->window);
    if (!CreateModuleList(&state->modules, state->window, IDC_PROPERTIES_MODULES, dpi))
        return false;
    GiveAccessibleName(state->modules.view.list, IDS_PROPERTIES_MODULES, 0);
    ApplyDpi(state, dpi);
    return true;
}

static bool StartWindow(HWND window, const ProcessRow* row)
{
    PropertiesState* state = (PropertiesState*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PropertiesState));
    if (!state)
        return false;
    SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)state);
    state->window = window;
    state->row = *row;
    state->row.process = NULL;
    state->sheet = (ProcessSheet*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessSheet));
    if (!state->sheet || !CreateControls(state))
        return false;
    state->keys = LoadAcceleratorsW(appState.instance, MAKEINTRESOURCEW(IDR_PROPERTIES_KEYS));
    StartProcessSheet(row->processId, row->imageName, state->sheet);
    ShowSheetText(state);
    // No read to be had (no thread or memory): what is shown is all, and "Copy" copies it.
    state->sheetWhole = QueueSheetRead(window, WM_SHEET_READ, row) == 0;
    RequestModules(&state->modules, WM_MODULES_READ, row);
    return true;
}

static void FreeState(HWND window)
{
    PropertiesState* state = StateOf(window);
    if (!state)
        return;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    FreeSheet(state->sheet);
    FreeModuleList(&state->modules);
    if (state->font)
        DeleteObject(state->font);
    HeapFree(GetProcessHeap(), 0, state);
}

// WM_SHEET_READ: the whole sheet replaces what was shown.
static void ShowReadSheet(PropertiesState* state, LPARAM id)
{
    ProcessSheet* sheet = TakeSheetRead(state->window, WM_SHEET_READ, id);
    if (!sheet)
        return;
    FreeSheet(state->sheet);
    state->sheet = sheet;
    state->sheetWhole = true;
    ShowSheetText(state);
    if (state->copyWhenRead)
        CopySheetText(state->window, state->sheet, state->copyInEnglish, true);
    state->copyWhenRead = false;
}

// The sheet as shown, explained, copied as soon as it is whole.
static void CopyWholeSheet(PropertiesState* state, bool english)
{
    if (state->sheetWhole) {
        CopySheetText(state->window, state->sheet, english, true);
        return;
    }
    state->copyWhenRead = true;
    state->copyInEnglish = english;
}

// The sheet's own menu in place of the text box's: its selection, and the
// sheet in the program's language or in English.
static void ShowTextMenu(PropertiesState* state, POINT point)
{
    HMENU menu = LoadProgramMenu(IDR_PROPERTIES_MENU);
    HMENU popup = menu ? GetSubMenu(menu, 0) : NULL;
    if (popup) {
        DWORD start = 0, end = 0;
        SendMessageW(state->text, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        EnableMenuItem(popup, IDM_PROPERTIES_COPY_SELECTION, MF_BYCOMMAND | (start == end ? MF_GRAYED : MF_ENABLED));
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, point.x, point.y, 0, state->window, NULL);
    }
    if (menu)
        DestroyMenu(menu);
}

static void RunCommand(PropertiesState* state, WORD command)
{
    if (RunModuleListCommand(&state->modules, command, state->dpi))
        return;
    switch (command) {
    case IDOK:  // Enter: the focused button, as in a dialog
        for (int i = 0; i < BUTTON_COUNT; ++i) {
            if (GetFocus() == state->buttons[i])
                RunCommand(state, (WORD)(IDC_PROPERTIES_LOOK_UP + i));
        }
        break;
    case IDC_PROPERTIES_LOOK_UP:
        LookUpRow(&state->row);
        break;
    case IDC_PROPERTIES_OPEN:
        OpenRowLocation(state->window, &state->row);
        break;
    case IDC_PROPERTIES_COPY:
    case IDM_PROPERTIES_COPY_SHEET:
        CopyWholeSheet(state, false);
        break;
    case IDM_PROPERTIES_COPY_ENGLISH:  // Ctrl+Shift+C
        CopyWholeSheet(state, true);
        break;
    case IDM_PROPERTIES_COPY_SELECTION:
        SendMessageW(state->text, WM_COPY, 0, 0);
        break;
    case IDM_PROPERTIES_SELECT_ALL:
        SendMessageW(state->text, EM_SETSEL, 0, -1);
        break;
    case IDCANCEL:
    case IDC_PROPERTIES_CLOSE:
        DestroyWindow(state->window);
        break;
    }
}

static LRESULT RunListNotification(PropertiesState* state, const NMHDR* header)
{
    bool handled = false;
    LRESULT result = RunModuleListNotification(&state->modules, header, &handled);
    return handled ? result : 0;
}

static LRESULT CALLBACK PropertiesWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PropertiesState* state = StateOf(window);
    LRESULT colored = 0;
    if (HandleColorModeMessage(window, message, wParam, lParam, &colored))
        return colored;
    switch (message) {
    case WM_CREATE:
        if (!StartWindow(window, (const ProcessRow*)((const CREATESTRUCTW*)lParam)->lpCreateParams))
            return -1;
        ApplyColorMode(window);
        return 0;
    case WM_SIZE:
        if (state && wParam != SIZE_MINIMIZED)
            LayOutControls(state, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_DPICHANGED: {
        if (!state)
            break;
        // The user's widths kept in proportion, as in the Running Processes window.
        if (state->dpi && LOWORD(wParam) && state->dpi != LOWORD(wParam))
            ScaleListColumns(state->modules.view.list, state->dpi, LOWORD(wParam));
        ApplyDpi(state, LOWORD(wParam));
        const RECT* suggested = (const RECT*)lParam;
        SetWindowPos(window, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        LayOutClient(state);
        return 0;
    }
    case WM_GETMINMAXINFO:
        if (state && state->buttonHeight) {
            RECT rect = {0, 0, 0, 0};
            int margin = ScaleForDpi(MARGIN, state->dpi);
            for (int i = 0; i < BUTTON_COUNT; ++i)
                rect.right += state->buttonWidths[i] + ScaleForDpi(BUTTON_GAP, state->dpi);
            rect.right += 2 * margin;
            rect.bottom = state->buttonHeight + 4 * margin + 2 * ScaleForDpi(MIN_TEXT_HEIGHT, state->dpi);
            if (AdjustWindowRectForDpi(&rect, (DWORD)GetWindowLongPtrW(window, GWL_STYLE), 0, state->dpi)) {
                ((MINMAXINFO*)lParam)->ptMinTrackSize.x = rect.right - rect.left;
                ((MINMAXINFO*)lParam)->ptMinTrackSize.y = rect.bottom - rect.top;
            }
        }
        return 0;
    case WM_SHEET_READ:
        if (state)
            ShowReadSheet(state, lParam);
        return 0;
    case WM_MODULES_READ:
        if (state)
            ShowReadModules(&state->modules, WM_MODULES_READ, lParam);
        return 0;
    case WM_NOTIFY:
        return state ? RunListNotification(state, (const NMHDR*)lParam) : 0;
    case WM_CONTEXTMENU:
        if (state && ShowModuleListMenu(&state->modules, (HWND)wParam, state->dpi, lParam))
            return 0;
        break;
    case WM_ACTIVATE:
        if (!state)
            break;
        if (LOWORD(wParam) == WA_INACTIVE)
            state->focusBeforeDeactivation = GetFocus();
        else
            SetFocus(IsChild(window, state->focusBeforeDeactivation) ? state->focusBeforeDeactivation : state->text);
        return 0;
    case WM_COMMAND:
        if (state && (HWND)lParam != state->text)
            RunCommand(state, LOWORD(wParam));
        return 0;
    case WM_DESTROY:
        CancelWindowJobs(window);
        if (state)
            SaveListLayout(&state->modules.view, state->dpi);
        return 0;
    case WM_NCDESTROY:
        FreeState(window);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Ours, of this class, for the same process (its PID and start time).
static HWND FindPropertiesWindow(const ProcessRow* row)
{
    for (HWND window = NULL; (window = FindWindowExW(NULL, window, propertiesWindowClass, NULL)) != NULL;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        const PropertiesState* state = owner == GetCurrentProcessId() ? StateOf(window) : NULL;
        if (state && state->row.processId == row->processId && state->row.createdAt == row->createdAt)
            return window;
    }
    return NULL;
}

HWND ShowPropertiesWindow(HWND owner, const ProcessRow* row)
{
    if (!row)
        return NULL;
    HWND window = FindPropertiesWindow(row);
    if (window) {
        if (IsIconic(window))
            ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
        return window;
    }
    if (!RegisterProgramWindowClass(propertiesWindowClass, PropertiesWindowProc))
        return NULL;
    wchar_t format[64], title[MAX_PATH + 64];
    if (!LoadProgramText(IDS_PROPERTIES_TITLE, format, ARRAYSIZE(format)) ||
        FAILED(StringCchPrintfW(title, ARRAYSIZE(title), format, row->imageName, row->processId)))
        title[0] = L'\0';
    BlankControlCharacters(title, ARRAYSIZE(title));
    UINT dpi = owner ? ReadWindowDpi(owner) : ReadWindowDpi(NULL);
    window = CreateWindowExW(0, propertiesWindowClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, ScaleForDpi(DEFAULT_WIDTH, dpi), ScaleForDpi(DEFAULT_HEIGHT, dpi), owner,
                             NULL, appState.instance, (LPVOID)row);
    if (!window)
        return NULL;
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    const PropertiesState* state = StateOf(window);
    if (state)
        SetFocus(state->text);
    return window;
}

// A right click on the text, the menu key or Shift+F10: the text box would show its own menu.
static bool IsTextMenuKeyOrClick(const MSG* message)
{
    bool shifted = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    return message->message == WM_RBUTTONUP ||
           ((message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN) &&
            (message->wParam == VK_APPS || (message->wParam == VK_F10 && shifted)));
}

// Where the click was, or for a key, the text's top left corner.
static POINT TextMenuPoint(const PropertiesState* state, const MSG* message)
{
    POINT point = {(short)LOWORD(message->lParam), (short)HIWORD(message->lParam)};
    if (message->message == WM_RBUTTONUP) {
        ClientToScreen(state->text, &point);
        return point;
    }
    RECT box = {0, 0, 0, 0};
    GetWindowRect(state->text, &box);
    point.x = box.left;
    point.y = box.top;
    return point;
}

bool HandlePropertiesWindowMessage(MSG* message)
{
    HWND window = message->hwnd;
    while (window && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD))
        window = GetParent(window);
    wchar_t className[32];
    if (!window || !GetClassNameW(window, className, ARRAYSIZE(className)) ||
        lstrcmpW(className, propertiesWindowClass) != 0 || !StateOf(window))
        return false;
    PropertiesState* state = StateOf(window);
    if (state->keys && TranslateAcceleratorW(window, state->keys, message))
        return true;
    if (message->hwnd == state->text && IsTextMenuKeyOrClick(message)) {
        ShowTextMenu(state, TextMenuPoint(state, message));
        return true;
    }
    if (message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE) {
        DestroyWindow(window);
        return true;
    }
    // The text is multiline: Tab would stay in it. It moves on, as in a dialog.
    if (message->message == WM_KEYDOWN && message->wParam == VK_TAB) {
        bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        HWND next = GetNextDlgTabItem(window, GetFocus(), back);
        if (next)
            SetFocus(next);
        return true;
    }
    return IsDialogMessageW(window, message) != FALSE;
}
