#include "app/refresh_pause.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "resource.h"

void ShowRefreshPaused(HWND window, bool paused)
{
    wchar_t title[160];
    wchar_t suffix[32];
    if (!LoadProgramText(IDS_PROCESSES_TITLE, title, ARRAYSIZE(title)))
        title[0] = L'\0';
    if (paused && LoadProgramText(IDS_PAUSED_SUFFIX, suffix, ARRAYSIZE(suffix)))
        StringCchCatW(title, ARRAYSIZE(title), suffix);
    SetWindowTextW(window, title);
}
