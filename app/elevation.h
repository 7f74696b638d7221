// Telling Vista from older systems, elevated from not, and handing over.
#pragma once
#include <windows.h>

bool IsVistaOrLater();
bool IsElevated();
void RelaunchElevated();

// The system calls behind the two questions; the tests put their own in their
// place to reach the unelevated Vista case, which Wine never produces.
typedef BOOL (WINAPI* GetVersionProc)(LPOSVERSIONINFOW);
typedef BOOL (WINAPI* GetTokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
extern GetVersionProc elevationGetVersion;
extern GetTokenInformationProc elevationGetTokenInformation;
