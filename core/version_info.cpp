#include "core/version_info.h"
#include <strsafe.h>
#include "core/published_table.h"
#include "core/system_folders.h"

static const int SUB_BLOCK_CAPACITY = 200;

typedef DWORD (WINAPI* GetFileVersionInfoSizeProc)(LPCWSTR, LPDWORD);
typedef BOOL (WINAPI* GetFileVersionInfoProc)(LPCWSTR, DWORD, DWORD, LPVOID);
typedef BOOL (WINAPI* VerQueryValueProc)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

// version.dll is no KnownDLL: loaded from the system folder, once, and kept.
struct VersionFunctions {
    GetFileVersionInfoSizeProc getSize;
    GetFileVersionInfoProc getInfo;
    VerQueryValueProc queryValue;
};

// Published once, whole (core/published_table): two threads that race here
// load the same DLL, and one table stands.
static const VersionFunctions* FindVersionFunctions()
{
    static void* volatile published;
    if (published)
        return (const VersionFunctions*)published;
    HMODULE module = LoadSystemLibrary(L"version.dll");
    if (!module)
        return NULL;
    VersionFunctions loaded;
    loaded.getSize = (GetFileVersionInfoSizeProc)(void*)GetProcAddress(module, "GetFileVersionInfoSizeW");
    loaded.getInfo = (GetFileVersionInfoProc)(void*)GetProcAddress(module, "GetFileVersionInfoW");
    loaded.queryValue = (VerQueryValueProc)(void*)GetProcAddress(module, "VerQueryValueW");
    if (!loaded.getSize || !loaded.getInfo || !loaded.queryValue)
        return NULL;
    return (const VersionFunctions*)PublishTableOnce(&published, &loaded, sizeof(loaded));
}

// Whether `bytes` from `value` lie wholly inside the block. The lengths a
// version resource states are the file's own claims.
static bool LiesInBlock(const VersionInfoBlock* block, const void* value, size_t bytes)
{
    const BYTE* start = (const BYTE*)block->data;
    const BYTE* at = (const BYTE*)value;
    return at >= start && at <= start + block->size && bytes <= (size_t)(start + block->size - at);
}

void LoadVersionInfo(VersionInfoBlock* block, const wchar_t* path)
{
    block->loaded = false;
    block->hasTranslation = false;
    block->data = NULL;
    block->size = 0;
    block->translation = NULL;
    block->fixedInfo = NULL;

    const VersionFunctions* version = FindVersionFunctions();
    if (!version)
        return;
    DWORD ignored = 0;
    DWORD size = version->getSize(path, &ignored);
    if (size == 0)
        return;
    block->data = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (!block->data)
        return;
    block->size = size;
    // On failure the holder still frees `data`.
    if (version->getInfo(path, 0, size, block->data))
        FindVersionFields(block);
}

static size_t AlignToDword(size_t offset)
{
    return (offset + 3) & ~(size_t)3;
}

// Whether the node `offset` bytes into the block, and the nodes under it that
// a query walks (three levels: StringFileInfo, a table, its strings), lie
// inside `end` with their keys ended inside them. VerQueryValueW walks the
// lengths the file states without checking them against the block.
static bool IsWellFormedNode(const BYTE* data, size_t offset, size_t end, int depth)
{
    // wLength, wValueLength, wType, then the key in UTF-16.
    WORD header[3];
    if (offset > end || end - offset < sizeof(header))
        return false;
    CopyMemory(header, data + offset, sizeof(header));
    if (header[0] < sizeof(header) || header[0] > end - offset)
        return false;
    size_t nodeEnd = offset + header[0];
    size_t at = offset + sizeof(header);
    for (wchar_t c = 1; c != L'\0'; at += sizeof(wchar_t)) {
        if (nodeEnd - at < sizeof(wchar_t))
            return false;
        CopyMemory(&c, data + at, sizeof(c));
    }
    if (depth == 3)
        return true;
    size_t valueBytes = header[2] ? header[1] * sizeof(wchar_t) : header[1];
    size_t child = offset + AlignToDword(at - offset) + AlignToDword(valueBytes);
    while (child < nodeEnd) {
        if (!IsWellFormedNode(data, child, nodeEnd, depth + 1))
            return false;
        WORD childLength = 0;
        CopyMemory(&childLength, data + child, sizeof(childLength));
        child += AlignToDword(childLength);
    }
    return true;
}

