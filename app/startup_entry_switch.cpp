#include "app/startup_window_state.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "app/failure_report.h"
#include "lookup/startup_switch.h"
#include "resource.h"

// Whether the person wants the entry turned off, asked by its name and place.
static bool ConfirmDisable(HWND owner, const StartupEntry* entry)
{
    wchar_t format[256];
    wchar_t title[64];
    wchar_t text[256 + STARTUP_NAME_CAPACITY + STARTUP_LOCATION_CAPACITY];
    if (!LoadProgramText(IDS_STARTUP_CONFIRM_DISABLE, format, ARRAYSIZE(format)) ||
        !LoadProgramText(IDS_STARTUP_BOX_TITLE, title, ARRAYSIZE(title)) ||
        FAILED(StringCchPrintfW(text, ARRAYSIZE(text), format, entry->entry, entry->location)))
        return false;
    return MessageBoxW(owner, text, title, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void SwitchSelectedStartupEntry(StartupWindowState* state, bool enable)
{
    int number = -1;
    StartupEntry* entry = SelectedStartupEntry(&state->view, &number);
    if (!entry || entry->place == SWITCH_NONE || entry->enabled == enable) {
        MessageBeep(MB_OK);
        return;
    }
    if (!enable && !ConfirmDisable(state->window, entry))
        return;
    DWORD error = enable ? EnableStartupEntry(entry) : DisableStartupEntry(entry);
    if (error != ERROR_SUCCESS) {
        ReportFailure(enable ? IDS_STARTUP_CANNOT_ENABLE : IDS_STARTUP_CANNOT_DISABLE, entry->entry, error);
        return;
    }
    // Where it lies now: before Windows 8 a disabled entry waits in our keeping.
    entry->enabled = enable;
    entry->inOurKeeping = !enable && !SwitchesThroughStartupApproved();
    ShowStartupRows(state);
    InvalidateRect(state->list, NULL, FALSE);
}

void AllowStartupSwitchItems(HMENU menu, const StartupEntry* entry)
{
    bool switchable = entry->place != SWITCH_NONE;
    EnableMenuItem(menu, IDM_STARTUP_DISABLE, MF_BYCOMMAND | (switchable && entry->enabled ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_STARTUP_ENABLE, MF_BYCOMMAND | (switchable && !entry->enabled ? MF_ENABLED : MF_GRAYED));
}
