// Active Accessibility's functions, from oleacc.dll in the system folder.
#pragma once
#include <windows.h>

// IID_IAccessible, spelt out: x86_64 mingw-w64's liboleacc.a resolves it to
// an import thunk, and the product links no oleacc.
extern const IID accessibleInterfaceId;

// A function of oleacc.dll, which is no KnownDLL: loaded by its full path
// once, and kept; NULL when it cannot be had.
FARPROC FindOleaccFunction(const char* name);