void FindVersionFields(VersionInfoBlock* block)
{
    const VersionFunctions* version = FindVersionFunctions();
    // Only the 32-bit form, whose third word (the type) is 0 or 1: the system
    // takes a larger one for a 16-bit block and converts its texts into room
    // past the block that a file's lengths decide.
    if (!version || !block->data || block->size < 6 || ((const BYTE*)block->data)[4] > 1 ||
        !IsWellFormedNode((const BYTE*)block->data, 0, block->size, 0))
        return;
    // Only a whole VS_FIXEDFILEINFO is of use; a shorter value would be read past its end.
    VS_FIXEDFILEINFO* fixedInfo = NULL;
    UINT fixedLength = 0;
    if (version->queryValue(block->data, L"\\", (void**)&fixedInfo, &fixedLength) && fixedInfo &&
        fixedLength >= sizeof(VS_FIXEDFILEINFO) && LiesInBlock(block, fixedInfo, sizeof(VS_FIXEDFILEINFO)))
        block->fixedInfo = fixedInfo;
    block->loaded = true;

    // A Translation value shorter than one language and code-page pair counts as none.
    const WORD* translation = NULL;
    UINT translationBytes = 0;
    if (version->queryValue(block->data, L"\\VarFileInfo\\Translation", (void**)&translation, &translationBytes) &&
        translation && translationBytes >= 2 * sizeof(WORD) && LiesInBlock(block, translation, 2 * sizeof(WORD))) {
        block->translation = translation;
        block->hasTranslation = true;
    }
}

bool QueryVersionString(const VersionInfoBlock* block, const wchar_t* name, wchar_t* out)
{
    const VersionFunctions* version = FindVersionFunctions();
    if (!version || !block->data || !block->hasTranslation || !block->translation)
        return false;

    // Only the first language and code page: no fallback to another table.
    wchar_t subBlock[SUB_BLOCK_CAPACITY];
    if (FAILED(StringCchPrintfW(subBlock, ARRAYSIZE(subBlock), L"\\StringFileInfo\\%.04x%.04x\\%s",
                                (unsigned)block->translation[0], (unsigned)block->translation[1], name)))
        return false;

    const wchar_t* value = NULL;
    UINT length = 0;  // characters; Wine counts the terminating NUL too
    if (!version->queryValue(block->data, subBlock, (void**)&value, &length) || !value || !LiesInBlock(block, value, 0))
        return false;
    // The value ends at its first NUL, and at the block's end whatever it claims.
    size_t room = ((const BYTE*)block->data + block->size - (const BYTE*)value) / sizeof(wchar_t);
    if (length > room)
        length = (UINT)room;
    for (UINT i = 0; i < length; ++i) {
        if (value[i] == L'\0') {
            length = i;
            break;
        }
    }

    // Blanks and NULs at the end go; leading blanks and other white space stay.
    while (length > 0 && (value[length - 1] == L' ' || value[length - 1] == L'\0'))
        --length;
    if (length >= (UINT)VERSION_STRING_CAPACITY)
        return false;
    StringCchCopyNW(out, VERSION_STRING_CAPACITY, value, length);
    return true;
}

void FreeVersionInfo(VersionInfoBlock* block)
{
    if (block->data)
        HeapFree(GetProcessHeap(), 0, block->data);
    block->data = NULL;
    block->size = 0;
    block->translation = NULL;
    block->fixedInfo = NULL;
    block->loaded = false;
    block->hasTranslation = false;
}
