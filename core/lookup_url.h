// Lookup addresses on Kestrava and opening them in the browser.
#pragma once
#include <windows.h>

const int LOOKUP_URL_CAPACITY = 1040;

// The one place that names the lookup host.
extern const wchar_t lookupBaseAddress[];

struct LookupUrl {
    wchar_t text[LOOKUP_URL_CAPACITY];
    bool queryStarted;
    bool versionTagged;
};

void StartLookupUrl(LookupUrl* url, const wchar_t* name);
bool AppendEscaped(LookupUrl* url, const wchar_t* fragment);
bool AppendQueryParameter(LookupUrl* url, const wchar_t* key, const wchar_t* value);
void AppendVersionTag(LookupUrl* url);
void OpenLookupUrl(LookupUrl* url);
bool FindBrowserExecutable(wchar_t* exe, int capacity);
