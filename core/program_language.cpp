#include "core/program_language.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/scoped_handles.h"
#include "core/settings.h"

static const wchar_t languageValueName[] = L"Language";
static const LANGID ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
static const int TAG_CAPACITY = 16;

static const ProgramLanguageInfo languages[] = {
    {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"en-US", L"English"},
    {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"de-DE", L"Deutsch"},
    {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), L"fr-FR", L"Fran\x00E7" L"ais"},
    {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"es-ES", L"Espa\x00F1ol"},
    {MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), L"it-IT", L"Italiano"},
    {MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), L"pt-BR", L"Portugu\x00EAs (Brasil)"},
    {MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH), L"nl-NL", L"Nederlands"},
    {MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), L"pl-PL", L"Polski"},
    {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), L"ru-RU", L"\x0420\x0443\x0441\x0441\x043A\x0438\x0439"},
    {MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT), L"tr-TR", L"T\x00FCrk\x00E7" L"e"},
    {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), L"ja-JP", L"\x65E5\x672C\x8A9E"},
    {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"zh-CN", L"\x4E2D\x6587 (\x7B80\x4F53)"},
    {MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT), L"ko-KR", L"\xD55C\xAD6D\xC5B4"},
};

// 0 until decided; a LANGID fits a LONG, so one interlocked word holds it.
static volatile LONG spokenLanguage = 0;

const ProgramLanguageInfo* ProgramLanguages(int* count)
{
    *count = (int)ARRAYSIZE(languages);
    return languages;
}

// Traditional Chinese is another written language, not a variant of the
// Simplified one we speak.
static bool IsTraditionalChinese(LANGID language)
{
    WORD sub = SUBLANGID(language);
    return PRIMARYLANGID(language) == LANG_CHINESE && sub != SUBLANG_CHINESE_SIMPLIFIED &&
           sub != SUBLANG_CHINESE_SINGAPORE;
}

LANGID SpokenLanguageFor(LANGID windowsLanguage)
{
    if (IsTraditionalChinese(windowsLanguage))
        return ENGLISH;
    for (int i = 0; i < (int)ARRAYSIZE(languages); ++i) {
        if (PRIMARYLANGID(languages[i].id) == PRIMARYLANGID(windowsLanguage))
            return languages[i].id;
    }
    return ENGLISH;
}

// The tag's language part: "de" of "de-AT".
static bool IsSameLanguagePart(const wchar_t* tag, const wchar_t* ours)
{
    const wchar_t* dash = wcschr(ours, L'-');
    size_t part = dash ? (size_t)(dash - ours) : wcslen(ours);
    return EqualFoldingAsciiLetters(tag, ours, part) && (tag[part] == L'\0' || tag[part] == L'-');
}

LANGID SpokenLanguageForTag(const wchar_t* tag)
{
    if (!tag || !tag[0])
        return 0;
    for (int i = 0; i < (int)ARRAYSIZE(languages); ++i) {
        if (IsSameNameFoldingAscii(tag, languages[i].tag))
            return languages[i].id;
    }
    // Another region of a language we speak; Chinese only by its exact tag,
    // since its other regions write the Traditional characters.
    for (int i = 0; i < (int)ARRAYSIZE(languages); ++i) {
        if (PRIMARYLANGID(languages[i].id) != LANG_CHINESE && IsSameLanguagePart(tag, languages[i].tag))
            return languages[i].id;
    }
    return 0;
}

typedef LANGID(WINAPI* UserUiLanguageProc)();

// Windows' display language for this user; on XP the MUI language where it
// has one, else the user's own language.
static LANGID WindowsDisplayLanguage()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    UserUiLanguageProc userUiLanguage =
        kernel ? (UserUiLanguageProc)(void*)GetProcAddress(kernel, "GetUserDefaultUILanguage") : NULL;
    LANGID language = userUiLanguage ? userUiLanguage() : 0;
    return language ? language : GetUserDefaultLangID();
}

bool ReadLanguageChoice(wchar_t* tag, size_t capacity)
{
    if (!tag || capacity == 0)
        return false;
    tag[0] = L'\0';
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKeyPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    wchar_t value[TAG_CAPACITY + 1];
    DWORD type = 0;
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), languageValueName, NULL, &type, (BYTE*)value, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value[bytes / sizeof(wchar_t)] = L'\0';
    return SUCCEEDED(StringCchCopyW(tag, capacity, value)) && tag[0];
}

