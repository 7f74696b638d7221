#include "app/row_commands.h"
#include "core/program_language.h"
#include "core/program_text.h"
#include <shellapi.h>
#include <strsafe.h>
#include "app/app_state.h"
#include "app/clipboard_copy.h"
#include "app/unverified_switch.h"
#include "core/plain_text.h"
#include "core/desktop_shell.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/system_folders.h"
#include "lookup/process_lookup.h"
#include "resource.h"

void LookUpRow(const ProcessRow* row)
{
    if (row)
        LookUpProcess(row->imageName, row->hasPath ? row->exePath : NULL, appState.mainWindow,
                      ReadSetting(extendedInfoSetting));
}

void LookUpRowPayload(const ProcessRow* row, int index)
{
    if (!row || !row->payload || index < 0 || index >= row->payload->fileCount)
        return;
    const wchar_t* path = row->payload->files[index].path;
    const wchar_t* slash = wcsrchr(path, L'\\');
    LookUpProcess(slash ? slash + 1 : path, path, appState.mainWindow, ReadSetting(extendedInfoSetting));
}

void LookUpSelectedPayload(HWND owner, HWND list, const ProcessList* rows)
{
    const ProcessRow* row = ShownRow(rows, (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED));
    if (row && row->payload && row->payload->fileCount == 1)
        LookUpRowPayload(row, 0);
    else if (row)
        ShowRowMenu(owner, list, rows, -1);
}

// "Look Up <file name> on Kestrava" for each payload file, above the row's own lookup.
static void AddPayloadItems(HMENU popup, const ProcessRow* row)
{
    wchar_t format[64];
    if (!row->payload || !LoadProgramText(IDS_LOOK_UP_FILE, format, ARRAYSIZE(format)))
        return;
    int added = 0;
    for (int i = 0; i < row->payload->fileCount && i < (int)HOST_PAYLOAD_FILES; ++i) {
        const wchar_t* path = row->payload->files[i].path;
        const wchar_t* slash = wcsrchr(path, L'\\');
        wchar_t caption[MAX_PATH + 64];
        // A name's ampersand is no mnemonic.
        wchar_t name[MAX_PATH * 2];
        size_t used = 0;
        for (const wchar_t* c = slash ? slash + 1 : path; *c && used + 2 < ARRAYSIZE(name); ++c) {
            if (*c == L'&')
                name[used++] = L'&';
            name[used++] = *c;
        }
        name[used] = L'\0';
        if (SUCCEEDED(StringCchPrintfW(caption, ARRAYSIZE(caption), format, name)) &&
            InsertMenuW(popup, added, MF_BYPOSITION | MF_STRING, IDM_LOOK_UP_PAYLOAD_FILE + i, caption))
            ++added;
    }
    if (added)
        InsertMenuW(popup, added, MF_BYPOSITION | MF_SEPARATOR, 0, NULL);
}

void OpenRowLocation(HWND owner, const ProcessRow* row)
{
    if (!row || !row->hasPath)
        return;
    // A quotation mark in a path is no file's: the person is told, and nothing is opened.
    if (wcschr(row->exePath, L'"')) {
        wchar_t format[256];
        size_t capacity = PROCESS_PATH_CAPACITY + ARRAYSIZE(format);
        wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(wchar_t));
        if (text && LoadProgramText(IDS_LOCATION_REFUSED, format, ARRAYSIZE(format)) &&
            SUCCEEDED(StringCchPrintfW(text, capacity, format, row->exePath)))
            MessageBoxW(owner, text, L"Tavrowen 2", MB_OK | MB_ICONINFORMATION);
        if (text)
            HeapFree(GetProcessHeap(), 0, text);
        return;
    }
    ShowFileInFolder(owner, row->exePath);
}

void CopyRowPath(HWND owner, const ProcessRow* row)
{
    if (row && row->hasPath)
        CopyTextForPerson(owner, row->exePath, true);
}

