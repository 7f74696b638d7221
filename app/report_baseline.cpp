#include "app/report_baseline.h"
#include <stdlib.h>
#include <string.h>
#include "app/report_sink.h"

static const int JSON_DEPTH_LIMIT = 32;
static const size_t JSON_NAME_CAPACITY = 32;
static const unsigned long long HASH_START = 14695981039346656037ull;
static const unsigned long long HASH_PRIME = 1099511628211ull;

static unsigned long long HashCodePoint(unsigned long long hash, unsigned int c)
{
    if (c >= 'a' && c <= 'z')
        c -= 'a' - 'A';
    for (int i = 0; i < 4; ++i)
        hash = (hash ^ ((c >> (8 * i)) & 0xFF)) * HASH_PRIME;
    return hash;
}

static unsigned long long HashWide(const wchar_t* text)
{
    unsigned long long hash = HASH_START;
    size_t length = text ? wcslen(text) : 0;
    for (size_t at = 0; at < length;)
        hash = HashCodePoint(hash, NextCodePoint(text, length, &at));
    return hash;
}

static unsigned long long CombineParts(const unsigned long long* parts, int count)
{
    unsigned long long key = HASH_START;
    for (int i = 0; i < count; ++i)
        for (int b = 0; b < 8; ++b)
            key = (key ^ ((parts[i] >> (8 * b)) & 0xFF)) * HASH_PRIME;
    return key;
}

unsigned long long ProcessBaselineKey(const wchar_t* path, const wchar_t* md5)
{
    unsigned long long parts[3] = {1, HashWide(path), HashWide(md5)};
    return CombineParts(parts, 3);
}

unsigned long long StartupBaselineKey(const wchar_t* location, const wchar_t* entry, const wchar_t* command)
{
    unsigned long long parts[4] = {2, HashWide(location), HashWide(entry), HashWide(command)};
    return CombineParts(parts, 4);
}

// ---- The reader --------------------------------------------------------------

struct JsonCursor {
    const unsigned char* at;
    const unsigned char* end;
    int depth;
    bool failed;
};

static void SkipSpace(JsonCursor* cursor)
{
    while (cursor->at < cursor->end &&
           (*cursor->at == ' ' || *cursor->at == '\t' || *cursor->at == '\r' || *cursor->at == '\n'))
        ++cursor->at;
}

static bool Take(JsonCursor* cursor, char c)
{
    SkipSpace(cursor);
    if (cursor->at < cursor->end && *cursor->at == (unsigned char)c) {
        ++cursor->at;
        return true;
    }
    return false;
}

static bool Fail(JsonCursor* cursor)
{
    cursor->failed = true;
    return false;
}

static int HexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static bool ReadHex4(JsonCursor* cursor, unsigned int* value)
{
    if (cursor->end - cursor->at < 4)
        return false;
    *value = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = HexValue(*cursor->at++);
        if (digit < 0)
            return false;
        *value = *value * 16 + (unsigned int)digit;
    }
    return true;
}

// One escape after the backslash; \u pairs joined, a lone surrogate U+FFFD.
static bool ReadEscape(JsonCursor* cursor, unsigned int* c)
{
    if (cursor->at >= cursor->end)
        return false;
    unsigned char e = *cursor->at++;
    static const char plain[] = "\"\\/bfnrt";
    static const char meant[] = "\"\\/\b\f\n\r\t";
    const char* found = e ? strchr(plain, e) : NULL;
    if (found) {
        *c = (unsigned char)meant[found - plain];
        return true;
    }
    if (e != 'u' || !ReadHex4(cursor, c))
        return false;
    if (*c >= 0xD800 && *c <= 0xDBFF && cursor->end - cursor->at >= 6 && cursor->at[0] == '\\' &&
        cursor->at[1] == 'u') {
        const unsigned char* back = cursor->at;
        cursor->at += 2;
        unsigned int low = 0;
        if (ReadHex4(cursor, &low) && low >= 0xDC00 && low <= 0xDFFF) {
            *c = 0x10000 + ((*c - 0xD800) << 10) + (low - 0xDC00);
            return true;
        }
        cursor->at = back;
    }
    if (*c >= 0xD800 && *c <= 0xDFFF)
        *c = 0xFFFD;
    return true;
}

