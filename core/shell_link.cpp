#include "core/shell_link.h"
#include <strsafe.h>
#include "core/handed_path.h"

static const DWORD LINK_HEADER_SIZE = 0x4C;
static const BYTE LINK_CLSID[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
static const DWORD HAS_TARGET_ID_LIST = 0x1;
static const DWORD HAS_LINK_INFO = 0x2;
static const DWORD HAS_NAME = 0x4;
static const DWORD HAS_RELATIVE_PATH = 0x8;
static const DWORD IS_UNICODE = 0x80;
static const DWORD FORCE_NO_LINK_INFO = 0x100;
static const DWORD VOLUME_ID_AND_LOCAL_BASE_PATH = 0x1;
static const DWORD LINK_INFO_UNICODE_HEADER_SIZE = 0x24;

// The bytes read so far and what is left of them.
struct LinkReader {
    const BYTE* data;
    size_t size;
    size_t at;
};

static bool ReadWord(LinkReader* reader, WORD* value)
{
    if (reader->size - reader->at < 2)
        return false;
    *value = (WORD)(reader->data[reader->at] | (reader->data[reader->at + 1] << 8));
    reader->at += 2;
    return true;
}

static DWORD DwordAt(const BYTE* bytes)
{
    return (DWORD)bytes[0] | ((DWORD)bytes[1] << 8) | ((DWORD)bytes[2] << 16) | ((DWORD)bytes[3] << 24);
}

// A NUL-ended ANSI string at `offset` inside [0, size), appended to `path`.
static bool AppendAnsiString(const BYTE* block, DWORD size, DWORD offset, wchar_t* path)
{
    if (offset == 0 || offset >= size)
        return false;
    const BYTE* text = block + offset;
    DWORD length = 0;
    while (offset + length < size && text[length])
        ++length;
    if (offset + length >= size)
        return false;
    if (length == 0)
        return true;
    size_t used = wcslen(path);
    if (used >= MAX_PATH - 1)
        return false;
    int converted = MultiByteToWideChar(CP_ACP, 0, (const char*)text, (int)length, path + used, (int)(MAX_PATH - 1 - used));
    if (converted <= 0)
        return false;
    path[used + converted] = L'\0';
    return true;
}

// A NUL-ended UTF-16 string at `offset` inside [0, size), appended to `path`.
static bool AppendUnicodeString(const BYTE* block, DWORD size, DWORD offset, wchar_t* path)
{
    if (offset == 0 || offset >= size)
        return false;
    size_t used = wcslen(path);
    for (DWORD at = offset; at + 1 < size; at += 2) {
        wchar_t c = (wchar_t)(block[at] | (block[at + 1] << 8));
        if (c == L'\0') {
            path[used] = L'\0';
            return true;
        }
        if (used + 1 >= MAX_PATH)
            return false;
        path[used++] = c;
    }
    return false;
}

// LinkInfo's local path: the Unicode one where the header has it, else the
// ANSI one; each with its common path suffix.
static void ReadLocalPath(const BYTE* block, DWORD size, wchar_t* path)
{
    path[0] = L'\0';
    if (size < 0x1C)
        return;
    DWORD headerSize = DwordAt(block + 4), flags = DwordAt(block + 8);
    if (!(flags & VOLUME_ID_AND_LOCAL_BASE_PATH) || headerSize > size)
        return;
    if (headerSize >= LINK_INFO_UNICODE_HEADER_SIZE &&
        AppendUnicodeString(block, size, DwordAt(block + 0x1C), path) &&
        AppendUnicodeString(block, size, DwordAt(block + 0x20), path))
        return;
    path[0] = L'\0';
    if (!AppendAnsiString(block, size, DwordAt(block + 0x10), path) ||
        !AppendAnsiString(block, size, DwordAt(block + 0x18), path))
        path[0] = L'\0';
}

// One StringData field: a count of characters, then the characters.
static bool ReadStringData(LinkReader* reader, bool unicode, wchar_t* text /* MAX_PATH, or NULL: passed over */)
{
    WORD count = 0;
    if (!ReadWord(reader, &count))
        return false;
    size_t bytes = (size_t)count * (unicode ? 2 : 1);
    if (reader->size - reader->at < bytes)
        return false;
    const BYTE* start = reader->data + reader->at;
    reader->at += bytes;
    if (!text)
        return true;
    text[0] = L'\0';
    if (count == 0 || count >= MAX_PATH)
        return true;
    if (unicode) {
        for (WORD i = 0; i < count; ++i)
            text[i] = (wchar_t)(start[2 * i] | (start[2 * i + 1] << 8));
        text[count] = L'\0';
    } else {
        int converted = MultiByteToWideChar(CP_ACP, 0, (const char*)start, count, text, MAX_PATH - 1);
        text[converted > 0 ? converted : 0] = L'\0';
    }
    return true;
}

bool ParseShellLink(const BYTE* data, size_t size, ShellLinkPaths* paths)
{
    paths->localPath[0] = L'\0';
    paths->relativePath[0] = L'\0';
    if (!data || size < LINK_HEADER_SIZE || DwordAt(data) != LINK_HEADER_SIZE ||
        memcmp(data + 4, LINK_CLSID, sizeof(LINK_CLSID)) != 0)
        return false;
    DWORD flags = DwordAt(data + 20);
    LinkReader reader = {data, size, LINK_HEADER_SIZE};
    if (flags & HAS_TARGET_ID_LIST) {
        WORD listSize = 0;
        if (!ReadWord(&reader, &listSize) || reader.size - reader.at < listSize)
            return false;
        reader.at += listSize;
    }
    if ((flags & HAS_LINK_INFO) && !(flags & FORCE_NO_LINK_INFO)) {
        if (reader.size - reader.at < 4)
            return false;
        DWORD infoSize = DwordAt(data + reader.at);
        if (infoSize < 4 || reader.size - reader.at < infoSize)
            return false;
        ReadLocalPath(data + reader.at, infoSize, paths->localPath);
        reader.at += infoSize;
    }
    bool unicode = (flags & IS_UNICODE) != 0;
    if ((flags & HAS_NAME) && !ReadStringData(&reader, unicode, NULL))
        return false;
    if ((flags & HAS_RELATIVE_PATH) && !ReadStringData(&reader, unicode, paths->relativePath))
        return false;
    return true;
}

// The whole file, when it is a disk file no longer than a shortcut may be.
static BYTE* ReadShortcutBytes(const wchar_t* shortcut, DWORD* size)
{
    DWORD error = 0;
    HANDLE file = IsProbeableName(shortcut) ? OpenDiskFileForReading(shortcut, &error) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    BYTE* bytes = NULL;
    LARGE_INTEGER length;
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0 && length.QuadPart <= SHELL_LINK_MAXIMUM_BYTES)
        bytes = (BYTE*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)length.QuadPart);
    DWORD read = 0;
    if (bytes && (!ReadFile(file, bytes, (DWORD)length.QuadPart, &read, NULL) || read != (DWORD)length.QuadPart)) {
        HeapFree(GetProcessHeap(), 0, bytes);
        bytes = NULL;
    }
    CloseHandle(file);
    *size = read;
    return bytes;
}

