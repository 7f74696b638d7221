#include "core/seams.h"
#include <shellapi.h>
#include "core/desktop_shell.h"
#include "core/executable_locator.h"
#include "core/signer_check.h"

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
};
