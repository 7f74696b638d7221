#include "app/elevation.h"
#include <shellapi.h>
#include <aclapi.h>
#include <sddl.h>
#include <wchar.h>
#include <strsafe.h>
#include "app/app_state.h"
#include "app/tray_icon.h"
#include "core/background_jobs.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "tavrowen_identity.h"

static const wchar_t trustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// FILE_ADD_FILE, FILE_DELETE_CHILD, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL,
// GENERIC_WRITE, and for a file FILE_WRITE_DATA, which is FILE_ADD_FILE's bit.
// Adding a subfolder is left out: every user may add one to C:\, which
// changes no folder already there.
static const DWORD writeRights = 0x500D0042;

static bool IsAdministratorsAccount(PSID sid)
{
    wchar_t* text = NULL;
    if (!sid || !ConvertSidToStringSidW(sid, &text))
        return false;
    bool trusted = wcscmp(text, L"S-1-5-32-544") == 0 || wcscmp(text, L"S-1-5-18") == 0 ||
                   wcscmp(text, trustedInstaller) == 0;
    LocalFree(text);
    return trusted;
}

// Whether an entry of the list lets anyone but those accounts change the object itself.
static bool LetsOthersWrite(PACL list)
{
    if (!list)
        return true;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* entry = NULL;
        if (!GetAce(list, i, (void**)&entry))
            return true;
        if (entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && !(entry->Header.AceFlags & INHERIT_ONLY_ACE) &&
            (entry->Mask & writeRights) != 0 && !IsAdministratorsAccount(&entry->SidStart))
            return true;
    }
    return false;
}

static bool IsAdministratorsOnly(const wchar_t* path)
{
    PSID owner = NULL;
    PACL list = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              NULL, &list, NULL, &descriptor) != ERROR_SUCCESS)
        return false;
    bool only = IsAdministratorsAccount(owner) && !LetsOthersWrite(list);
    LocalFree(descriptor);
    return only;
}

// The companion, its folder and every folder above: whoever can change one of
// them can put another program in the companion's place.
static bool IsChainAdministratorsOnly(const wchar_t* companion)
{
    wchar_t path[MAX_PATH];
    if (FAILED(StringCchCopyW(path, ARRAYSIZE(path), companion)))
        return false;
    for (;;) {
        if (!IsAdministratorsOnly(path))
            return false;
        wchar_t* slash = wcsrchr(path, L'\\');
        if (!slash || slash[1] == L'\0')  // the drive's root was the last
            return true;
        // The drive's root keeps its backslash.
        slash[slash - path == 2 ? 1 : 0] = L'\0';
    }
}

static bool IsUnderWindowsFolder(const wchar_t* path)
{
    wchar_t folder[MAX_PATH];
    if (!BuildWindowsPath(L"", folder, ARRAYSIZE(folder)))
        return true;
    size_t length = wcslen(folder);
    return _wcsnicmp(path, folder, length) == 0;
}

// Whether only administrators can change the companion: in Program Files (the
// Windows folder holds folders every user may write, such as Temp), or in a
// folder whose owners and access lists up to the drive say so. A per-user
// install's folder is the user's, and the elevated companion must not run
// what the user's programs could have put there.
static bool IsCompanionAdministratorsOnly(const wchar_t* companion)
{
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(companion, ARRAYSIZE(full), full, NULL);
    if (length == 0 || length >= ARRAYSIZE(full))
        return false;
    if (IsInAdministratorsFolder(full) && !IsUnderWindowsFolder(full))
        return true;
    return IsChainAdministratorsOnly(full);
}

static bool StartCompanion(const wchar_t* companion, const wchar_t* directory)
{
    if (!IsCompanionAdministratorsOnly(companion)) {
        TellAttachNeedsAllUsersInstall();
        return false;
    }
    return (UINT_PTR)ShellExecuteW(NULL, L"open", companion, NULL, directory, SW_SHOWDEFAULT) > 32;
}

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
    bool started = false;
    // By its full path: with the bare name, a missing companion would let the
    // shell's search start another file of that name, elevated.
    if (BuildPathBesideProgram(TAVROWEN_COMPANION_FILE, companion, MODULE_PATH_CAPACITY) &&
        BuildPathBesideProgram(L"", directory, MODULE_PATH_CAPACITY) && directory[0] != L'\0')
        started = StartCompanion(companion, directory);
    HeapFree(GetProcessHeap(), 0, companion);
    if (started) {
        // The process ends without the shutdown steps: take away what would
        // outlive it (the tray icon) and what reads in the background.
        StopBackgroundJobs();
        RemoveTrayIcon();
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return true;
}
