#include "lookup/file_notes.h"
#include "core/program_text.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/file_name_case.h"
#include "core/final_path.h"
#include "core/plain_text.h"
#include "resource.h"

// Programs of Windows whose names are borrowed most, as they are spelt.
static const wchar_t* const windowsPrograms[] = {
    L"svchost.exe",  L"lsass.exe",     L"csrss.exe",    L"smss.exe",       L"services.exe",  L"winlogon.exe",
    L"wininit.exe",  L"explorer.exe",  L"spoolsv.exe",  L"taskhostw.exe",  L"taskhost.exe",  L"dllhost.exe",
    L"rundll32.exe", L"conhost.exe",   L"lsm.exe",      L"dwm.exe",        L"ctfmon.exe",    L"sihost.exe",
    L"userinit.exe", L"taskmgr.exe",   L"regsvr32.exe", L"cmd.exe",        L"msiexec.exe",   L"wuauclt.exe",
    L"audiodg.exe",  L"fontdrvhost.exe", L"searchindexer.exe", L"runtimebroker.exe", L"mshta.exe",
    L"notepad.exe",  L"regedit.exe",
};

static const unsigned long long FILETIME_DAY = 24ull * 60 * 60 * 10000000;

static bool Empty(const wchar_t* text)
{
    return !text || !text[0];
}

static bool SameText(const wchar_t* a, const wchar_t* b)
{
    return EqualFoldingAsciiLetters(a, b, wcslen(a) + 1);
}

// `path` lies in `folder` itself (depth 0) or anywhere below it.
static bool IsInFolder(const wchar_t* path, const wchar_t* folder, bool anyDepth)
{
    size_t length = wcslen(folder);
    if (length == 0 || wcslen(path) <= length || path[length] != L'\\' || !EqualAsFileNames(path, folder, length))
        return false;
    return anyDepth || !wcschr(path + length + 1, L'\\');
}

static bool IsInWindowsFolder(const NoteFacts* facts, bool anyDepth)
{
    const wchar_t* windows = facts->folders->windows;
    if (IsInFolder(facts->path, windows, anyDepth))
        return true;
    if (anyDepth)
        return false;
    static const wchar_t* const systemFolders[] = {L"\\System32", L"\\SysWOW64"};
    for (size_t i = 0; i < ARRAYSIZE(systemFolders); ++i) {
        wchar_t folder[MAX_PATH];
        if (SUCCEEDED(StringCchPrintfW(folder, ARRAYSIZE(folder), L"%s%s", windows, systemFolders[i])) &&
            windows[0] && IsInFolder(facts->path, folder, false))
            return true;
    }
    return false;
}

// ---- Who it claims to be ------------------------------------------------------

// The first word of `text` without punctuation, a leading "The" passed over.
static void FirstWord(const wchar_t* text, wchar_t* word, size_t capacity)
{
    for (;;) {
        size_t length = 0;
        while (*text == L' ' || *text == L'\t')
            ++text;
        for (; *text && *text != L' ' && *text != L'\t'; ++text) {
            WORD type = 0;
            if (GetStringTypeW(CT_CTYPE1, text, 1, &type) && (type & C1_PUNCT))
                continue;
            if (length + 1 < capacity)
                word[length++] = FoldAsciiLetter(*text);
        }
        word[length] = L'\0';
        if (!(length == 0 && *text) && wcscmp(word, L"the") != 0)
            return;
        if (!*text)
            return;
    }
}

bool SameFirstWord(const wchar_t* company, const wchar_t* signer)
{
    wchar_t companyWord[64], signerWord[64];
    FirstWord(company, companyWord, ARRAYSIZE(companyWord));
    FirstWord(signer, signerWord, ARRAYSIZE(signerWord));
    return wcscmp(companyWord, signerWord) == 0;
}

// A claim counts only when the company has a word to compare.
static bool ClaimsCompany(const NoteFacts* facts)
{
    wchar_t word[8];
    if (Empty(facts->company))
        return false;
    FirstWord(facts->company, word, ARRAYSIZE(word));
    return word[0] != L'\0';
}

bool NoteUnsignedClaim(const NoteFacts* facts, NoteWords* note)
{
    if (!ClaimsCompany(facts) || !facts->signerKnown ||
        (facts->signerVerdict != SIGNER_NOT_SIGNED && facts->signerVerdict != SIGNER_NOT_VALID))
        return false;
    // A long company or signer cuts the note, never hides it: padding a name must not.
    return SetNoteWords(note, IDS_NOTE_UNSIGNED_CLAIM, facts->company);
}

