// The registry's autostart places: Run and its kin, and the system's hooks.
#include "lookup/startup_registry.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/scoped_handles.h"
#include "core/system_environment.h"
#include "core/program_text.h"
#include "core/system_folders.h"
#include "resource.h"

// The registry's own limit on a value name is 16383 characters.
static const DWORD VALUE_NAME_LIMIT = 16384;
static const wchar_t CURRENT_VERSION[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
static const wchar_t NT_CURRENT_VERSION[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\";

struct ValueScratch {
    wchar_t name[VALUE_NAME_LIMIT];
    wchar_t command[STARTUP_COMMAND_CAPACITY];
    wchar_t other[STARTUP_COMMAND_CAPACITY];  // the other view's value
};

// Where a key is, written in full: "HKLM\Software\WOW6432Node\..." for the 32-bit view.
static void BuildLocation(const wchar_t* rootName, const wchar_t* keyPath, bool wow6432, wchar_t* location)
{
    static const wchar_t software[] = L"Software\\";
    size_t prefix = ARRAYSIZE(software) - 1;
    if (wow6432 && EqualFoldingAsciiLetters(keyPath, software, prefix))
        StringCchPrintfW(location, STARTUP_LOCATION_CAPACITY, L"%s\\Software\\WOW6432Node\\%s", rootName,
                         keyPath + prefix);
    else
        StringCchPrintfW(location, STARTUP_LOCATION_CAPACITY, L"%s\\%s", rootName, keyPath);
}

// Whether the other view's key (`other`, NULL: none) holds the same value:
// a key both views share (some of HKLM's on 64-bit Windows) answers alike in both.
static bool SameInOtherView(HKEY other, const wchar_t* name, const wchar_t* command, wchar_t* scratch)
{
    bool tooLong = false;
    return other && ReadStringValueHead(other, name, scratch, STARTUP_COMMAND_CAPACITY, &tooLong) &&
           wcscmp(scratch, command) == 0;
}

struct ValueSource {
    HKEY root;
    const wchar_t* rootName;
    const wchar_t* keyPath;
    bool wow6432;  // the 32-bit view of a 64-bit Windows
    StartupSwitchPlace place;
};

static REGSAM ViewOf(const ValueSource* source)
{
    if (!HasTwoRegistryViews())
        return 0;
    return source->wow6432 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// Each string value of a key that holds commands (Run and its kin).
static void ReadCommandValues(const ValueSource* source, StartupList* list)
{
    ScopedKey key;
    if (RegOpenKeyExW(source->root, source->keyPath, 0, KEY_QUERY_VALUE | ViewOf(source), key.Receive()) !=
        ERROR_SUCCESS)
        return;
    ValueScratch* value = (ValueScratch*)HeapAlloc(GetProcessHeap(), 0, sizeof(ValueScratch));
    if (!value)
        return;
    // The 32-bit view's values are compared with the native view's, opened once.
    ScopedKey other;
    if (source->wow6432 && RegOpenKeyExW(source->root, source->keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                         other.Receive()) != ERROR_SUCCESS)
        other.Close();
    wchar_t location[STARTUP_LOCATION_CAPACITY];
    BuildLocation(source->rootName, source->keyPath, source->wow6432, location);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = VALUE_NAME_LIMIT;
        if (RegEnumValueW(key.Get(), index, value->name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        bool tooLong = false;
        if (!ReadStringValueHead(key.Get(), value->name, value->command, STARTUP_COMMAND_CAPACITY, &tooLong) ||
            !value->command[0] ||
            SameInOtherView(other.Get(), value->name, value->command, value->other))
            continue;
        // The key's unnamed value, named as the registry editor names it; it cannot be switched.
        bool named = value->name[0] != L'\0';
        if (!named)
            LoadProgramText(IDS_STARTUP_DEFAULT_VALUE, value->name, VALUE_NAME_LIMIT);
        StartupEntry* entry = AddStartupEntry(list, STARTUP_RUN_VALUE, location, value->name);
        if (!entry)
            continue;
        entry->place = named && entry->switchName[0] ? source->place : SWITCH_NONE;
        SetStartupCommand(entry, value->command);
        entry->tooLong = entry->tooLong || tooLong;
    }
    HeapFree(GetProcessHeap(), 0, value);
}

// RunOnceEx keeps its commands one key down, a key per step.
static void ReadRunOnceEx(const ValueSource* source, StartupList* list)
{
    ScopedKey key;
    if (RegOpenKeyExW(source->root, source->keyPath, 0, KEY_ENUMERATE_SUB_KEYS | ViewOf(source), key.Receive()) !=
        ERROR_SUCCESS)
        return;
    wchar_t name[STARTUP_NAME_CAPACITY];
    for (DWORD index = 0; NextSubkeyName(key.Get(), &index, name, ARRAYSIZE(name));) {
        wchar_t keyPath[STARTUP_KEY_CAPACITY + STARTUP_NAME_CAPACITY];
        if (FAILED(StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%s\\%s", source->keyPath, name)))
            continue;
        ValueSource step = {source->root, source->rootName, keyPath, source->wow6432, SWITCH_NONE};
        ReadCommandValues(&step, list);
    }
}

// HKCU\Software (all but its Classes) is one key in both views on every
// 64-bit Windows: its 32-bit view would only read the same values again.
static bool IsSharedByBothViews(HKEY root)
{
    return root == HKEY_CURRENT_USER;
}

static StartupSwitchPlace RunPlace(HKEY root, bool wow6432)
{
    if (root == HKEY_CURRENT_USER)
        return wow6432 ? SWITCH_NONE : SWITCH_HKCU_RUN;
    return wow6432 ? SWITCH_HKLM_RUN32 : SWITCH_HKLM_RUN;
}

void ReadRunEntries(StartupList* list)
{
    static const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    static const wchar_t* const rootNames[] = {L"HKCU", L"HKLM"};
    static const wchar_t* const keys[] = {L"Run", L"RunOnce", L"Policies\\Explorer\\Run"};
    int views = HasTwoRegistryViews() ? 2 : 1;
    for (size_t k = 0; k < ARRAYSIZE(keys); ++k)
        for (int view = 0; view < views; ++view)
            for (size_t r = 0; r < ARRAYSIZE(roots); ++r) {
                bool wow6432 = view == 1;
                if (wow6432 && IsSharedByBothViews(roots[r]))
                    continue;
                wchar_t keyPath[STARTUP_KEY_CAPACITY];
                StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%s%s", CURRENT_VERSION, keys[k]);
                ValueSource source = {roots[r], rootNames[r], keyPath, wow6432,
                                      k == 0 ? RunPlace(roots[r], wow6432) : SWITCH_NONE};
                ReadCommandValues(&source, list);
            }
    for (int view = 0; view < views; ++view)
        for (size_t r = 0; r < ARRAYSIZE(roots); ++r) {
            if (view == 1 && IsSharedByBothViews(roots[r]))
                continue;
            wchar_t keyPath[STARTUP_KEY_CAPACITY];
            StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%sRunOnceEx", CURRENT_VERSION);
            ValueSource source = {roots[r], rootNames[r], keyPath, view == 1, SWITCH_NONE};
            ReadRunOnceEx(&source, list);
        }
    // Windows NT's Load and Run: lists of programs started at logon, as of old.
    wchar_t windowsKey[STARTUP_KEY_CAPACITY];
    StringCchPrintfW(windowsKey, ARRAYSIZE(windowsKey), L"%sWindows", NT_CURRENT_VERSION);
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, windowsKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return;
    wchar_t location[STARTUP_LOCATION_CAPACITY], command[STARTUP_COMMAND_CAPACITY];
    BuildLocation(L"HKCU", windowsKey, false, location);
    static const wchar_t* const names[] = {L"Load", L"Run"};
    for (size_t n = 0; n < ARRAYSIZE(names); ++n) {
        const wchar_t* name = names[n];
        bool tooLong = false;
        if (!ReadStringValueHead(key.Get(), name, command, ARRAYSIZE(command), &tooLong) || !command[0])
            continue;
        StartupEntry* entry = AddStartupEntry(list, STARTUP_RUN_VALUE, location, name);
        if (entry) {
            SetStartupCommand(entry, command);
            entry->tooLong = entry->tooLong || tooLong;
        }
    }
}

// ---- Winlogon, IFEO, AppInit_DLLs, BootExecute, the LSA ----

static bool SameName(const wchar_t* a, const wchar_t* b)
{
    return lstrcmpiW(a, b) == 0;
}

// Takes the next part of a list separated by any of `separators`, blanks trimmed.
static const wchar_t* TakeListPart(const wchar_t* text, const wchar_t* separators, wchar_t* part, size_t capacity)
{
    while (*text && (wcschr(separators, *text) || *text == L' ' || *text == L'\t'))
        ++text;
    const wchar_t* end = text;
    while (*end && !wcschr(separators, *end))
        ++end;
    const wchar_t* last = end;
    while (last > text && (last[-1] == L' ' || last[-1] == L'\t'))
        --last;
    size_t length = (size_t)(last - text);
    part[0] = L'\0';
    if (length > 0 && length < capacity)
        StringCchCopyNW(part, capacity, text, length);
    return *end ? end + 1 : end;
}

// A DLL named by a bare name or a path: a bare one from the system folder.
static void SetDllProgram(StartupEntry* entry, const wchar_t* name, const wchar_t* extension)
{
    wchar_t file[MAX_PATH], path[MAX_PATH];
    bool bare = !wcschr(name, L'\\');
    StringCchCopyW(file, ARRAYSIZE(file), name);
    if (extension && !wcschr(file, L'.'))
        StringCchCatW(file, ARRAYSIZE(file), extension);
    if (bare && BuildNativeSystemPath(file, path, ARRAYSIZE(path)))
        SetStartupProgram(entry, path);
    else
        SetStartupProgram(entry, file);
    StringCchCopyW(entry->command, ARRAYSIZE(entry->command), name);
}

// Whether one of Userinit's parts is Windows' own userinit.exe.
static bool IsOwnUserinit(const wchar_t* part)
{
    const wchar_t* name = wcsrchr(part, L'\\');
    name = name ? name + 1 : part;
    if (!SameName(name, L"userinit.exe") && !SameName(name, L"userinit"))
        return false;
    if (name == part)
        return true;
    wchar_t own[MAX_PATH], expanded[MAX_PATH];
    return BuildSystemPath(L"userinit.exe", own, ARRAYSIZE(own)) &&
           ExpandSystemVariables(part, expanded, ARRAYSIZE(expanded)) && SameName(expanded, own);
}

static void AddCommandEntry(StartupList* list, StartupKind kind, const wchar_t* location, const wchar_t* name,
                            const wchar_t* command)
{
    StartupEntry* entry = AddStartupEntry(list, kind, location, name);
    if (entry)
        SetStartupCommand(entry, command);
}

static void ReadWinlogonValues(HKEY root, const wchar_t* rootName, StartupList* list)
{
    wchar_t keyPath[STARTUP_KEY_CAPACITY], location[STARTUP_LOCATION_CAPACITY], text[STARTUP_COMMAND_CAPACITY];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%sWinlogon", NT_CURRENT_VERSION);
    BuildLocation(rootName, keyPath, false, location);
    ScopedKey key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
        return;
    bool tooLong = false;
    if (ReadStringValueHead(key.Get(), L"Shell", text, ARRAYSIZE(text), &tooLong) && text[0] &&
        !SameName(text, L"explorer.exe") && !SameName(text, L"explorer"))
        AddCommandEntry(list, STARTUP_WINLOGON, location, L"Shell", text);
    if (ReadStringValueHead(key.Get(), L"Taskman", text, ARRAYSIZE(text), &tooLong) && text[0])
        AddCommandEntry(list, STARTUP_WINLOGON, location, L"Taskman", text);
    if (!ReadStringValueHead(key.Get(), L"Userinit", text, ARRAYSIZE(text), &tooLong))
        return;
    // Its parts, separated by commas, run one after another.
    wchar_t part[MAX_PATH];
    for (const wchar_t* rest = text; *rest;) {
        rest = TakeListPart(rest, L",", part, ARRAYSIZE(part));
        if (part[0] && !IsOwnUserinit(part))
            AddCommandEntry(list, STARTUP_WINLOGON, location, L"Userinit", part);
    }
}

// XP's Winlogon loads each Notify key's DllName.
static void ReadWinlogonNotify(StartupList* list)
{
    wchar_t keyPath[STARTUP_KEY_CAPACITY], location[STARTUP_LOCATION_CAPACITY];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%sWinlogon\\Notify", NT_CURRENT_VERSION);
    BuildLocation(L"HKLM", keyPath, false, location);
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    wchar_t name[STARTUP_NAME_CAPACITY];
    for (DWORD index = 0; NextSubkeyName(key.Get(), &index, name, ARRAYSIZE(name));) {
        wchar_t dll[MAX_PATH];
        ScopedKey notify;
        bool tooLong = false;
        if (RegOpenKeyExW(key.Get(), name, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, notify.Receive()) != ERROR_SUCCESS ||
            !ReadStringValueHead(notify.Get(), L"DllName", dll, ARRAYSIZE(dll), &tooLong) || !dll[0] || tooLong)
            continue;
        StartupEntry* entry = AddStartupEntry(list, STARTUP_WINLOGON, location, name);
        wchar_t expanded[MAX_PATH];
        if (entry && ExpandSystemVariables(dll, expanded, ARRAYSIZE(expanded)))
            SetDllProgram(entry, expanded, NULL);
    }
}

// Each program's Debugger, which Windows starts instead of the program.
static void ReadDebuggers(bool wow6432, StartupList* list)
{
    wchar_t keyPath[STARTUP_KEY_CAPACITY], location[STARTUP_LOCATION_CAPACITY];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%sImage File Execution Options", NT_CURRENT_VERSION);
    BuildLocation(L"HKLM", keyPath, wow6432, location);
    REGSAM view = HasTwoRegistryViews() ? (wow6432 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY) : 0;
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ENUMERATE_SUB_KEYS | view, key.Receive()) != ERROR_SUCCESS)
        return;
    wchar_t* command = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, STARTUP_COMMAND_CAPACITY * sizeof(wchar_t));
    if (!command)
        return;
    wchar_t name[STARTUP_NAME_CAPACITY];
    for (DWORD index = 0; NextSubkeyName(key.Get(), &index, name, ARRAYSIZE(name));) {
        ScopedKey program;
        bool tooLong = false;
        if (RegOpenKeyExW(key.Get(), name, 0, KEY_QUERY_VALUE | view, program.Receive()) != ERROR_SUCCESS ||
            !ReadStringValueHead(program.Get(), L"Debugger", command, STARTUP_COMMAND_CAPACITY, &tooLong) ||
            !command[0])
            continue;
        wchar_t subKey[STARTUP_KEY_CAPACITY + STARTUP_NAME_CAPACITY];
        StringCchPrintfW(subKey, ARRAYSIZE(subKey), L"%s\\%s", keyPath, name);
        if (wow6432 && SameInOtherView(HKEY_LOCAL_MACHINE, subKey, L"Debugger", command))
            continue;
        AddCommandEntry(list, STARTUP_IFEO_DEBUGGER, location, name, command);
    }
    HeapFree(GetProcessHeap(), 0, command);
}

// AppInit_DLLs, loaded into every program that loads user32, when LoadAppInit_DLLs is 1.
static void ReadAppInitDlls(bool wow6432, StartupList* list)
{
    wchar_t keyPath[STARTUP_KEY_CAPACITY], location[STARTUP_LOCATION_CAPACITY], text[STARTUP_COMMAND_CAPACITY];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%sWindows", NT_CURRENT_VERSION);
    BuildLocation(L"HKLM", keyPath, wow6432, location);
    StringCchCatW(location, ARRAYSIZE(location), L"\\AppInit_DLLs");
    REGSAM view = HasTwoRegistryViews() ? (wow6432 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY) : 0;
    ScopedKey key;
    DWORD load = 0;
    bool tooLong = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view, key.Receive()) != ERROR_SUCCESS ||
        !ReadDwordValue(key.Get(), L"LoadAppInit_DLLs", &load) || load != 1 ||
        !ReadStringValueHead(key.Get(), L"AppInit_DLLs", text, ARRAYSIZE(text), &tooLong) ||
        (wow6432 && SameInOtherView(HKEY_LOCAL_MACHINE, keyPath, L"AppInit_DLLs", text)))
        return;
    wchar_t part[MAX_PATH];
    for (const wchar_t* rest = text; *rest;) {
        rest = TakeListPart(rest, L", ", part, ARRAYSIZE(part));
        StartupEntry* entry = part[0] ? AddStartupEntry(list, STARTUP_APPINIT_DLL, location, part) : NULL;
        if (entry)
            SetDllProgram(entry, part, L".dll");
    }
}

// The native programs Session Manager runs before Windows starts, beyond its own disk check.
static void ReadBootExecute(StartupList* list)
{
    static const wchar_t keyPath[] = L"System\\CurrentControlSet\\Control\\Session Manager";
    wchar_t location[STARTUP_LOCATION_CAPACITY], text[STARTUP_COMMAND_CAPACITY];
    BuildLocation(L"HKLM", keyPath, false, location);
    StringCchCatW(location, ARRAYSIZE(location), L"\\BootExecute");
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
            ERROR_SUCCESS ||
        !ReadMultiStringValue(key.Get(), L"BootExecute", text, ARRAYSIZE(text)))
        return;
    for (const wchar_t* item = text; *item; item += wcslen(item) + 1) {
        if (SameName(item, L"autocheck autochk *"))
            continue;
        // "autocheck" is a tag; the program follows it.
        const wchar_t* command = item;
        if (EqualFoldingAsciiLetters(command, L"autocheck ", 10))
            command += 10;
        StartupEntry* entry = AddStartupEntry(list, STARTUP_BOOT_EXECUTE, location, item);
        if (entry)
            SetStartupCommand(entry, command);
    }
}

