// The real call each seam starts as. This file has no header and nothing
// includes it, so the modules behind the seams may consult the seams themselves.
#include "core/seams.h"
#include <psapi.h>
#include <shellapi.h>
#include "core/desktop_shell.h"
#include "core/dwm_attribute.h"
#include "core/executable_locator.h"
#include "core/process_modules.h"
#include "core/process_snapshot.h"
#include "core/signer_check.h"
#include "core/version_info.h"

SystemSeams seams = {
    GetVersionExW,
    GetTokenInformation,
    ReadFile,
    GetFileInformationByHandle,
    QueryProcessImagePath,
    ShellExecuteW,
    IsDesktopShellElevated,
    OpenAsDesktopShell,
    FindProcessExecutable,
    LoadVersionInfo,
    CallWinVerifyTrust,
    OpenSystemCatalogSearch,
    FindNextCatalogVerdict,
    CloseSystemCatalogSearch,
    EnumProcesses,
    WalkProcessSnapshot,
    OpenProcess,
    OpenWithShellDispatch,
    CallDwmSetWindowAttribute,
    CreateThread,
    ReadProcessModules,
};