static LANGID DecideLanguage()
{
    wchar_t tag[TAG_CAPACITY];
    LANGID chosen = ReadLanguageChoice(tag, ARRAYSIZE(tag)) ? SpokenLanguageForTag(tag) : 0;
    return chosen ? chosen : SpokenLanguageFor(WindowsDisplayLanguage());
}

// The thread's own language in a TLS slot (XP has no thread_local for us:
// the compiler's own would bring a runtime Windows XP lacks).
static LONG threadLanguageSlot = (LONG)TLS_OUT_OF_INDEXES;

static DWORD ThreadLanguageSlot()
{
    LONG slot = threadLanguageSlot;
    if (slot != (LONG)TLS_OUT_OF_INDEXES)
        return (DWORD)slot;
    DWORD made = TlsAlloc();
    if (made == TLS_OUT_OF_INDEXES)
        return made;
    LONG before = InterlockedCompareExchange(&threadLanguageSlot, (LONG)made, (LONG)TLS_OUT_OF_INDEXES);
    if (before == (LONG)TLS_OUT_OF_INDEXES)
        return made;
    TlsFree(made);
    return (DWORD)before;
}

LANGID SetThreadTextLanguage(LANGID language)
{
    DWORD slot = ThreadLanguageSlot();
    if (slot == TLS_OUT_OF_INDEXES)
        return 0;
    LANGID before = (LANGID)(ULONG_PTR)TlsGetValue(slot);
    TlsSetValue(slot, (void*)(ULONG_PTR)language);
    return before;
}

LANGID ProgramLanguage()
{
    LONG slot = threadLanguageSlot;
    LANGID own = slot != (LONG)TLS_OUT_OF_INDEXES ? (LANGID)(ULONG_PTR)TlsGetValue((DWORD)slot) : 0;
    if (own)
        return own;
    LONG language = spokenLanguage;
    if (language == 0) {
        language = DecideLanguage();
        InterlockedExchange(&spokenLanguage, language);
    }
    return (LANGID)language;
}

void RefreshProgramLanguage()
{
    InterlockedExchange(&spokenLanguage, DecideLanguage());
}

bool ChooseProgramLanguage(const wchar_t* tag)
{
    if (tag && !SpokenLanguageForTag(tag))
        return false;
    ScopedKey key;
    if (!EnsureSettingsKey() ||
        RegOpenKeyExW(HKEY_CURRENT_USER, settingsKeyPath, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    LONG status = ERROR_SUCCESS;
    if (tag) {
        size_t length = 0;
        StringCchLengthW(tag, TAG_CAPACITY, &length);
        status = RegSetValueExW(key.Get(), languageValueName, 0, REG_SZ, (const BYTE*)tag,
                                (DWORD)((length + 1) * sizeof(wchar_t)));
    } else {
        status = RegDeleteValueW(key.Get(), languageValueName);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    }
    RefreshProgramLanguage();
    return status == ERROR_SUCCESS;
}

HRSRC FindProgramResource(LPCWSTR type, LPCWSTR name)
{
    HMODULE module = GetModuleHandleW(NULL);
    HRSRC found = FindResourceExW(module, type, name, ProgramLanguage());
    return found ? found : FindResourceExW(module, type, name, ENGLISH);
}

static const void* LockProgramResource(LPCWSTR type, UINT id)
{
    HRSRC found = FindProgramResource(type, MAKEINTRESOURCEW(id));
    HGLOBAL loaded = found ? LoadResource(GetModuleHandleW(NULL), found) : NULL;
    return loaded ? LockResource(loaded) : NULL;
}

HMENU LoadProgramMenu(UINT id)
{
    const void* menu = LockProgramResource(RT_MENU, id);
    return menu ? LoadMenuIndirectW(menu) : NULL;
}

INT_PTR ShowProgramDialog(UINT id, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    const void* dialog = LockProgramResource(RT_DIALOG, id);
    if (!dialog)
        return -1;
    return DialogBoxIndirectParamW(GetModuleHandleW(NULL), (LPCDLGTEMPLATEW)dialog, owner, procedure, parameter);
}

HWND CreateProgramDialog(UINT id, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    const void* dialog = LockProgramResource(RT_DIALOG, id);
    if (!dialog)
        return NULL;
    return CreateDialogIndirectParamW(GetModuleHandleW(NULL), (LPCDLGTEMPLATEW)dialog, owner, procedure, parameter);
}
