// Telling Vista from older systems, elevated from not, and handing over.
#pragma once
#include <windows.h>

bool IsVistaOrLater();
bool IsElevated();
// The hand-over: on Vista and later, unelevated, starts the elevated companion
// beside us and ends the process. Returns false when a hand-over is due but
// cannot happen now (a dialog is open, or shutdown has begun): the caller then
// does nothing more. True otherwise: the caller goes on by itself.
bool RelaunchElevated();

// The system calls behind the two questions; the tests put their own in their
// place to reach the unelevated Vista case, which Wine never produces.
typedef BOOL (WINAPI* GetVersionProc)(LPOSVERSIONINFOW);
typedef BOOL (WINAPI* GetTokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
extern GetVersionProc elevationGetVersion;
extern GetTokenInformationProc elevationGetTokenInformation;
