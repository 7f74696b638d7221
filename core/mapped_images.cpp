#include "core/mapped_images.h"
#include <psapi.h>
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/system_probes.h"

// A process holds far fewer regions; the walk stops here whatever it reads.
static const size_t REGION_LIMIT = 1 << 20;

static bool IsDriveLetter(wchar_t c)
{
    wchar_t letter = FoldAsciiLetter(c);
    return letter >= L'a' && letter <= L'z';
}

// "\??\C:\x" names the drive itself.
static bool MapObjectName(const wchar_t* name, wchar_t* path)
{
    return EqualFoldingAsciiLetters(name, L"\\??\\", 4) && IsDriveLetter(name[4]) && name[5] == L':' &&
           name[6] == L'\\' && SUCCEEDED(StringCchCopyW(path, MAX_PATH, name + 4));
}

bool MapDeviceNameToDrivePath(const wchar_t* deviceName, wchar_t* path)
{
    path[0] = L'\0';
    if (MapObjectName(deviceName, path))
        return true;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        wchar_t drive[3] = {letter, L':', L'\0'};
        wchar_t target[MAX_PATH];
        DWORD length = QueryDosDeviceW(drive, target, ARRAYSIZE(target));
        if (length == 0 || length >= ARRAYSIZE(target))
            continue;
        target[ARRAYSIZE(target) - 1] = L'\0';
        size_t targetLength = 0;
        if (FAILED(StringCchLengthW(target, ARRAYSIZE(target), &targetLength)) || targetLength == 0)
            continue;
        if (target[targetLength - 1] == L'\\')
            --targetLength;
        if (EqualFoldingAsciiLetters(deviceName, target, targetLength) && deviceName[targetLength] == L'\\')
            return SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s%s", drive, deviceName + targetLength));
    }
    path[0] = L'\0';
    return false;
}

// Whether our view of the process's address space is whole: a 32-bit
// program sees only the low part of a 64-bit process.
static bool CanReadWholeSpace(HANDLE process)
{
    if (!IsRunningUnderWow64())
        return true;
    typedef BOOL (WINAPI* IsWow64ProcessProc)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    IsWow64ProcessProc query = kernel ? (IsWow64ProcessProc)(void*)GetProcAddress(kernel, "IsWow64Process") : NULL;
    BOOL wow64 = FALSE;
    return query && query(process, &wow64) && wow64;
}

bool VisitMappedImages(HANDLE process, MappedImageVisitor visit, void* context)
{
    if (!process || !CanReadWholeSpace(process))
        return false;
    MEMORY_BASIC_INFORMATION region;
    const BYTE* address = NULL;
    bool readAny = false;
    for (size_t n = 0; n < REGION_LIMIT; ++n) {
        if (VirtualQueryEx(process, address, &region, sizeof(region)) != sizeof(region))
            break;
        readAny = true;
        // An image's first region only: its sections follow it.
        if (region.Type == MEM_IMAGE && region.AllocationBase == region.BaseAddress) {
            wchar_t deviceName[MAX_PATH], path[MAX_PATH];
            DWORD length = GetMappedFileNameW(process, region.BaseAddress, deviceName, ARRAYSIZE(deviceName));
            if (length > 0 && length < ARRAYSIZE(deviceName) && MapDeviceNameToDrivePath(deviceName, path) &&
                !visit(path, context))
                return true;
        }
        const BYTE* next = (const BYTE*)region.BaseAddress + region.RegionSize;
        if (region.RegionSize == 0 || next <= address)
            break;
        address = next;
    }
    return readAny;
}