bool NoteOtherSigner(const NoteFacts* facts, NoteWords* note)
{
    if (!ClaimsCompany(facts) || !facts->signerKnown || Empty(facts->signer) ||
        (facts->signerVerdict != SIGNER_VERIFIED && facts->signerVerdict != SIGNER_UNTRUSTED) ||
        SameFirstWord(facts->company, facts->signer))
        return false;
    return SetNoteWords(note, IDS_NOTE_OTHER_SIGNER, facts->company, facts->signer);
}

// ---- What its name is trying to look like -------------------------------------

bool NoteWindowsNameElsewhere(const NoteFacts* facts, NoteWords* note)
{
    if (!facts->folders || !facts->folders->windows[0] || IsInWindowsFolder(facts, false))
        return false;
    const wchar_t* name = FileNameInPath(facts->path);
    for (size_t i = 0; i < ARRAYSIZE(windowsPrograms); ++i) {
        if (SameText(name, windowsPrograms[i]))
            return SetNoteWords(note, IDS_NOTE_WINDOWS_NAME, windowsPrograms[i]);
    }
    return false;
}

// A name folded for comparison: letters to lower case, and each look-alike
// to one letter (0 to o, 1 and i to l, 5 to s, rn to m). False when too long.
static bool FoldLookAlikes(const wchar_t* name, wchar_t* folded, size_t capacity)
{
    size_t length = 0;
    for (const wchar_t* c = name; *c; ++c) {
        wchar_t letter = FoldAsciiLetter(*c);
        if (letter == L'0')
            letter = L'o';
        else if (letter == L'1' || letter == L'i')
            letter = L'l';
        else if (letter == L'5')
            letter = L's';
        else if (letter == L'r' && FoldAsciiLetter(c[1]) == L'n') {
            letter = L'm';
            ++c;
        }
        if (length + 1 >= capacity)
            return false;
        folded[length++] = letter;
    }
    folded[length] = L'\0';
    return true;
}

// At most one letter added, dropped, changed, or two neighbours swapped.
static bool WithinOneEdit(const wchar_t* a, const wchar_t* b)
{
    size_t lengthA = wcslen(a), lengthB = wcslen(b);
    if (lengthA < lengthB)
        return WithinOneEdit(b, a);
    if (lengthA - lengthB > 1)
        return false;
    size_t i = 0;
    while (i < lengthB && a[i] == b[i])
        ++i;
    if (i == lengthB)
        return true;
    if (lengthA > lengthB)
        return wcscmp(a + i + 1, b + i) == 0;
    if (wcscmp(a + i + 1, b + i + 1) == 0)
        return true;
    return i + 1 < lengthA && a[i] == b[i + 1] && a[i + 1] == b[i] && wcscmp(a + i + 2, b + i + 2) == 0;
}

const wchar_t* FindLookAlikeProgram(const wchar_t* name)
{
    wchar_t folded[MAX_PATH], listed[MAX_PATH];
    for (size_t i = 0; i < ARRAYSIZE(windowsPrograms); ++i) {
        if (SameText(name, windowsPrograms[i]))
            return NULL;
    }
    if (!FoldLookAlikes(name, folded, ARRAYSIZE(folded)))
        return NULL;
    for (size_t i = 0; i < ARRAYSIZE(windowsPrograms); ++i) {
        FoldLookAlikes(windowsPrograms[i], listed, ARRAYSIZE(listed));
        // A short name is one letter from too many others ("cmd.exe", "dwm.exe"):
        // those count only as look-alike spellings of the very name.
        bool shortName = wcslen(windowsPrograms[i]) < 8;
        if (shortName ? wcscmp(folded, listed) == 0 : WithinOneEdit(folded, listed))
            return windowsPrograms[i];
    }
    return NULL;
}

bool NoteLookAlikeName(const NoteFacts* facts, NoteWords* note)
{
    const wchar_t* program = FindLookAlikeProgram(FileNameInPath(facts->path));
    return program && SetNoteWords(note, IDS_NOTE_LOOK_ALIKE, program);
}

static bool IsOneOf(const wchar_t* extension, size_t length, const wchar_t* const* list, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (wcslen(list[i]) == length && EqualFoldingAsciiLetters(extension, list[i], length))
            return true;
    }
    return false;
}

