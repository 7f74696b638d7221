// The program's load configuration: DependentLoadFlags tells the loader
// (Windows 10 1607 and later) to take the DLLs our imports pull in from the
// system folder only. Without it a DLL that is no KnownDLL (version.dll, or
// what comctl32 from WinSxS imports) is looked for beside the program first,
// before any of our code runs, so RestrictDllSearch comes too late for it.
// Older systems read only the fields they know and ignore the rest.
//
// MSVC's runtime supplies this record and its linker fills the field from
// /DEPENDENTLOADFLAG; mingw-w64's supplies none, so it is given here, and
// GNU ld points the image's load-configuration entry at it by its name.
#include <windows.h>
#include <stddef.h>

#ifndef _MSC_VER

static const WORD SEARCH_SYSTEM32_ONLY = 0x0800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// IMAGE_LOAD_CONFIG_DIRECTORY up to the safe exception handler table, with
// the field that mingw-w64's headers still call Reserved1 named. No SEH
// table (count 0) means no restriction on handlers, as without the record.
struct LoadConfiguration {
    DWORD size;
    DWORD timeDateStamp;
    WORD majorVersion;
    WORD minorVersion;
    DWORD globalFlagsClear;
    DWORD globalFlagsSet;
    DWORD criticalSectionDefaultTimeout;
    ULONG_PTR deCommitFreeBlockThreshold;
    ULONG_PTR deCommitTotalFreeThreshold;
    ULONG_PTR lockPrefixTable;
    ULONG_PTR maximumAllocationSize;
    ULONG_PTR virtualMemoryThreshold;
#ifdef _WIN64
    ULONG_PTR processAffinityMask;
    DWORD processHeapFlags;
#else
    DWORD processHeapFlags;
    ULONG_PTR processAffinityMask;
#endif
    WORD csdVersion;
    WORD dependentLoadFlags;
    ULONG_PTR editList;
    ULONG_PTR securityCookie;
    ULONG_PTR seHandlerTable;
    ULONG_PTR seHandlerCount;
};
static_assert(sizeof(LoadConfiguration) == sizeof(IMAGE_LOAD_CONFIG_DIRECTORY), "layout of the record");
static_assert(offsetof(LoadConfiguration, dependentLoadFlags) == (sizeof(void*) == 8 ? 0x4E : 0x36),
              "DependentLoadFlags offset");

// The linker looks the record up by this name (with the leading underscore
// that 32-bit C names get).
extern "C" const LoadConfiguration _load_config_used = {
    sizeof(LoadConfiguration), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, SEARCH_SYSTEM32_ONLY, 0, 0, 0, 0,
};

#endif
