#include "core/lookup_url.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <strsafe.h>
#include "core/seams.h"

const wchar_t lookupBaseAddress[] = L"http://www.kestrava.com/directory/files/";

static const DWORD ESCAPE_FLAGS = 0x3000;  // URL_ESCAPE_SEGMENT_ONLY | URL_ESCAPE_PERCENT
static const wchar_t versionTagKey[] = L"qaver";
static const wchar_t versionTagValue[] = L"2.0";
static const wchar_t defaultBrowser[] = L"iexplore.exe";

// Room a parameter must leave so the version tag always fits after it.
static size_t VersionTagLength()
{
    return 1 + (ARRAYSIZE(versionTagKey) - 1) + 1 + (ARRAYSIZE(versionTagValue) - 1);
}

// Escapes fragment as one path segment; false when escaping fails.
static bool EscapeFragment(const wchar_t* fragment, wchar_t* escaped, DWORD capacity)
{
    DWORD length = capacity;
    escaped[0] = L'\0';
    if (FAILED(UrlEscapeW(fragment, escaped, &length, ESCAPE_FLAGS))) {
        escaped[0] = L'\0';
        return false;
    }
    escaped[capacity - 1] = L'\0';
    return true;
}

// UrlEscapeW leaves "+" alone, and servers that decode a query string the usual
// way read it as a blank: in a value it is sent as "%2B". False when that
// would not fit the capacity.
static bool EscapePlusSigns(wchar_t* text, size_t capacity)
{
    size_t length = 0, pluses = 0;
    for (; text[length]; ++length)
        if (text[length] == L'+')
            ++pluses;
    size_t escapedLength = length + 2 * pluses;
    if (escapedLength >= capacity)
        return false;
    // From the end backwards, so the text can grow where it lies.
    text[escapedLength] = L'\0';
    for (size_t from = length, to = escapedLength; from > 0;) {
        wchar_t c = text[--from];
        if (c == L'+') {
            text[--to] = L'B';
            text[--to] = L'2';
            text[--to] = L'%';
        } else {
            text[--to] = c;
        }
    }
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
        !EscapeFragment(value, escapedValue, LOOKUP_URL_CAPACITY) ||
        !EscapePlusSigns(escapedValue, LOOKUP_URL_CAPACITY))
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

void OpenLookupUrl(LookupUrl* url)
{
    AppendVersionTag(url);
    HINSTANCE result = seams.shellExecute(NULL, L"open", url->text, NULL, NULL, SW_SHOW);
    if ((UINT_PTR)result > 32)
        return;

    wchar_t browser[MAX_PATH];
    if (!FindBrowserExecutable(browser, ARRAYSIZE(browser)))
        return;
    AppendVersionTag(url);
    seams.shellExecute(NULL, L"open", browser, url->text, NULL, SW_SHOW);
}

bool FindBrowserExecutable(wchar_t* exe, int capacity)
{
    // One character more than the registry may fill, so the text always ends.
    wchar_t command[MAX_PATH + 1];
    ZeroMemory(command, sizeof(command));
    StringCchCopyW(command, MAX_PATH, defaultBrowser);

    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD bytes = MAX_PATH * sizeof(wchar_t);
    LONG queried = RegQueryValueExW(key, NULL, NULL, NULL, (BYTE*)command, &bytes);
    RegCloseKey(key);
    // A value stored without its terminator ends where the bytes read end, not
    // in what is left of the default text behind them.
    size_t charactersRead = bytes / sizeof(wchar_t);
    if (queried == ERROR_SUCCESS && bytes > 0 && charactersRead < MAX_PATH)
        command[charactersRead] = L'\0';
    command[MAX_PATH - 1] = L'\0';

    const wchar_t* start = command;
    const wchar_t* end = NULL;
    if (command[0] == L'"') {
        start = command + 1;
        end = wcschr(start, L'"');
    } else {
        end = wcschr(start, L' ');
    }
    size_t length = end ? (size_t)(end - start) : wcslen(start);
    StringCchCopyNW(exe, capacity, start, length);
    return true;
}