// One UTF-8 sequence; malformed bytes refuse the document.
static bool ReadUtf8(JsonCursor* cursor, unsigned int* c)
{
    unsigned char lead = *cursor->at++;
    int more = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || cursor->end - cursor->at < more)
        return false;
    *c = more == 0 ? lead : lead & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        unsigned char next = *cursor->at++;
        if ((next & 0xC0) != 0x80)
            return false;
        *c = (*c << 6) | (next & 0x3F);
    }
    return *c >= 0x20 || more > 0 ? *c <= 0x10FFFF : false;
}

// A string after its opening quote: hashed, and its first ASCII characters
// kept in `name` (NULL: none) for a member's name.
static bool ReadString(JsonCursor* cursor, unsigned long long* hash, char* name)
{
    unsigned long long h = HASH_START;
    size_t kept = 0;
    while (cursor->at < cursor->end) {
        unsigned int c = 0;
        if (*cursor->at == '"') {
            ++cursor->at;
            if (name)
                name[kept] = '\0';
            if (hash)
                *hash = h;
            return true;
        }
        bool read = *cursor->at == '\\' ? (++cursor->at, ReadEscape(cursor, &c)) : ReadUtf8(cursor, &c);
        if (!read)
            return Fail(cursor);
        h = HashCodePoint(h, c);
        if (name && kept + 1 < JSON_NAME_CAPACITY)
            name[kept++] = c < 0x80 ? (char)c : '?';
    }
    return Fail(cursor);
}

static bool SkipValue(JsonCursor* cursor);

static bool SkipLiteral(JsonCursor* cursor, const char* word)
{
    size_t length = strlen(word);
    if ((size_t)(cursor->end - cursor->at) < length || memcmp(cursor->at, word, length) != 0)
        return Fail(cursor);
    cursor->at += length;
    return true;
}

static bool SkipNumber(JsonCursor* cursor)
{
    const unsigned char* start = cursor->at;
    while (cursor->at < cursor->end && strchr("+-0123456789.eE", *cursor->at) && *cursor->at)
        ++cursor->at;
    return cursor->at > start || Fail(cursor);
}

// Arrays and objects alike: members until the closing bracket.
static bool SkipContainer(JsonCursor* cursor, char close, bool named)
{
    if (++cursor->depth > JSON_DEPTH_LIMIT)
        return Fail(cursor);
    if (Take(cursor, close)) {
        --cursor->depth;
        return true;
    }
    do {
        if (named && (!Take(cursor, '"') || !ReadString(cursor, NULL, NULL) || !Take(cursor, ':')))
            return Fail(cursor);
        if (!SkipValue(cursor))
            return false;
    } while (Take(cursor, ','));
    --cursor->depth;
    return Take(cursor, close) || Fail(cursor);
}

static bool SkipValue(JsonCursor* cursor)
{
    SkipSpace(cursor);
    if (cursor->at >= cursor->end)
        return Fail(cursor);
    unsigned char c = *cursor->at;
    if (c == '"')
        return ++cursor->at, ReadString(cursor, NULL, NULL);
    if (c == '{')
        return ++cursor->at, SkipContainer(cursor, '}', true);
    if (c == '[')
        return ++cursor->at, SkipContainer(cursor, ']', false);
    if (c == 't')
        return SkipLiteral(cursor, "true");
    if (c == 'f')
        return SkipLiteral(cursor, "false");
    if (c == 'n')
        return SkipLiteral(cursor, "null");
    return SkipNumber(cursor);
}

// The members an item is known by, in its key's order.
struct ItemParts {
    const char* const* names;
    int count;
    unsigned long long hashes[3];
};

static bool AddKey(Baseline* baseline, unsigned long long key)
{
    if (baseline->count == baseline->capacity) {
        if (baseline->capacity >= BASELINE_KEY_LIMIT)
            return false;
        int grown = baseline->capacity ? baseline->capacity * 2 : 1024;
        HANDLE heap = GetProcessHeap();
        void* room = baseline->keys ? HeapReAlloc(heap, 0, baseline->keys, grown * sizeof(unsigned long long))
                                    : HeapAlloc(heap, 0, grown * sizeof(unsigned long long));
        if (!room)
            return false;
        baseline->keys = (unsigned long long*)room;
        baseline->capacity = grown;
    }
    baseline->keys[baseline->count++] = key;
    return true;
}

// A member's value: hashed when it is one of the parts' strings (null is empty).
static bool ReadItemMember(JsonCursor* cursor, const char* name, ItemParts* parts)
{
    for (int i = 0; i < parts->count; ++i) {
        if (strcmp(name, parts->names[i]) != 0)
            continue;
        if (Take(cursor, '"'))
            return ReadString(cursor, &parts->hashes[i], NULL);
        return SkipValue(cursor);
    }
    return SkipValue(cursor);
}