// The LSA's packages, DLLs loaded into lsass, beyond Windows' own.
static bool IsOwnLsaPackage(const wchar_t* name)
{
    static const wchar_t* const own[] = {L"msv1_0", L"scecli", L"rassfm", L"kerberos", L"schannel", L"wdigest",
                                         L"tspkg", L"pku2u", L"cloudap", L"negoexts", L"livessp", L"\"\"",
                                         L"msoidssp", L"fpnwclnt", L"ntlm", L"negotiate"};
    for (size_t i = 0; i < ARRAYSIZE(own); ++i)
        if (SameName(name, own[i]))
            return true;
    return !name[0];
}

static void ReadLsaPackages(StartupList* list)
{
    static const wchar_t keyPath[] = L"System\\CurrentControlSet\\Control\\Lsa";
    static const wchar_t* const values[] = {L"Authentication Packages", L"Notification Packages",
                                            L"Security Packages"};
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    for (size_t v = 0; v < ARRAYSIZE(values); ++v) {
        wchar_t location[STARTUP_LOCATION_CAPACITY], text[STARTUP_COMMAND_CAPACITY];
        StringCchPrintfW(location, ARRAYSIZE(location), L"HKLM\\%s\\%s", keyPath, values[v]);
        if (!ReadMultiStringValue(key.Get(), values[v], text, ARRAYSIZE(text)))
            continue;
        for (const wchar_t* item = text; *item; item += wcslen(item) + 1) {
            StartupEntry* entry = IsOwnLsaPackage(item) ? NULL : AddStartupEntry(list, STARTUP_LSA_PACKAGE, location, item);
            if (entry)
                SetDllProgram(entry, item, L".dll");
        }
    }
}

void ReadSystemHookEntries(StartupList* list)
{
    ReadWinlogonValues(HKEY_LOCAL_MACHINE, L"HKLM", list);
    ReadWinlogonValues(HKEY_CURRENT_USER, L"HKCU", list);
    ReadWinlogonNotify(list);
    for (int view = 0; view < (HasTwoRegistryViews() ? 2 : 1); ++view) {
        ReadDebuggers(view == 1, list);
        ReadAppInitDlls(view == 1, list);
    }
    ReadBootExecute(list);
    ReadLsaPackages(list);
}
