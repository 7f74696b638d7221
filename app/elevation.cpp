#include "app/elevation.h"
#include <shellapi.h>
#include "app/app_state.h"
#include "app/tray_icon.h"
#include "core/background_jobs.h"
#include "core/system_probes.h"

static const wchar_t companionName[] = L"Tavrowen2Admin.exe";

bool RelaunchElevated()
{
    if (!IsVistaOrLater() || IsElevated())
        return true;
    // Ending under an open dialog would leave its owner disabled; once
    // shutdown has begun there is nothing left to hand over.
    if (appState.dialogGuards != 0 || StartUpInterrupted())
        return false;
    // The companion's full path and, in front of it, its directory.
    wchar_t* companion = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                             2 * MODULE_PATH_CAPACITY * sizeof(wchar_t));
    if (!companion)
        return true;
    wchar_t* directory = companion + MODULE_PATH_CAPACITY;
    HINSTANCE result = NULL;
    // By its full path: with the bare name, a missing companion would let the
    // shell's search start another file of that name, elevated.
    if (BuildPathBesideProgram(companionName, companion, MODULE_PATH_CAPACITY) &&
        BuildPathBesideProgram(L"", directory, MODULE_PATH_CAPACITY) && directory[0] != L'\0')
        result = ShellExecuteW(NULL, L"open", companion, NULL, directory, SW_SHOWDEFAULT);
    HeapFree(GetProcessHeap(), 0, companion);
    if ((UINT_PTR)result > 32) {
        // The process ends without the shutdown steps: take away what would
        // outlive it (the tray icon) and what reads in the background.
        StopBackgroundJobs();
        RemoveTrayIcon();
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return true;
}