bool NoteDoubleExtension(const NoteFacts* facts, NoteWords* note)
{
    static const wchar_t* const programs[] = {L"exe", L"scr", L"com", L"pif", L"bat", L"cmd"};
    static const wchar_t* const documents[] = {
        L"pdf", L"doc", L"docx", L"xls", L"xlsx", L"ppt", L"pptx", L"rtf", L"txt", L"odt", L"csv",
        L"jpg", L"jpeg", L"png", L"gif", L"bmp", L"mp3", L"mp4", L"avi", L"mov", L"wav", L"zip",
        L"rar", L"htm", L"html"};
    const wchar_t* name = FileNameInPath(facts->path);
    const wchar_t* last = wcsrchr(name, L'.');
    if (!last || last == name || !IsOneOf(last + 1, wcslen(last + 1), programs, ARRAYSIZE(programs)))
        return false;
    // The document's extension may be padded with blanks to push ".exe" out of sight.
    const wchar_t* end = last;
    while (end > name && end[-1] == L' ')
        --end;
    const wchar_t* inner = end;
    while (inner > name && inner[-1] != L'.')
        --inner;
    if (inner == name || inner - 1 == name)
        return false;
    if (!IsOneOf(inner, (size_t)(end - inner), documents, ARRAYSIZE(documents)))
        return false;
    return SetNoteWords(note, IDS_NOTE_DOUBLE_EXTENSION, inner - 1);
}

