#include "core/oleacc_functions.h"
#include "core/system_folders.h"

const IID accessibleInterfaceId = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

FARPROC FindOleaccFunction(const char* name)
{
    // Two threads that race here load the same DLL: loading again only counts it twice.
    static HMODULE oleacc;
    if (!oleacc)
        oleacc = LoadSystemLibrary(L"oleacc.dll");
    return oleacc ? GetProcAddress(oleacc, name) : NULL;
}
