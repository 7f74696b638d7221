#include "core/loader_list.h"
#include <stddef.h>
#include "core/system_probes.h"

// Our own definitions of what ntdll keeps undocumented, at this build's bitness:
//   PEB.Ldr                                       0x0C (32-bit)  0x18 (64-bit)
//   PEB_LDR_DATA.InLoadOrderModuleList            0x0C           0x10
//   LDR_DATA_TABLE_ENTRY.InLoadOrderLinks         0x00           0x00
//   LDR_DATA_TABLE_ENTRY.FullDllName              0x24           0x48
static const ULONG_PTR PEB_LDR = sizeof(void*) == 8 ? 0x18 : 0x0C;
static const ULONG_PTR LDR_LOAD_ORDER = sizeof(void*) == 8 ? 0x10 : 0x0C;
static const ULONG_PTR ENTRY_FULL_NAME = sizeof(void*) == 8 ? 0x48 : 0x24;

struct RemoteString {
    USHORT length;         // bytes
    USHORT maximumLength;
    ULONG_PTR buffer;
};

// The entry up to its full name: links, then what lies before the name, then the name.
struct RemoteEntryHead {
    ULONG_PTR next;
    BYTE between[ENTRY_FULL_NAME - sizeof(ULONG_PTR)];
    RemoteString fullName;
};

static_assert(offsetof(RemoteEntryHead, fullName) == ENTRY_FULL_NAME, "the entry's name lies where the loader keeps it");

// PROCESS_BASIC_INFORMATION at this build's bitness.
struct BasicInformation {
    LONG exitStatus;
    ULONG_PTR pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR parentProcessId;
};

typedef LONG (NTAPI* QueryInformationProcessProc)(HANDLE, ULONG, PVOID, ULONG, PULONG);

static bool ReadRemote(HANDLE process, ULONG_PTR address, void* buffer, SIZE_T bytes)
{
    SIZE_T read = 0;
    return address != 0 && ReadProcessMemory(process, (LPCVOID)address, buffer, bytes, &read) && read == bytes;
}

// Whether the process runs at our bitness, so that its structures are laid out as ours.
static bool IsOfOurBitness(HANDLE process)
{
    bool targetWow64 = false;
    return ReadProcessWow64(process, &targetWow64) && targetWow64 == IsRunningUnderWow64();
}

static ULONG_PTR FindPeb(HANDLE process)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    QueryInformationProcessProc query =
        ntdll ? (QueryInformationProcessProc)(void*)GetProcAddress(ntdll, "NtQueryInformationProcess") : NULL;
    BasicInformation basic;
    ZeroMemory(&basic, sizeof(basic));
    if (!query || query(process, 0 /* ProcessBasicInformation */, &basic, sizeof(basic), NULL) < 0)
        return 0;
    return basic.pebBaseAddress;
}

// The entry's full name, cut to MAX_PATH - 1 characters; false when its string cannot be believed.
static bool ReadEntryName(HANDLE process, const RemoteString* string, wchar_t* name /* MAX_PATH */)
{
    if (string->length % 2 != 0 || string->length > string->maximumLength || (string->length && !string->buffer))
        return false;
    SIZE_T bytes = string->length;
    if (bytes > (MAX_PATH - 1) * sizeof(wchar_t))
        bytes = (MAX_PATH - 1) * sizeof(wchar_t);
    if (bytes && !ReadRemote(process, string->buffer, name, bytes))
        return false;
    name[bytes / sizeof(wchar_t)] = L'\0';
    return true;
}

bool ReadLoaderListOf(HANDLE process, int limit, LoaderNameVisitor visit, void* context)
{
    if (!process || !IsOfOurBitness(process))
        return false;
    ULONG_PTR peb = FindPeb(process), loaderData = 0, next = 0;
    if (!peb || !ReadRemote(process, peb + PEB_LDR, &loaderData, sizeof(loaderData)) || !loaderData)
        return false;
    // The list's head lives in the loader data; each entry begins with its links.
    ULONG_PTR head = loaderData + LDR_LOAD_ORDER;
    if (!ReadRemote(process, head, &next, sizeof(next)))
        return false;
    for (int count = 0; next != head; ++count) {
        RemoteEntryHead entry;
        wchar_t name[MAX_PATH];
        // Longer than any loader keeps, or a list that loops: not read to its end.
        if (count >= limit || !ReadRemote(process, next, &entry, sizeof(entry)))
            return false;
        if (ReadEntryName(process, &entry.fullName, name) && name[0])
            visit(name, context);
        next = entry.next;
    }
    return true;
}