// Unicode's format characters (category Cf): invisible, and some reorder
// what follows them, as U+202E turns "gpj.exe" into "exe.jpg".
static bool IsFormatCharacter(unsigned long c)
{
    static const unsigned long ranges[][2] = {
        {0x00AD, 0x00AD}, {0x0600, 0x0605}, {0x061C, 0x061C}, {0x06DD, 0x06DD}, {0x070F, 0x070F},
        {0x0890, 0x0891}, {0x08E2, 0x08E2}, {0x180E, 0x180E}, {0x200B, 0x200F}, {0x202A, 0x202E},
        {0x2060, 0x2064}, {0x2066, 0x206F}, {0xFEFF, 0xFEFF}, {0xFFF9, 0xFFFB}, {0x110BD, 0x110BD},
        {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
        {0xE0020, 0xE007F}};
    for (size_t i = 0; i < ARRAYSIZE(ranges); ++i) {
        if (c >= ranges[i][0] && c <= ranges[i][1])
            return true;
    }
    return false;
}

bool NoteHiddenCharacters(const NoteFacts* facts, NoteWords* note)
{
    for (const wchar_t* c = FileNameInPath(facts->path); *c; ++c) {
        unsigned long code = *c;
        if (code >= 0xD800 && code <= 0xDBFF && c[1] >= 0xDC00 && c[1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (c[1] - 0xDC00);
            ++c;
        }
        if (IsFormatCharacter(code))
            return SetNoteWords(note, IDS_NOTE_HIDDEN_CHARACTERS);
    }
    return false;
}

// ---- Where it runs from ------------------------------------------------------

// The first folder under a drive's root, such as "$Recycle.Bin" in "C:\$Recycle.Bin\S-1-5-...\x.exe".
static bool IsInRecycleBin(const wchar_t* path)
{
    static const wchar_t* const bins[] = {L"$Recycle.Bin", L"RECYCLER", L"RECYCLED"};
    if (!path[0] || path[1] != L':' || path[2] != L'\\')
        return false;
    const wchar_t* first = path + 3;
    const wchar_t* end = wcschr(first, L'\\');
    return end && IsOneOf(first, (size_t)(end - first), bins, ARRAYSIZE(bins));
}

static bool IsInDriveRoot(const wchar_t* path)
{
    return path[0] && path[1] == L':' && path[2] == L'\\' && path[3] && !wcschr(path + 3, L'\\');
}

bool IsInWindowsOrSystemFolder(const NoteFacts* facts)
{
    return facts->folders && facts->folders->windows[0] && IsInWindowsFolder(facts, false);
}

bool IsInUserWritableFolder(const NoteFacts* facts)
{
    // The folder's own access check decides; the list only where it could not run.
    const NoteFolders* folders = facts->folders;
    bool writable = facts->folderAccess == FOLDER_WRITABLE_BY_USER;
    if (facts->folderAccess == FOLDER_ACCESS_UNKNOWN)
        writable = IsInRecycleBin(facts->path) || IsInDriveRoot(facts->path);
    if (folders && facts->folderAccess == FOLDER_ACCESS_UNKNOWN) {
        writable = writable || IsInFolder(facts->path, folders->programData, false);
        for (int i = 0; i < NOTE_WRITABLE_FOLDERS && !writable; ++i)
            writable = IsInFolder(facts->path, folders->writable[i], true);
    }
    return writable;
}

bool NoteWritableFolder(const NoteFacts* facts, NoteWords* note)
{
    if (!IsInUserWritableFolder(facts))
        return false;
    // A folder too long for the note is left out whole rather than cut.
    if (!Empty(facts->folderWithTokens) && FitsNoteArgument(facts->folderWithTokens))
        return SetNoteWords(note, IDS_NOTE_WRITABLE_FOLDER, facts->folderWithTokens);
    return SetNoteWords(note, IDS_NOTE_WRITABLE_PLAIN);
}

bool NoteRemovableDrive(const NoteFacts* facts, NoteWords* note)
{
    return facts->driveType == DRIVE_REMOVABLE &&
           SetNoteWords(note, IDS_NOTE_REMOVABLE_DRIVE);
}

bool NoteNetworkFolder(const NoteFacts* facts, NoteWords* note)
{
    // \\server\share, but not \\?\ or \\.\, which name local paths and devices.
    const wchar_t* path = facts->path;
    bool unc = path[0] == L'\\' && path[1] == L'\\' && path[2] && path[2] != L'?' && path[2] != L'.';
    bool uncLong = wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0;
    return (facts->driveType == DRIVE_REMOTE || unc || uncLong) &&
           SetNoteWords(note, IDS_NOTE_NETWORK_FOLDER);
}

// ---- When it came and changed --------------------------------------------------

bool NoteChangedAfterStart(const NoteFacts* facts, NoteWords* note)
{
    if (!facts->processStart)
        return false;
    bool changed = facts->lastWriteTime > facts->processStart || facts->changeTime > facts->processStart;
    return changed && SetNoteWords(note, IDS_NOTE_CHANGED_AFTER_START);
}

bool NoteHiddenFile(const NoteFacts* facts, NoteWords* note)
{
    if (facts->attributes == INVALID_FILE_ATTRIBUTES ||
        !(facts->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return false;
    if (!facts->folders || !facts->folders->windows[0] || IsInWindowsFolder(facts, true))
        return false;
    return SetNoteWords(note, IDS_NOTE_HIDDEN_FILE);
}

bool NoteRecentlyCreated(const NoteFacts* facts, NoteWords* note)
{
    // A creation time ahead of the clock is as new as can be.
    bool recent = facts->creationTime && facts->now && facts->creationTime + FILETIME_DAY > facts->now;
    return recent && SetNoteWords(note, IDS_NOTE_RECENTLY_CREATED);
}

bool NoteStartsAtLogon(const NoteFacts* facts, NoteWords* note)
{
    return facts->logonEntries > 0 && SetNoteWords(note, IDS_NOTE_STARTS_AT_LOGON);
}

bool NoteAlternateStream(const NoteFacts* facts, NoteWords* note)
{
    size_t length = 0;
    const wchar_t* stream = FindStreamName(facts->path, &length);
    wchar_t name[NOTE_ARGUMENT_CAPACITY];
    // A stream's name too long for the note is cut, never the note left out.
    if (!stream)
        return false;
    StringCchCopyNW(name, ARRAYSIZE(name), stream, length);
    return SetNoteWords(note, IDS_NOTE_ALTERNATE_STREAM, name);
}

void ListFileNotes(const NoteFacts* facts, FileNotes* notes)
{
    static const NoteRule rules[FILE_NOTE_RULES] = {
        NoteUnsignedClaim,  NoteOtherSigner,    NoteWindowsNameElsewhere, NoteLookAlikeName, NoteDoubleExtension,
        NoteHiddenCharacters, NoteWritableFolder, NoteRemovableDrive,     NoteNetworkFolder, NoteAlternateStream,
        NoteChangedAfterStart, NoteHiddenFile,  NoteRecentlyCreated,      NoteStartsAtLogon};
    notes->count = 0;
    if (!facts->path || !facts->path[0])
        return;
    for (int i = 0; i < FILE_NOTE_RULES; ++i) {
        int n = notes->count;
        if (rules[i](facts, &notes->words[n]) && FormatNoteWords(&notes->words[n], notes->text[n], NOTE_TEXT_CAPACITY))
            ++notes->count;
    }
}
