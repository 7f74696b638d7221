#include "core/registry_text.h"
#include <strsafe.h>
#include "core/system_environment.h"

bool ReadRegistryText(HKEY key, const wchar_t* valueName, wchar_t* text)
{
    wchar_t raw[MAX_PATH + 1];
    DWORD type = 0, bytes = sizeof(raw) - sizeof(wchar_t);
    if (RegQueryValueExW(key, valueName, NULL, &type, (BYTE*)raw, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    // A stray odd byte (a writer that counted one too many) is dropped, as Windows reads such values.
    bytes -= bytes % sizeof(wchar_t);
    raw[bytes / sizeof(wchar_t)] = L'\0';
    if (raw[0] == L'\0')
        return false;
    if (type == REG_SZ)
        return SUCCEEDED(StringCchCopyW(text, MAX_PATH, raw));
    return ExpandSystemVariables(raw, text, MAX_PATH) && text[0];
}
