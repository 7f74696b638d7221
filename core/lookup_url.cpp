#include "core/lookup_url.h"
#include <shellapi.h>
#include <strsafe.h>
#include "core/clipboard_text.h"
#include "core/seams.h"
#include "core/system_probes.h"
#include "core/scoped_handles.h"

const wchar_t lookupBaseAddress[] = L"https://www.kestrava.com/directory/files/";

static const wchar_t versionTagKey[] = L"qaver";
static const wchar_t versionTagValue[] = L"2.0";
static const int BROWSER_COMMAND_CAPACITY = 1024;

// Room a parameter must leave so the version tag always fits after it.
static size_t VersionTagLength()
{
    return 1 + (ARRAYSIZE(versionTagKey) - 1) + 1 + (ARRAYSIZE(versionTagValue) - 1);
}

// RFC 3986's unreserved characters: the only ones sent as they are.
static bool IsUnreserved(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_' || c == L'~';
}

// The code point at `text`, and how many UTF-16 units it takes; a lone
// surrogate stands for U+FFFD, as the system's converter has it.
static unsigned ReadCodePoint(const wchar_t* text, int* units)
{
    unsigned c = text[0];
    *units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
        *units = 2;
        return 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
    }
    return (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c;
}

static int EncodeUtf8(unsigned c, unsigned char* bytes)
{
    if (c < 0x80) {
        bytes[0] = (unsigned char)c;
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = (unsigned char)(0xC0 | (c >> 6));
        bytes[1] = (unsigned char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = (unsigned char)(0xE0 | (c >> 12));
        bytes[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = (unsigned char)(0x80 | (c & 0x3F));
        return 3;
    }
    bytes[0] = (unsigned char)(0xF0 | (c >> 18));
    bytes[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = (unsigned char)(0x80 | (c & 0x3F));
    return 4;
}

// Percent-encodes the fragment from UTF-8: everything but the unreserved
// characters, so a value's "&", "=", ";" or "+" is never read as a separator
// or a blank. False, with nothing written, when it would not fit.
static bool EscapeFragment(const wchar_t* fragment, wchar_t* escaped, size_t capacity)
{
    static const wchar_t hexDigits[] = L"0123456789ABCDEF";
    size_t used = 0;
    for (const wchar_t* at = fragment; *at;) {
        int units = 1;
        unsigned c = ReadCodePoint(at, &units);
        at += units;
        unsigned char bytes[4];
        int count = (c < 0x80 && IsUnreserved((wchar_t)c)) ? 0 : EncodeUtf8(c, bytes);
        if (used + (count ? 3 * (size_t)count : 1) >= capacity) {
            escaped[0] = L'\0';
            return false;
        }
        if (count == 0)
            escaped[used++] = (wchar_t)c;
        for (int i = 0; i < count; ++i) {
            escaped[used++] = L'%';
            escaped[used++] = hexDigits[bytes[i] >> 4];
            escaped[used++] = hexDigits[bytes[i] & 0x0F];
        }
    }
    escaped[used] = L'\0';
    return true;
}

// Room that must stay free for the tag until the tag is in.
static size_t ReservedForTag(const LookupUrl* url)
{
    return url->versionTagged ? 0 : VersionTagLength();
}

void StartLookupUrl(LookupUrl* url, const wchar_t* name)
{
    url->queryStarted = false;
    url->versionTagged = false;
    StringCchCopyW(url->text, LOOKUP_URL_CAPACITY, lookupBaseAddress);
    AppendEscaped(url, name);
}

bool AppendEscaped(LookupUrl* url, const wchar_t* fragment)
{
    wchar_t escaped[LOOKUP_URL_CAPACITY];
    if (!EscapeFragment(fragment, escaped, LOOKUP_URL_CAPACITY))
        return false;
    // A fragment that would be cut is left out whole: a cut escape is no address.
    size_t used = 0, extra = 0;
    StringCchLengthW(url->text, LOOKUP_URL_CAPACITY, &used);
    StringCchLengthW(escaped, LOOKUP_URL_CAPACITY, &extra);
    if (used + extra + ReservedForTag(url) >= LOOKUP_URL_CAPACITY)
        return false;
    return SUCCEEDED(StringCchCatW(url->text, LOOKUP_URL_CAPACITY, escaped));
}

// Appends "?key=value" or "&key=value" whole, or nothing when it would not fit
// with `reserve` characters left over.
static bool AppendParameterLeaving(LookupUrl* url, const wchar_t* key, const wchar_t* value, size_t reserve)
{
    wchar_t escapedKey[LOOKUP_URL_CAPACITY];
    wchar_t escapedValue[LOOKUP_URL_CAPACITY];
    if (!EscapeFragment(key, escapedKey, LOOKUP_URL_CAPACITY) ||
        !EscapeFragment(value, escapedValue, LOOKUP_URL_CAPACITY))
        return false;

    size_t used = 0, keyLength = 0, valueLength = 0;
    StringCchLengthW(url->text, LOOKUP_URL_CAPACITY, &used);
    StringCchLengthW(escapedKey, LOOKUP_URL_CAPACITY, &keyLength);
    StringCchLengthW(escapedValue, LOOKUP_URL_CAPACITY, &valueLength);
    if (used + 1 + keyLength + 1 + valueLength + reserve >= LOOKUP_URL_CAPACITY)
        return false;

    StringCchCatW(url->text, LOOKUP_URL_CAPACITY, url->queryStarted ? L"&" : L"?");
    url->queryStarted = true;
    StringCchCatW(url->text, LOOKUP_URL_CAPACITY, escapedKey);
    StringCchCatW(url->text, LOOKUP_URL_CAPACITY, L"=");
    StringCchCatW(url->text, LOOKUP_URL_CAPACITY, escapedValue);
    return true;
}

bool AppendQueryParameter(LookupUrl* url, const wchar_t* key, const wchar_t* value)
{
    return AppendParameterLeaving(url, key, value, ReservedForTag(url));
}

void AppendVersionTag(LookupUrl* url)
{
    if (url->versionTagged)
        return;
    if (AppendParameterLeaving(url, versionTagKey, versionTagValue, 0))
        url->versionTagged = true;
}

AddressOpening OpenLookupUrl(LookupUrl* url)
{
    AppendVersionTag(url);
    bool elevated = IsVistaOrLater() && IsElevated();
    // A browser we started would run with the administrator's token.
    if (elevated && !seams.desktopShellElevated()) {
        if (seams.openAsDesktopShell(url->text))
            return ADDRESS_OPENED;
        return PutTextOnClipboard(NULL, url->text) ? ADDRESS_ON_CLIPBOARD : ADDRESS_NOT_OPENED;
    }
    if ((UINT_PTR)seams.shellExecute(NULL, L"open", url->text, NULL, NULL, SW_SHOW) > 32)
        return ADDRESS_OPENED;
    // The handler's command is the user's to write (HKCU's classes): run it
    // only with the user's own rights.
    wchar_t browser[MAX_PATH];
    if (elevated || !FindBrowserExecutable(browser, ARRAYSIZE(browser)))
        return ADDRESS_NOT_OPENED;
    return (UINT_PTR)seams.shellExecute(NULL, L"open", browser, url->text, NULL, SW_SHOW) > 32 ? ADDRESS_OPENED
                                                                                             : ADDRESS_NOT_OPENED;
}

static bool IsFullPath(const wchar_t* path)
{
    bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                 path[1] == L':' && path[2] == L'\\';
    return drive || (path[0] == L'\\' && path[1] == L'\\');
}

bool FindBrowserExecutable(wchar_t* exe, int capacity)
{
    wchar_t command[BROWSER_COMMAND_CAPACITY];
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    // One character short of the buffer: a value stored without its NUL still ends.
    DWORD type = 0;
    DWORD bytes = (BROWSER_COMMAND_CAPACITY - 1) * sizeof(wchar_t);
    LONG read = RegQueryValueExW(key.Get(), NULL, NULL, &type, (BYTE*)command, &bytes);
    // A longer value (ERROR_MORE_DATA) is not used cut short, nor one of another type.
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || bytes % sizeof(wchar_t) != 0)
        return false;
    command[bytes / sizeof(wchar_t)] = L'\0';
    wchar_t expanded[BROWSER_COMMAND_CAPACITY];
    const wchar_t* text = command;
    if (type == REG_EXPAND_SZ) {
        DWORD length = ExpandEnvironmentStringsW(command, expanded, ARRAYSIZE(expanded));
        if (length == 0 || length > ARRAYSIZE(expanded))
            return false;
        text = expanded;
    }

    const wchar_t* start = text;
    const wchar_t* end = NULL;
    if (text[0] == L'"') {
        start = text + 1;
        end = wcschr(start, L'"');
        if (!end)
            return false;
    } else {
        end = wcspbrk(start, L" \t");
    }
    size_t length = end ? (size_t)(end - start) : wcslen(start);
    if (length == 0 || FAILED(StringCchCopyNW(exe, capacity, start, length)) || !IsFullPath(exe))
        return false;
    DWORD attributes = GetFileAttributesW(exe);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