static bool ReadItem(JsonCursor* cursor, bool process, Baseline* baseline)
{
    static const char* const processNames[] = {"path", "md5"};
    static const char* const startupNames[] = {"location", "entry", "command"};
    ItemParts parts = {process ? processNames : startupNames, process ? 2 : 3, {HASH_START, HASH_START, HASH_START}};
    if (!Take(cursor, '{'))
        return Fail(cursor);
    if (!Take(cursor, '}')) {
        do {
            char name[JSON_NAME_CAPACITY];
            if (!Take(cursor, '"') || !ReadString(cursor, NULL, name) || !Take(cursor, ':') ||
                !ReadItemMember(cursor, name, &parts))
                return Fail(cursor);
        } while (Take(cursor, ','));
        if (!Take(cursor, '}'))
            return Fail(cursor);
    }
    unsigned long long all[4] = {process ? 1ull : 2ull, parts.hashes[0], parts.hashes[1], parts.hashes[2]};
    return AddKey(baseline, CombineParts(all, process ? 3 : 4)) || Fail(cursor);
}

static bool ReadItems(JsonCursor* cursor, bool process, Baseline* baseline)
{
    if (!Take(cursor, '['))
        return Fail(cursor);
    if (Take(cursor, ']'))
        return true;
    do {
        if (!ReadItem(cursor, process, baseline))
            return false;
    } while (Take(cursor, ','));
    return Take(cursor, ']') || Fail(cursor);
}

static bool ReadReportObject(JsonCursor* cursor, Baseline* baseline)
{
    bool sawTool = false;
    if (!Take(cursor, '{') || Take(cursor, '}'))
        return Fail(cursor);
    do {
        char name[JSON_NAME_CAPACITY];
        if (!Take(cursor, '"') || !ReadString(cursor, NULL, name) || !Take(cursor, ':'))
            return Fail(cursor);
        bool read = strcmp(name, "processes") == 0 ? ReadItems(cursor, true, baseline)
                    : strcmp(name, "startup") == 0 ? ReadItems(cursor, false, baseline)
                                                   : SkipValue(cursor);
        if (!read)
            return false;
        sawTool = sawTool || strcmp(name, "tool") == 0;
    } while (Take(cursor, ','));
    SkipSpace(cursor);
    return Take(cursor, '}') && (SkipSpace(cursor), cursor->at == cursor->end) && sawTool;
}

static int CompareKeys(const void* a, const void* b)
{
    unsigned long long x = *(const unsigned long long*)a, y = *(const unsigned long long*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

bool ReadBaselineText(const char* text, size_t length, Baseline* baseline)
{
    ZeroMemory(baseline, sizeof(*baseline));
    if (!text || length > BASELINE_SIZE_LIMIT)
        return false;
    JsonCursor cursor = {(const unsigned char*)text, (const unsigned char*)text + length, 0, false};
    // A byte-order mark a text editor may have added.
    if (length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        cursor.at += 3;
    if (!ReadReportObject(&cursor, baseline) || cursor.failed) {
        FreeBaseline(baseline);
        return false;
    }
    if (baseline->count)
        qsort(baseline->keys, baseline->count, sizeof(unsigned long long), CompareKeys);
    return true;
}

bool IsInBaseline(const Baseline* baseline, unsigned long long key)
{
    return baseline->count && bsearch(&key, baseline->keys, baseline->count, sizeof(key), CompareKeys) != NULL;
}

void FreeBaseline(Baseline* baseline)
{
    if (baseline->keys)
        HeapFree(GetProcessHeap(), 0, baseline->keys);
    ZeroMemory(baseline, sizeof(*baseline));
}

bool LoadBaselineFile(const wchar_t* path, Baseline* baseline, DWORD* error)
{
    ZeroMemory(baseline, sizeof(*baseline));
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    LARGE_INTEGER size;
    char* text = NULL;
    DWORD read = 0;
    *error = ERROR_INVALID_DATA;
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0 && (unsigned long long)size.QuadPart <= BASELINE_SIZE_LIMIT)
        text = (char*)HeapAlloc(GetProcessHeap(), 0, (size_t)size.QuadPart + 1);
    else if (!text)
        *error = ERROR_FILE_TOO_LARGE;
    bool parsed = text && ReadFile(file, text, (DWORD)size.QuadPart, &read, NULL) && read == size.QuadPart &&
                  ReadBaselineText(text, read, baseline);
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
    CloseHandle(file);
    if (parsed)
        *error = 0;
    return parsed;
}
