// Feeds mutated input to every parser of outside data and reports what breaks:
//   fuzz [--seed N] [--inputs N] [--seconds N] [--target NAME]
// Each target's k-th input is made from seed N+k alone, so "--target NAME
// --seed S --inputs 1" makes input S again. Every input lies at the end of
// its page, before a page that cannot be touched, and every output buffer
// likewise: a read or write outside them is a crash. A batch's seeds are
// printed before it runs, and a crash prints its target and seed before the
// process ends. Exit code 0 without failures, 1 with some, 3 after a crash.
#include <windows.h>
#include <shlobj.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>
#include <string>
#include <vector>
#include "app/file_lookup.h"
#include "app/report_baseline.h"
#include "app/report_json.h"
#include "app/window_placement.h"
#include "core/executable_locator.h"
#include "core/host_command.h"
#include "core/plain_text.h"
#include "core/shell_link.h"
#include "core/lookup_url.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/version_info.h"
#include "lookup/file_notes.h"
#include "lookup/module_notes.h"
#include "lookup/property_sheet.h"
#include "lookup/startup_notes.h"
#include "lookup/startup_seen.h"
#include "lookup/startup_tasks.h"
#include "taskmgr/link_strip.h"

namespace {

// ---- Seeded input ----------------------------------------------------------

struct Random {
    uint64_t state;
    uint32_t Next()
    {
        // splitmix64: every seed gives its own stream.
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return (uint32_t)((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
};

// Characters that mean something to one parser or another.
const wchar_t interestingUnits[] = {L' ', L'\t', L'"', L'*', L'/', L'\\', L'%', L'&', L'=', L'?', L':', L'.',
                                    L'\0', 0x7F, 0x80, 0xA0, 0x7FF, 0x800, 0x3000, 0xD800, 0xDBFF, 0xDC00, 0xDFFF,
                                    0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF};
const wchar_t* const interestingWords[] = {L"/lookup", L"/LOOKUP", L"/lookupx", L" ", L"\"", L"C:\\Windows\\",
                                           L"\\\\?\\", L"\\\\.\\pipe\\", L"notepad.exe", L" *32", L"*", L"%20"};

// Text of up to `most` units, made of the above, ASCII and any unit at all.
std::wstring MakeText(Random& random, size_t most, bool withNul)
{
    std::wstring text;
    size_t length = random.Below((uint32_t)most + 1);
    while (text.size() < length) {
        uint32_t kind = random.Below(10);
        if (kind < 3)
            text += (wchar_t)(L' ' + random.Below(95));
        else if (kind < 6)
            text += interestingUnits[random.Below(ARRAYSIZE(interestingUnits))];
        else if (kind < 8)
            text += interestingWords[random.Below(ARRAYSIZE(interestingWords))];
        else if (kind < 9)
            text += (wchar_t)random.Below(random.Chance(50) ? 0x100 : 0x10000);
        else
            text.append(random.Below(300), (wchar_t)(L'a' + random.Below(26)));
    }
    text.resize(length);
    if (!withNul)
        for (wchar_t& c : text)
            if (c == L'\0')
                c = L'x';
    return text;
}

// A few byte-level changes: bits, bytes and words set to edge values, ranges
// cut or repeated, the end cut off.
void Mutate(Random& random, std::vector<BYTE>& bytes)
{
    static const WORD edges[] = {0, 1, 2, 4, 0x20, 0x34, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
    for (uint32_t n = 1 + random.Below(8); n > 0 && !bytes.empty(); --n) {
        size_t at = random.Below((uint32_t)bytes.size());
        switch (random.Below(6)) {
        case 0: bytes[at] ^= (BYTE)(1u << random.Below(8)); break;
        case 1: bytes[at] = (BYTE)edges[random.Below(ARRAYSIZE(edges))]; break;
        case 2:
            if (at + 1 < bytes.size()) {
                WORD word = edges[random.Below(ARRAYSIZE(edges))];
                memcpy(&bytes[at & ~(size_t)1], &word, sizeof(word));
            }
            break;
        case 3:
            bytes.erase(bytes.begin() + at, bytes.begin() + at + random.Below((uint32_t)(bytes.size() - at)));
            break;
        case 4: {
            size_t count = random.Below((uint32_t)(bytes.size() - at) < 64 ? (uint32_t)(bytes.size() - at) : 64);
            std::vector<BYTE> copy(bytes.begin() + at, bytes.begin() + at + count);
            bytes.insert(bytes.begin() + random.Below((uint32_t)bytes.size()), copy.begin(), copy.end());
            break;
        }
        default: bytes.resize(at + random.Below((uint32_t)(bytes.size() - at) + 1)); break;
        }
    }
}

// ---- Guarded buffers ---------------------------------------------------------

const size_t GUARDED_BYTES = 256 * 1024;

// Memory whose last usable byte lies just before a PAGE_NOACCESS page.
struct GuardedRegion {
    BYTE* end;
};

bool ReserveGuarded(GuardedRegion* region)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    BYTE* base = (BYTE*)VirtualAlloc(NULL, GUARDED_BYTES + system.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old = 0;
    if (!base || !VirtualProtect(base + GUARDED_BYTES, system.dwPageSize, PAGE_NOACCESS, &old))
        return false;
    region->end = base + GUARDED_BYTES;
    return true;
}

GuardedRegion input, output;

// The bytes placed so that their end touches the guard page.
void* PlaceInput(const void* data, size_t bytes)
{
    BYTE* at = input.end - bytes;
    if (bytes)
        memcpy(at, data, bytes);
    return at;
}

// Room for `count` items of type T ending at the guard page, filled with 0xCC.
template <typename T> T* OutputRoom(size_t count)
{
    BYTE* at = output.end - count * sizeof(T);
    memset(at, 0xCC, count * sizeof(T));
    return (T*)at;
}

// ---- Failures ------------------------------------------------------------------

const char* currentTarget = "";
uint64_t currentSeed = 0;
unsigned long failures = 0;

void Fail(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    printf("FAIL %s seed %llu: ", currentTarget, (unsigned long long)currentSeed);
    vprintf(format, arguments);
    printf("\n  again: fuzz --target %s --seed %llu --inputs 1\n", currentTarget, (unsigned long long)currentSeed);
    fflush(stdout);
    va_end(arguments);
    ++failures;
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    printf("FAIL %s seed %llu: crash, exception %08lx at %p (address %p)\n  again: fuzz --target %s --seed %llu "
           "--inputs 1\n",
           currentTarget, (unsigned long long)currentSeed, exception->ExceptionRecord->ExceptionCode,
           exception->ExceptionRecord->ExceptionAddress,
           exception->ExceptionRecord->NumberParameters > 1
               ? (void*)exception->ExceptionRecord->ExceptionInformation[1]
               : NULL,
           currentTarget, (unsigned long long)currentSeed);
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool EndsWithin(const wchar_t* text, size_t capacity)
{
    for (size_t i = 0; i < capacity; ++i)
        if (text[i] == L'\0')
            return true;
    return false;
}

// ---- Version resources ---------------------------------------------------------

std::vector<std::vector<BYTE>> versionBlocks;

// Real blocks, from the prefix's own programs and libraries.
bool CollectVersionBlocks()
{
    static const wchar_t* const files[] = {L"kernel32.dll", L"user32.dll", L"shell32.dll", L"comctl32.dll",
                                           L"version.dll", L"notepad.exe", L"explorer.exe", L"taskmgr.exe"};
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    for (const wchar_t* file : files) {
        StringCchPrintfW(path, MAX_PATH, L"%ls\\%ls", folder, file);
        DWORD ignored = 0, size = GetFileVersionInfoSizeW(path, &ignored);
        std::vector<BYTE> block(size);
        if (size >= 6 && GetFileVersionInfoW(path, 0, size, block.data())) {
            WORD length = 0;
            memcpy(&length, block.data(), sizeof(length));
            block.resize(length <= size ? length : size);
            versionBlocks.push_back(block);
        }
    }
    // The product must still find the fields of every real block.
    for (std::vector<BYTE> block : versionBlocks) {
        block.resize(2 * block.size() + 4);
        VersionInfoBlock found = {false, false, block.data(), (DWORD)block.size(), NULL, NULL};
        FindVersionFields(&found);
        wchar_t text[VERSION_STRING_CAPACITY];
        if (!found.fixedInfo || !QueryVersionString(&found, L"FileVersion", text))
            return false;
    }
    return !versionBlocks.empty();
}

void FuzzVersionBlock(Random& random)
{
    std::vector<BYTE> bytes = versionBlocks[random.Below((uint32_t)versionBlocks.size())];
    Mutate(random, bytes);
    // As GetFileVersionInfoW leaves it: the file's block, then as much room
    // again and four bytes for the system's conversions.
    std::vector<BYTE> buffer(bytes);
    buffer.resize(2 * bytes.size() + 4);
    VersionInfoBlock block = {};
    block.data = PlaceInput(buffer.data(), buffer.size());
    block.size = (DWORD)buffer.size();
    FindVersionFields(&block);
    const BYTE* start = (const BYTE*)block.data;
    if (block.fixedInfo && ((const BYTE*)block.fixedInfo < start ||
                            (const BYTE*)(block.fixedInfo + 1) > start + block.size))
        Fail("fixed fields outside the block");
    if (block.translation && ((const BYTE*)block.translation < start ||
                              (const BYTE*)(block.translation + 2) > start + block.size))
        Fail("translation outside the block");
    static const wchar_t* const names[] = {L"FileVersion", L"FileDescription", L"CompanyName", L"ProductName",
                                           L"ProductVersion", L"OriginalFilename", L"InternalName", L""};
    for (const wchar_t* name : names) {
        wchar_t* out = OutputRoom<wchar_t>(VERSION_STRING_CAPACITY);
        if (QueryVersionString(&block, name, out) && !EndsWithin(out, VERSION_STRING_CAPACITY))
            Fail("%ls without its terminator", name);
    }
}

// ---- Handed-over and dropped paths -----------------------------------------------

// A capacity as callers give it, or a small one that most paths overflow.
size_t PickCapacity(Random& random) { return random.Chance(50) ? 32768 : 1 + random.Below(300); }

void FuzzLookupCommand(Random& random)
{
    std::wstring text = random.Chance(80) ? std::wstring(interestingWords[random.Below(3)]) : std::wstring();
    text += MakeText(random, random.Chance(90) ? 100 : 40000, false);
    const wchar_t* commandLine = (const wchar_t*)PlaceInput(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    size_t capacity = PickCapacity(random);
    wchar_t* path = OutputRoom<wchar_t>(capacity);
    if (!IsLookupCommand(commandLine) || !ReadLookupPathArgument(commandLine, path, capacity))
        return;
    if (!EndsWithin(path, capacity) || path[0] == L'\0' || !wcsstr(commandLine, path))
        Fail("path '%ls' is not a piece of the command line", EndsWithin(path, capacity) ? path : L"(unended)");
}

void FuzzCopyData(Random& random)
{
    std::wstring text = MakeText(random, random.Chance(90) ? 300 : 40000, random.Chance(50));
    size_t bytes = random.Below((uint32_t)(text.size() * sizeof(wchar_t)) + 1);
    COPYDATASTRUCT data;
    data.dwData = random.Chance(90) ? LOOKUP_PATH_DATA : random.Next();
    data.cbData = (DWORD)bytes;
    data.lpData = random.Chance(2) ? NULL : PlaceInput(text.data(), bytes);
    size_t length = 0;
    if (!FindHandedOverPath(&data, &length))
        return;
    const wchar_t* path = (const wchar_t*)data.lpData;
    if (length == 0 || (length + 1) * sizeof(wchar_t) > bytes || path[length] != L'\0' || wcslen(path) != length)
        Fail("path of %zu characters in %zu bytes", length, bytes);
}

void FuzzDropFiles(Random& random)
{
    bool wide = random.Chance(80);
    std::vector<BYTE> record(sizeof(DROPFILES));
    DROPFILES header = {sizeof(DROPFILES), {10, 10}, FALSE, wide};
    if (random.Chance(10))
        header.pFiles = random.Chance(50) ? random.Below(64) : random.Next();
    memcpy(record.data(), &header, sizeof(header));
    for (uint32_t n = random.Below(20); n > 0 && record.size() < GUARDED_BYTES / 4; --n) {
        std::wstring path = MakeText(random, random.Chance(95) ? 80 : 33000, false);
        for (wchar_t c : path) {
            if (wide)
                record.insert(record.end(), (BYTE*)&c, (BYTE*)&c + 2);
            else
                record.push_back((BYTE)c);
        }
        record.insert(record.end(), wide ? 2 : 1, 0);
    }
    record.insert(record.end(), wide ? 2 : 1, 0);
    if (random.Chance(30))
        Mutate(random, record);
    const void* at = PlaceInput(record.data(), record.size());
    UINT count = ReadDroppedPath(at, record.size(), 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i <= count && i < 20; ++i) {
        size_t capacity = PickCapacity(random);
        wchar_t* path = OutputRoom<wchar_t>(capacity);
        UINT length = ReadDroppedPath(at, record.size(), i, path, (UINT)capacity);
        if (i == count && length != 0)
            Fail("path %u of %u", i, count);
        else if (length > 0 && length < capacity && (!EndsWithin(path, capacity) || wcslen(path) != length))
            Fail("path %u: %u characters said, %zu copied", i, length, wcslen(path));
    }
}

// ---- Settings --------------------------------------------------------------------

HWND placementWindow;

void FuzzSetting(Random& random)
{
    static const wchar_t* const flags[] = {noSplashSetting, extendedInfoSetting, processesHintSetting,
                                           unverifiedOnlySetting};
    static const DWORD types[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                                  REG_LINK, REG_MULTI_SZ, REG_QWORD, 0x1234};
    std::vector<BYTE> value(random.Chance(80) ? random.Below(12) : random.Below(5000));
    for (BYTE& b : value)
        b = random.Chance(50) ? (BYTE)random.Below(3) : (BYTE)random.Next();
    if (value.size() >= sizeof(WINDOWPLACEMENT) && random.Chance(50)) {
        WINDOWPLACEMENT placement = {sizeof(placement), 0, (UINT)random.Below(12), {0, 0}, {0, 0}, {0, 0, 0, 0}};
        LONG* edges = &placement.rcNormalPosition.left;
        for (int i = 0; i < 4; ++i)
            edges[i] = (LONG)random.Next();
        memcpy(value.data(), &placement, sizeof(placement));
    }
    DWORD type = types[random.Below(ARRAYSIZE(types))];
    // Not guarded: the system's writer looks one character past a string
    // without its terminator; only the product's readers are under test.
    std::vector<BYTE> written(value);
    written.resize(value.size() + 2);
    uint32_t which = random.Below(6);
    const wchar_t* keyPath = which == 5 ? runKeyPath : settingsKeyPath;
    const wchar_t* name = which < 4 ? flags[which] : which == 4 ? placementSetting : autostartValueName;
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return Fail("cannot open the key");
    LONG status = RegSetValueExW(key, name, 0, type, written.data(), (DWORD)value.size());
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return;
    // On only when the value as stored (the system's writer may end a text
    // with a NUL of its own) is four bytes that read as the number 1.
    BYTE storedValue[8192];
    DWORD number = 0, stored = sizeof(storedValue);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, name, NULL, NULL, storedValue, &stored) != ERROR_SUCCESS)
            stored = 0;
        RegCloseKey(key);
    }
    if (stored == 4)
        memcpy(&number, storedValue, 4);
    if (which < 4 && ReadSetting(name) != (stored == 4 && number == 1))
        Fail("%ls of type %lu and %lu bytes read as %d", name, type, stored, (int)ReadSetting(name));
    if (which == 4) {
        DWORD bytes = 0;
        WINDOWPLACEMENT* placement = OutputRoom<WINDOWPLACEMENT>(1);
        if (ReadBinarySetting(name, placement, sizeof(*placement), &bytes) && bytes > sizeof(*placement))
            Fail("placement read as %lu bytes", bytes);
        int show = RestoreWindowPlacement(placementWindow, placementSetting);
        if (show != SW_SHOWNORMAL && show != SW_SHOWMAXIMIZED)
            Fail("placement shows as %d", show);
    }
    if (which == 5 && !AutostartEntry(false))
        Fail("autostart value of %zu bytes not seen", value.size());
}

bool PrepareSettings()
{
    placementWindow = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
    return EnsureSettingsKey() && placementWindow != NULL;
}

// ---- Task Manager rows --------------------------------------------------------------

// The row's accessible name as the strip takes it: copied into MAX_PATH
// characters (taken cut only when the asterisk is inside), then cut there.
void FuzzTaskManagerRow(Random& random)
{
    std::wstring text = MakeText(random, random.Chance(80) ? 40 : 600, false);
    const wchar_t* given = (const wchar_t*)PlaceInput(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    wchar_t* name = OutputRoom<wchar_t>(MAX_PATH);
    HRESULT copied = StringCchCopyW(name, MAX_PATH, given);
    bool cut = wcschr(name, L'*') != NULL;
    bool found = SUCCEEDED(copied) || cut;
    CutAtAsterisk(name);
    size_t length = EndsWithin(name, MAX_PATH) ? wcslen(name) : MAX_PATH;
    if (length == MAX_PATH || wcschr(name, L'*') || (cut && length && iswspace(name[length - 1])))
        Fail("row name '%ls' cut wrongly", length < MAX_PATH ? name : L"(unended)");
    if (found && random.Chance(2)) {
        wchar_t* exePath = OutputRoom<wchar_t>(MAX_PATH);
        if (LocateExecutable(name, exePath) && !EndsWithin(exePath, MAX_PATH))
            Fail("executable path without its terminator");
    }
}

// ---- Host processes' command lines ---------------------------------------------------

void FuzzHostCommand(Random& random)
{
    static const wchar_t* const hosts[] = {L"rundll32.exe", L"regsvr32.exe", L"dllhost.exe", L"cmd.exe",
                                           L"wscript.exe", L"mshta.exe", L"powershell.exe", L"msiexec.exe",
                                           L"javaw.exe", L"python.exe", L"node.exe", L"svchost.exe"};
    const wchar_t* image = hosts[random.Below(ARRAYSIZE(hosts))];
    std::wstring text = std::wstring(image) + L" " + MakeText(random, random.Chance(8) ? 33000 : 300, false);
    const wchar_t* line = (const wchar_t*)PlaceInput(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    // The split arguments are the parser's scratch; what it gives back ends at the guard page.
    static CommandArgs args;
    HostCommand* command = OutputRoom<HostCommand>(1);
    ZeroMemory(command, sizeof(*command));
    ParseHostCommand(image, line, &args, command);
    if (command->fileCount > HOST_COMMAND_FILES || !EndsWithin(command->text, HOST_TEXT_CAPACITY))
        Fail("host command of %ls read out of bounds", image);
    for (size_t i = 0; i < command->fileCount && i < HOST_COMMAND_FILES; ++i) {
        if (!EndsWithin(command->files[i], MAX_PATH))
            Fail("payload file without its terminator");
    }
}

// ---- rundll32's quoted names and cmd's operators ---------------------------------------

// Text built from what these two rules turn on, with a little of anything.
std::wstring MakeHostPieces(Random& random, const wchar_t* const* pieces, size_t count)
{
    std::wstring text;
    for (uint32_t n = random.Below(16); n > 0; --n)
        text += random.Chance(85) ? std::wstring(pieces[random.Below((uint32_t)count)]) : MakeText(random, 8, false);
    return text;
}

std::wstring TrimBlanks(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t"), last = text.find_last_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

// The DLL is the second argument as written, up to a comma or blank outside
// quotes, quotes taken out: checked against that rule written again.
void FuzzRundllSplit(Random& random)
{
    static const wchar_t* const pieces[] = {L"\"", L",", L" ", L"\t", L"C:\\x\\", L"a", L"b.dll", L"\\\"", L"-", L"/"};
    std::wstring text = L"rundll32.exe " + MakeHostPieces(random, pieces, ARRAYSIZE(pieces));
    const wchar_t* line = (const wchar_t*)PlaceInput(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    static CommandArgs args;
    HostCommand* command = OutputRoom<HostCommand>(1);
    ParseHostCommand(L"rundll32.exe", line, &args, command);
    std::wstring expected;
    if (args.count >= 2 && args.arg[1][0] != L'/' && args.arg[1][0] != L'-') {
        bool quoted = false;
        for (const wchar_t* c = line + args.start[1]; *c && (quoted || (*c != L',' && *c != L' ' && *c != L'\t')); ++c)
            if (*c == L'"')
                quoted = !quoted;
            else
                expected += *c;
        expected = expected.size() < MAX_PATH ? TrimBlanks(expected) : std::wstring();
    }
    if (command->fileCount > 1 || (command->fileCount == 1 && !EndsWithin(command->files[0], MAX_PATH)))
        Fail("rundll32 gave %zu names", command->fileCount);
    else if ((command->fileCount ? std::wstring(command->files[0]) : std::wstring()) != expected)
        Fail("rundll32 line '%ls' named '%ls', not '%ls'", line, command->fileCount ? command->files[0] : L"",
             expected.c_str());
}

// A cmd line whose text after /c or /k holds an operator, an escape or an
// inner quote is unknown and its text is shown whole; one with /c or /k that
// is known runs exactly one named file.
void FuzzCmdRules(Random& random)
{
    static const wchar_t* const pieces[] = {L"/c ", L"/K", L"/d ", L"\"", L"&", L"|", L"^", L"<", L">", L"(", L")",
                                            L" ", L"a.bat", L"C:\\x\\", L"call ", L"dir", L".", L"\"\""};
    std::wstring text = L"cmd.exe " + MakeHostPieces(random, pieces, ARRAYSIZE(pieces));
    const wchar_t* line = (const wchar_t*)PlaceInput(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    static CommandArgs args;
    HostCommand* command = OutputRoom<HostCommand>(1);
    ParseHostCommand(L"cmd.exe", line, &args, command);
    size_t start = command->shellTextStart;
    bool runs = false;
    for (size_t i = 1; i < args.count && !runs; ++i) {
        wchar_t letter = (wchar_t)(line[args.start[i] + 1] | 0x20);  // C and K folded
        runs = line[args.start[i]] == L'/' && (letter == L'c' || letter == L'k');
    }
    if (start >= text.size() || (start && (line[start] == L' ' || line[start] == L'\t' || !command->unknown)))
        Fail("cmd text after /c starts at %zu of '%ls'", start, line);
    else if (runs && !command->unknown && command->fileCount != 1)
        Fail("cmd line '%ls' known with %zu files", line, command->fileCount);
    if (start == 0 || start >= text.size())
        return;
    std::wstring shown = TrimBlanks(text.substr(start));
    bool operators = shown.find_first_of(L"&|^<>()") != std::wstring::npos;
    for (size_t n = 1; n + 1 < shown.size() && !operators; ++n)
        operators = shown[n] == L'"';
    if (!operators || !HasCmdOperators(line + start))
        Fail("cmd text '%ls' shown whole without an operator", shown.c_str());
}

// ---- Addresses -----------------------------------------------------------------------

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
}

// ASCII only, every % before two hex digits, and the bytes it stands for
// well-formed UTF-8 (no overlong form, surrogate or code point past U+10FFFF).
const char* CheckAddress(const wchar_t* text, std::string* decoded)
{
    for (const wchar_t* at = text; *at; ++at) {
        if (*at <= L' ' || *at >= 0x7F)
            return "a character that is not printable ASCII";
        if (*at != L'%') {
            *decoded += (char)*at;
            continue;
        }
        if (HexValue(at[1]) < 0 || HexValue(at[2]) < 0)
            return "a % without two hex digits";
        *decoded += (char)(HexValue(at[1]) * 16 + HexValue(at[2]));
        at += 2;
    }
    const unsigned char* bytes = (const unsigned char*)decoded->c_str();
    for (size_t i = 0; i < decoded->size();) {
        unsigned c = bytes[i], count = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2
                                                   : c >= 0xF0 && c < 0xF5 ? 3 : 9;
        if (count == 9 || i + count >= decoded->size() + (count ? 0 : 1))
            return "bytes that are not UTF-8";
        unsigned code = count ? c & (0x3F >> count) : c;
        for (unsigned k = 1; k <= count; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return "bytes that are not UTF-8";
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if ((count == 2 && (code < 0x800 || surrogate)) || (count == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return "bytes that are not UTF-8";
        i += count + 1;
    }
    return NULL;
}

void FuzzAddress(Random& random)
{
    LookupUrl* url = OutputRoom<LookupUrl>(1);
    std::wstring name = MakeText(random, random.Chance(80) ? 60 : 1200, false);
    StartLookupUrl(url, (const wchar_t*)PlaceInput(name.c_str(), (name.size() + 1) * sizeof(wchar_t)));
    std::string whole;
    const char* fault = EndsWithin(url->text, LOOKUP_URL_CAPACITY) ? CheckAddress(url->text, &whole) : "no end";
    // The name alone must come back as its own UTF-8, lone surrogates as U+FFFD.
    std::string expected(4 * name.size() + 1, '\0');
    int written = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), (int)name.size(), &expected[0],
                                      (int)expected.size(), NULL, NULL);
    expected.resize(written > 0 ? written : 0);
    size_t base = wcslen(lookupBaseAddress);
    if (!fault && whole.size() > base && whole.compare(base, std::string::npos, expected) != 0)
        fault = "the name does not come back from its escapes";
    for (uint32_t n = random.Below(5); n > 0 && !fault; --n) {
        std::wstring key = MakeText(random, 10, false), value = MakeText(random, random.Chance(80) ? 60 : 600, false);
        if (random.Chance(50))
            AppendQueryParameter(url, key.c_str(), value.c_str());
        else
            AppendEscaped(url, value.c_str());
    }
    AppendVersionTag(url);
    whole.clear();
    if (!fault)
        fault = EndsWithin(url->text, LOOKUP_URL_CAPACITY) ? CheckAddress(url->text, &whole) : "no end";
    if (!fault && (whole.size() < 9 || whole.compare(whole.size() - 9, 9, "qaver=2.0") != 0))
        fault = "no version tag at the end";
    if (fault)
        Fail("address with %s: %ls", fault, EndsWithin(url->text, LOOKUP_URL_CAPACITY) ? url->text : L"");
}

// ---- Shortcuts, shown text and notes ------------------------------------------------

void AppendBytes(std::vector<BYTE>& bytes, const void* data, size_t size)
{
    bytes.insert(bytes.end(), (const BYTE*)data, (const BYTE*)data + size);
}

void AppendDword(std::vector<BYTE>& bytes, DWORD value)
{
    AppendBytes(bytes, &value, sizeof(value));
}

// A shortcut as the shell writes one: header, ID list, LinkInfo with both
// local paths, and a Unicode relative path.
std::vector<BYTE> MakeShortcut()
{
    static const BYTE clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::vector<BYTE> link;
    AppendDword(link, 0x4C);
    AppendBytes(link, clsid, sizeof(clsid));
    AppendDword(link, 0x1 | 0x2 | 0x8 | 0x80);
    link.resize(0x4C, 0);
    const BYTE idList[] = {6, 0, 4, 0, 0x1F, 0x50, 0, 0};
    AppendBytes(link, idList, sizeof(idList));
    const char ansi[] = "C:\\Tools\\tool.exe";
    const wchar_t wide[] = L"C:\\Tools\\tool.exe";
    DWORD header = 0x24, ansiAt = header, suffixAt = ansiAt + sizeof(ansi), wideAt = suffixAt + 1,
          wideSuffixAt = wideAt + sizeof(wide), size = wideSuffixAt + 2;
    DWORD fields[] = {size, header, 1, 0, ansiAt, 0, suffixAt, wideAt, wideSuffixAt};
    AppendBytes(link, fields, sizeof(fields));
    AppendBytes(link, ansi, sizeof(ansi));
    link.push_back(0);
    AppendBytes(link, wide, sizeof(wide));
    link.push_back(0);
    link.push_back(0);
    const wchar_t relative[] = L"..\\Tools\\tool.exe";
    WORD count = (WORD)(ARRAYSIZE(relative) - 1);
    AppendBytes(link, &count, sizeof(count));
    AppendBytes(link, relative, count * sizeof(wchar_t));
    return link;
}

void FuzzShellLink(Random& random)
{
    static const std::vector<BYTE> seedLink = MakeShortcut();
    std::vector<BYTE> bytes = seedLink;
    Mutate(random, bytes);
    ShellLinkPaths* paths = OutputRoom<ShellLinkPaths>(1);
    ParseShellLink((const BYTE*)PlaceInput(bytes.data(), bytes.size()), bytes.size(), paths);
    if (!EndsWithin(paths->localPath, MAX_PATH) || !EndsWithin(paths->relativePath, MAX_PATH))
        Fail("shortcut paths without an end");
}

// Text with the characters that break lines or turn them around.
std::wstring MakeShownText(Random& random, size_t most)
{
    static const wchar_t breakers[] = {L'\r', L'\n', 0x85, 0x9F, 0x2028, 0x2029, 0x202E, 0x2066, 0x2069, 0x1B};
    std::wstring text = MakeText(random, most, false);
    for (uint32_t n = random.Below(6); n > 0 && !text.empty(); --n)
        text[random.Below((uint32_t)text.size())] = breakers[random.Below(ARRAYSIZE(breakers))];
    return text;
}

const wchar_t* FindShownControl(const wchar_t* text)
{
    for (; *text; ++text)
        if (IsLineOrOrderControl(*text))
            return text;
    return NULL;
}

void FuzzPlainText(Random& random)
{
    std::wstring text = MakeShownText(random, random.Chance(80) ? 80 : 2000);
    size_t length = text.size();
    wchar_t* placed = (wchar_t*)PlaceInput(text.c_str(), (length + 1) * sizeof(wchar_t));
    BlankControlCharacters(placed, length + 1);
    if (wcslen(placed) != length || FindShownControl(placed))
        Fail("a control character left in shown text");
}

// Facts of any kind, then the notes they make and the sheet that shows them:
// no note and no line of the sheet holds a break or an override of its own.
void FuzzNoteRules(Random& random)
{
    static NoteFolders folders;
    static FileNotes notes;
    static ProcessFacts process;
    std::wstring path = (random.Chance(50) ? L"C:\\Users\\ann\\" : L"") + MakeShownText(random, 300);
    std::wstring company = MakeShownText(random, 120), signer = MakeShownText(random, 120),
                 folder = MakeShownText(random, 80), command = MakeShownText(random, 4000);
    wcscpy(folders.windows, L"C:\\Windows");
    wcscpy(folders.writable[0], L"C:\\Users\\ann");
    NoteFacts facts = {};
    facts.path = path.c_str();
    facts.company = company.c_str();
    facts.signer = signer.c_str();
    facts.folderWithTokens = random.Chance(80) ? folder.c_str() : NULL;
    facts.signerKnown = random.Chance(80);
    facts.signerVerdict = (SignerVerdict)random.Below(6);
    facts.attributes = random.Next();
    facts.driveType = random.Below(7);
    facts.processStart = random.Below(3);
    facts.lastWriteTime = random.Below(3);
    facts.logonEntries = (int)random.Below(3);
    facts.folderAccess = (FolderAccess)random.Below(3);
    facts.folders = random.Chance(90) ? &folders : NULL;
    FileNotes* listed = OutputRoom<FileNotes>(1);
    ListFileNotes(&facts, listed);
    if (listed->count < 0 || listed->count > FILE_NOTE_RULES)
        return Fail("%d notes", listed->count);
    for (int i = 0; i < listed->count; ++i)
        if (!EndsWithin(listed->text[i], NOTE_TEXT_CAPACITY) || FindShownControl(listed->text[i]))
            return Fail("a note without an end or with a control character");
    memcpy(&notes, listed, sizeof(notes));
    wcscpy(process.imageName, L"a.exe");
    process.commandLine = &command[0];
    PropertySheetInput sheetInput = {&process, true, true, facts.folderWithTokens};
    sheetInput.notes = &notes;
    wchar_t* text = OutputRoom<wchar_t>(PROPERTY_SHEET_CAPACITY);
    FormatPropertySheet(&sheetInput, random.Chance(50), text, PROPERTY_SHEET_CAPACITY);
    if (!EndsWithin(text, PROPERTY_SHEET_CAPACITY))
        return Fail("a sheet without an end");
    for (const wchar_t* c = text; *c; ++c)
        if (IsLineOrOrderControl(*c) && !(c[0] == L'\r' && c[1] == L'\n') && !(c[0] == L'\n' && c > text && c[-1] == L'\r'))
            return Fail("a sheet line broken by U+%04X", (unsigned)*c);
}

// A task definition made of its own elements, shuffled and cut, placed
// with no terminator: read no further than its length.
void FuzzTaskXml(Random& random)
{
    static const wchar_t* const pieces[] = {
        L"<Task>", L"</Task>", L"<Triggers>", L"</Triggers>", L"<LogonTrigger/>", L"<BootTrigger>", L"</BootTrigger>",
        L"<CalendarTrigger ", L"<Settings>", L"</Settings>", L"<Enabled>", L"false", L"</Enabled>", L"<Actions>",
        L"</Actions>", L"<Exec>", L"</Exec>", L"<Command>", L"</Command>", L"<Arguments>", L"</Arguments>",
        L"C:\\Program Files\\a.exe", L"&amp;", L"&#", L"&#x", L"65;", L"FFFFFFFF;", L"&", L";", L">", L"<", L"/"};
    std::wstring text = MakeHostPieces(random, pieces, ARRAYSIZE(pieces));
    if (random.Chance(10))
        text += std::wstring(random.Below(3000), L'a');
    const wchar_t* placed = (const wchar_t*)PlaceInput(text.data(), text.size() * sizeof(wchar_t));
    TaskDefinition* task = OutputRoom<TaskDefinition>(1);
    ParseTaskXml(placed, text.size(), task);
    if (task->actionCount < 0 || task->actionCount > TASK_ACTION_CAPACITY)
        return Fail("%d actions", task->actionCount);
    for (int i = 0; i < task->actionCount; ++i)
        if (!EndsWithin(task->commands[i], STARTUP_COMMAND_CAPACITY))
            return Fail("a task's command without an end");
}

// An XP .job file's bytes mutated: every size and offset in it may lie.
void FuzzJobFile(Random& random)
{
    static std::vector<BYTE> seedJob;
    if (seedJob.empty()) {
        seedJob.assign(0x46, 0);
        seedJob[0x14] = 0x46;
        const wchar_t* strings[] = {L"C:\\a b\\tool.exe", L"/x", L"", L"", L""};
        for (const wchar_t* text : strings) {
            size_t count = wcslen(text) + 1;
            seedJob.push_back((BYTE)count);
            seedJob.push_back(0);
            const BYTE* bytes = (const BYTE*)text;
            seedJob.insert(seedJob.end(), bytes, bytes + count * sizeof(wchar_t));
        }
        seedJob.insert(seedJob.end(), 4, 0);
        seedJob[0x16] = (BYTE)seedJob.size();
        seedJob.push_back(1);
        seedJob.push_back(0);
        seedJob.resize(seedJob.size() + 0x30, 0);
        seedJob[seedJob.size() - 0x10] = 7;
    }
    std::vector<BYTE> bytes = seedJob;
    Mutate(random, bytes);
    TaskDefinition* task = OutputRoom<TaskDefinition>(1);
    if (ParseJobFile((const BYTE*)PlaceInput(bytes.data(), bytes.size()), bytes.size(), task) &&
        (task->actionCount < 0 || task->actionCount > 1 || !EndsWithin(task->commands[0], STARTUP_COMMAND_CAPACITY)))
        Fail("a job's command without an end");
}

// An entry's own notes and those of its file at rest, and the seen store's merge.
void FuzzStartupNotes(Random& random)
{
    static StartupEntry entry;
    static NoteFolders folders;
    std::wstring program = MakeShownText(random, MAX_PATH - 1), path = MakeShownText(random, 300);
    wcscpy(entry.program, program.c_str());
    entry.programFound = random.Chance(50);
    wcscpy(folders.windows, L"C:\\Windows");
    NoteFacts facts = {};
    facts.path = path.c_str();
    facts.attributes = random.Next();
    facts.driveType = random.Below(7);
    facts.creationTime = random.Below(3);
    facts.now = random.Below(3);
    facts.folders = random.Chance(90) ? &folders : NULL;
    StartupNotes* notes = OutputRoom<StartupNotes>(1);
    ListStartupNotes(&entry, random.Chance(80) ? &facts : NULL, notes);
    if (notes->count < 0 || notes->count > STARTUP_NOTE_RULES)
        return Fail("%d startup notes", notes->count);
    for (int i = 0; i < notes->count; ++i)
        if (!EndsWithin(notes->text[i], NOTE_TEXT_CAPACITY) || FindShownControl(notes->text[i]) == notes->text[i])
            return Fail("a startup note without an end or starting with a control character");
    static SeenEntry seen[STARTUP_SEEN_CAPACITY], merged[STARTUP_SEEN_CAPACITY];
    static ULONGLONG hashes[64];
    static bool isNew[64];
    int seenCount = (int)random.Below(STARTUP_SEEN_CAPACITY + 1), count = (int)random.Below(64);
    for (int i = 0; i < seenCount; ++i)
        seen[i] = {random.Below(200), random.Next()};
    for (int i = 0; i < count; ++i)
        hashes[i] = random.Below(200);
    int mergedCount = MergeSeenEntries(seen, seenCount, random.Chance(10), hashes, count, 1, isNew, merged);
    if (mergedCount < 0 || mergedCount > STARTUP_SEEN_CAPACITY)
        return Fail("%d seen entries kept", mergedCount);
}

// Module facts of any kind, with a KnownDLLs list of any names: every note
// ends within its room and holds no control character.
void FuzzModuleNoteRules(Random& random)
{
    static NoteFolders folders;
    static KnownLibraryNames known;
    std::wstring path = (random.Chance(50) ? L"C:\\Users\\ann\\" : L"") + MakeShownText(random, 300);
    std::wstring signer = MakeShownText(random, 600), folder = MakeShownText(random, 600);
    wcscpy(folders.windows, L"C:\\Windows");
    wcscpy(folders.writable[0], L"C:\\Users\\ann");
    known.count = (int)random.Below(KNOWN_LIBRARY_LIMIT + 1);
    for (int i = 0; i < known.count; ++i) {
        std::wstring name = MakeShownText(random, KNOWN_LIBRARY_NAME_CAPACITY - 1);
        wcsncpy(known.names[i], name.c_str(), KNOWN_LIBRARY_NAME_CAPACITY - 1);
        known.names[i][KNOWN_LIBRARY_NAME_CAPACITY - 1] = L'\0';
    }
    ModuleNoteFacts facts = {};
    facts.file.path = path.c_str();
    facts.file.folderWithTokens = random.Chance(80) ? folder.c_str() : NULL;
    facts.file.signerKnown = random.Chance(80);
    facts.file.signerVerdict = (SignerVerdict)random.Below(6);
    facts.file.processStart = random.Below(3);
    facts.file.lastWriteTime = random.Below(3);
    facts.file.folderAccess = (FolderAccess)random.Below(3);
    facts.file.folders = random.Chance(90) ? &folders : NULL;
    facts.inLoaderList = random.Chance(50);
    facts.programSigner = random.Chance(70) ? signer.c_str() : NULL;
    facts.knownLibraries = random.Chance(80) ? &known : NULL;
    ModuleNotes* listed = OutputRoom<ModuleNotes>(1);
    ListModuleNotes(&facts, listed);
    if (listed->count < 0 || listed->count > MODULE_NOTE_RULES)
        return Fail("%d module notes", listed->count);
    for (int i = 0; i < listed->count; ++i)
        if (!EndsWithin(listed->text[i], NOTE_TEXT_CAPACITY) || FindShownControl(listed->text[i]))
            return Fail("a module note without an end or with a control character");
}

// ---- A report read back as a baseline --------------------------------------------------

// A report holding one process of path `path` and md5 null, written by the
// report's own string writer.
std::string WriteOneProcessReport(const std::wstring& path)
{
    static ReportSink sink;
    StartReportSink(&sink, NULL);
    SinkText(&sink, "{\"tool\": \"Tavrowen 2\", \"processes\": [{\"path\": ");
    SinkJsonString(&sink, path.c_str());
    SinkText(&sink, ", \"md5\": null, \"modules\": [{\"path\": \"x\"}]}], \"startup\": []}");
    return std::string(sink.buffer, sink.used);
}

// Text our writer escaped reads back to the same key; mutated bytes never
// read outside the input, and what is taken is sorted and bounded.
void FuzzBaseline(Random& random)
{
    std::wstring path = MakeText(random, 200, false);
    std::string text = WriteOneProcessReport(path);
    Baseline baseline;
    const char* placed = (const char*)PlaceInput(text.data(), text.size());
    if (!ReadBaselineText(placed, text.size(), &baseline) || baseline.count != 1 ||
        !IsInBaseline(&baseline, ProcessBaselineKey(path.c_str(), NULL)))
        return FreeBaseline(&baseline), Fail("a written report did not read back");
    FreeBaseline(&baseline);
    std::vector<BYTE> bytes(text.begin(), text.end());
    Mutate(random, bytes);
    placed = (const char*)PlaceInput(bytes.data(), bytes.size());
    if (ReadBaselineText(placed, bytes.size(), &baseline)) {
        for (int i = 1; i < baseline.count; ++i)
            if (baseline.keys[i - 1] > baseline.keys[i])
                return FreeBaseline(&baseline), Fail("keys out of order");
        if (baseline.count > 1)
            return FreeBaseline(&baseline), Fail("%d items from one", baseline.count);
    }
    FreeBaseline(&baseline);
}

// ---- The table -------------------------------------------------------------------------

struct Target {
    const char* name;
    bool (*prepare)();  // NULL when none; false: the target cannot run here
    void (*fuzzOne)(Random& random);
};

// One line per parser of outside data.
const Target targets[] = {
    {"version_block", CollectVersionBlocks, FuzzVersionBlock},
    {"lookup_command", NULL, FuzzLookupCommand},
    {"copydata", NULL, FuzzCopyData},
    {"dropfiles", NULL, FuzzDropFiles},
    {"setting", PrepareSettings, FuzzSetting},
    {"taskmgr_row", NULL, FuzzTaskManagerRow},
    {"address", NULL, FuzzAddress},
    {"host_command", NULL, FuzzHostCommand},
    {"rundll32_split", NULL, FuzzRundllSplit},
    {"cmd_rules", NULL, FuzzCmdRules},
    {"shell_link", NULL, FuzzShellLink},
    {"plain_text", NULL, FuzzPlainText},
    {"note_rules", NULL, FuzzNoteRules},
    {"task_xml", NULL, FuzzTaskXml},
    {"job_file", NULL, FuzzJobFile},
    {"startup_notes", NULL, FuzzStartupNotes},
    {"module_note_rules", NULL, FuzzModuleNoteRules},
    {"report_baseline", NULL, FuzzBaseline},
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    uint64_t seed = 1;
    unsigned long long inputs = 20000, seconds = 0;
    const wchar_t* only = NULL;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (wcscmp(argv[i], L"--seed") == 0)
            seed = _wcstoui64(argv[i + 1], NULL, 10);
        else if (wcscmp(argv[i], L"--inputs") == 0)
            inputs = _wcstoui64(argv[i + 1], NULL, 10);
        else if (wcscmp(argv[i], L"--seconds") == 0)
            seconds = _wcstoui64(argv[i + 1], NULL, 10);
        else if (wcscmp(argv[i], L"--target") == 0)
            only = argv[i + 1];
    }
    SetUnhandledExceptionFilter(ReportCrash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (!ReserveGuarded(&input) || !ReserveGuarded(&output)) {
        printf("cannot reserve guarded memory\n");
        return 2;
    }
    std::vector<const Target*> running;
    for (const Target& target : targets) {
        if (only && only != std::wstring(target.name, target.name + strlen(target.name)))
            continue;
        currentTarget = target.name;
        if (target.prepare && !target.prepare())
            Fail("cannot be prepared");
        else
            running.push_back(&target);
    }
    if (running.empty())
        return 2;
    printf("fuzz: seed %llu, %llu inputs%s over %zu targets\n", (unsigned long long)seed, inputs,
           seconds ? " at most" : "", running.size());
    const unsigned long long batch = 1000;
    DWORD started = GetTickCount();
    unsigned long long done = 0;
    std::vector<unsigned long long> perTarget(running.size());
    for (size_t round = 0; done < inputs && (!seconds || GetTickCount() - started < seconds * 1000); ++round) {
        size_t t = round % running.size();
        unsigned long long count = inputs - done < batch ? inputs - done : batch;
        uint64_t first = seed + perTarget[t];
        currentTarget = running[t]->name;
        printf("%s: seeds %llu..%llu\n", currentTarget, (unsigned long long)first,
               (unsigned long long)(first + count - 1));
        fflush(stdout);
        for (unsigned long long k = 0; k < count; ++k) {
            currentSeed = first + k;
            Random random = {currentSeed * 0x2545F4914F6CDD1Dull};
            running[t]->fuzzOne(random);
        }
        perTarget[t] += count;
        done += count;
    }
    printf("fuzz: %llu inputs tried in %llu s, %lu failures\n", done,
           (unsigned long long)((GetTickCount() - started) / 1000), failures);
    for (size_t t = 0; t < running.size(); ++t)
        printf("  %-15s %llu inputs\n", running[t]->name, perTarget[t]);
    return failures ? 1 : 0;
}
