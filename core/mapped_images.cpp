#include "core/mapped_images.h"
#include <psapi.h>
#include <strsafe.h>
#include <string.h>
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
    bool wow64 = false;
    return ReadProcessWow64(process, &wow64) && wow64;
}

// Where the image mapped at `base` ends, told by its own headers' size and
// believed only when the last page of that size still lies in the image's
// own allocation: nothing else can be mapped inside it, so its sections are
// passed over in one step. NULL: the headers say nothing to be believed,
// and the walk goes on region by region.
static const BYTE* FindImageEnd(HANDLE process, const BYTE* base)
{
    static const DWORD HEADER_BYTES = 4096;
    // SizeOfImage lies at the same place in 32- and 64-bit optional headers.
    static const LONG SIZE_OF_IMAGE_OFFSET = 4 + sizeof(IMAGE_FILE_HEADER) + 56;
    BYTE header[HEADER_BYTES];
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, base, header, sizeof(header), &got) || got != sizeof(header))
        return NULL;
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, header, sizeof(dos));
    DWORD size = 0;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0 ||
        dos.e_lfanew > (LONG)(HEADER_BYTES - SIZE_OF_IMAGE_OFFSET - sizeof(size)))
        return NULL;
    memcpy(&size, header + dos.e_lfanew + SIZE_OF_IMAGE_OFFSET, sizeof(size));
    if (size <= HEADER_BYTES || size > 0x80000000u)
        return NULL;
    MEMORY_BASIC_INFORMATION last;
    const BYTE* lastPage = base + ((size - 1) & ~(DWORD)(HEADER_BYTES - 1));
    if (VirtualQueryEx(process, lastPage, &last, sizeof(last)) != sizeof(last) || last.Type != MEM_IMAGE ||
        last.AllocationBase != base)
        return NULL;
    return (const BYTE*)last.BaseAddress + last.RegionSize;
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
        // Every section of an image is a region of its own: one step over them all.
        const BYTE* imageEnd = region.Type == MEM_IMAGE && region.AllocationBase == region.BaseAddress
                                   ? FindImageEnd(process, (const BYTE*)region.BaseAddress)
                                   : NULL;
        if (imageEnd > next)
            next = imageEnd;
        if (region.RegionSize == 0 || next <= address)
            break;
        address = next;
    }
    return readAny;
}
