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
enum AddressOpening {
    ADDRESS_OPENED,
    ADDRESS_ON_CLIPBOARD,  // not opened elevated: the user pastes it into a browser
    ADDRESS_NOT_OPENED
};

// Opens the address with the rights of the user's desktop: itself when it is
// not elevated or the shell is elevated too, else through the shell, else it
// puts the address on the clipboard.
AddressOpening OpenLookupUrl(LookupUrl* url);
// The program of the http handler's command, for the fallback when the shell
// cannot open an address; false unless it names an existing file by its full path.
bool FindBrowserExecutable(wchar_t* exe, int capacity);