void ShowRowMenu(HWND owner, HWND list, const ProcessList* rows, LPARAM position)
{
    int index = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    POINT point = {(short)LOWORD(position), (short)HIWORD(position)};
    if (position == -1) {
        RECT rect;
        rect.left = LVIR_LABEL;
        if (index < 0 || !SendMessageW(list, LVM_GETITEMRECT, index, (LPARAM)&rect))
            return;
        point.x = rect.left;
        point.y = rect.bottom;
        ClientToScreen(list, &point);
    } else {
        LVHITTESTINFO hit;
        ZeroMemory(&hit, sizeof(hit));
        hit.pt = point;
        ScreenToClient(list, &hit.pt);
        index = (int)SendMessageW(list, LVM_HITTEST, 0, (LPARAM)&hit);
    }
    const ProcessRow* row = ShownRow(rows, index);
    if (!row)
        return;
    HMENU menu = LoadProgramMenu(IDR_PROCESSMENU);
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup) {
        UINT pathState = MF_BYCOMMAND | (row->hasPath ? MF_ENABLED : MF_GRAYED);
        AddPayloadItems(popup, row);
        SetMenuDefaultItem(popup, IDM_LOOK_UP_ROW, FALSE);
        EnableMenuItem(popup, IDM_OPEN_LOCATION, pathState);
        EnableMenuItem(popup, IDM_COPY_PATH, pathState);
        CheckMenuItem(popup, IDM_UNVERIFIED_ONLY,
                      MF_BYCOMMAND | (IsUnverifiedOnly(owner) ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(popup, IDM_SHOW_TREE, MF_BYCOMMAND | (rows->shownAsTree ? MF_CHECKED : MF_UNCHECKED));
        TrackPopupMenuEx(popup, TPM_RIGHTBUTTON, point.x, point.y, owner, NULL);
    }
    DestroyMenu(menu);
}

// "<path>\n<title>: <signer>" with the path's and the signer's own line
// breaks blanked: the tip's lines are ours.
static void BlankTipValues(wchar_t* text, size_t pathLength, size_t capacity)
{
    BlankControlCharacters(text, pathLength);
    if (pathLength < capacity && text[pathLength])
        BlankControlCharacters(text + pathLength + 1, capacity - pathLength - 1);
}

void FillRowTip(const ProcessList* rows, NMLVGETINFOTIPW* tip)
{
    const ProcessRow* row = tip->iSubItem == 0 ? ShownRow(rows, tip->iItem) : NULL;
    wchar_t title[64];
    if (!row || !tip->pszText || tip->cchTextMax <= 0 ||
        !LoadProgramText(IDS_COLUMN_SIGNER, title, ARRAYSIZE(title)))
        return;
    const wchar_t* name = row->hasPath ? row->exePath : row->imageName;
    StringCchPrintfW(tip->pszText, tip->cchTextMax, L"%s\n%s: %s", name, title, row->signer);
    BlankTipValues(tip->pszText, wcslen(name), (size_t)tip->cchTextMax);
    const RowPayload* payload = row->payload;
    for (int i = 0; payload && i < payload->fileCount; ++i) {
        const PayloadFile* file = &payload->files[i];
        wchar_t line[MAX_PATH + SIGNER_NAME_CAPACITY + 96];
        if (SUCCEEDED(StringCchPrintfW(line, ARRAYSIZE(line), L"\n%s\n%s: %s", file->path, title,
                                       file->signer ? file->signer : L"..."))) {
            BlankTipValues(line + 1, wcslen(file->path), ARRAYSIZE(line) - 1);
            StringCchCatW(tip->pszText, tip->cchTextMax, line);
        }
    }
    // The decoded command, as much of it as the tip holds.
    if (payload && payload->text && payload->text[0] && payload->textKind == HOST_TEXT_ENCODED_COMMAND) {
        StringCchCatW(tip->pszText, tip->cchTextMax, L"\n");
        size_t length = wcslen(tip->pszText);
        StringCchCatW(tip->pszText, tip->cchTextMax, payload->text);
        BlankControlCharacters(tip->pszText + length, (size_t)tip->cchTextMax - length);
    }
}