// A relative path taken from the folder that holds the shortcut.
static bool ResolveRelativePath(const wchar_t* shortcut, const wchar_t* relative, wchar_t* target)
{
    wchar_t joined[MAX_PATH];
    if (FAILED(StringCchCopyW(joined, ARRAYSIZE(joined), shortcut)))
        return false;
    wchar_t* lastBackslash = wcsrchr(joined, L'\\');
    if (!lastBackslash)
        return false;
    lastBackslash[1] = L'\0';
    if (FAILED(StringCchCatW(joined, ARRAYSIZE(joined), relative)))
        return false;
    DWORD length = GetFullPathNameW(joined, MAX_PATH, target, NULL);
    return length > 0 && length < MAX_PATH;
}

bool ReadShellLinkTarget(const wchar_t* shortcut, wchar_t* target)
{
    target[0] = L'\0';
    DWORD size = 0;
    BYTE* bytes = ReadShortcutBytes(shortcut, &size);
    if (!bytes)
        return false;
    ShellLinkPaths* paths = (ShellLinkPaths*)HeapAlloc(GetProcessHeap(), 0, sizeof(ShellLinkPaths));
    bool found = false;
    if (paths && ParseShellLink(bytes, size, paths)) {
        if (paths->localPath[0])
            found = SUCCEEDED(StringCchCopyW(target, MAX_PATH, paths->localPath));
        else if (paths->relativePath[0])
            found = ResolveRelativePath(shortcut, paths->relativePath, target);
    }
    if (paths)
        HeapFree(GetProcessHeap(), 0, paths);
    HeapFree(GetProcessHeap(), 0, bytes);
    return found;
}
