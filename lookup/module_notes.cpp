#include "lookup/module_notes.h"
#include "core/file_name_case.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "resource.h"

// Libraries a program finds beside itself before the system's copy, as
// borrowed by planted DLLs; the system's KnownDLLs are added to them.
static const wchar_t* const windowsLibraries[] = {
    L"version.dll",  L"winmm.dll",   L"dwmapi.dll",   L"uxtheme.dll", L"cryptbase.dll", L"wtsapi32.dll",
    L"userenv.dll",  L"profapi.dll", L"winhttp.dll",  L"wininet.dll", L"iphlpapi.dll",  L"dnsapi.dll",
    L"netapi32.dll", L"secur32.dll", L"sspicli.dll",  L"propsys.dll", L"mswsock.dll",
};

static bool SameName(const wchar_t* a, const wchar_t* b)
{
    size_t length = wcslen(a);
    return length == wcslen(b) && EqualFoldingAsciiLetters(a, b, length);
}

// Windows' own libraries are vouched for by its catalogs, which cannot always
// be consulted (SHA-256 ones before Windows 8), are replaced by its updates
// under running programs, and sit in folders only Windows' installer
// writes (the Windows folder itself, System32, SysWOW64 and WinSxS, not its
// Temp): the signer, change and folder rules leave them to Windows.
static bool IsWindowsOwnLibrary(const NoteFacts* file)
{
    if (IsInWindowsOrSystemFolder(file))
        return true;
    wchar_t sideBySide[MAX_PATH];
    if (!file->folders || !file->folders->windows[0] ||
        FAILED(StringCchPrintfW(sideBySide, ARRAYSIZE(sideBySide), L"%s\\WinSxS\\", file->folders->windows)))
        return false;
    size_t length = wcslen(sideBySide);
    return wcslen(file->path) > length && EqualAsFileNames(file->path, sideBySide, length);
}

bool NoteModuleWritableFolder(const ModuleNoteFacts* facts, NoteWords* note)
{
    if (IsWindowsOwnLibrary(&facts->file) || !IsInUserWritableFolder(&facts->file))
        return false;
    // A folder too long for the note is left out whole rather than cut.
    const wchar_t* folder = facts->file.folderWithTokens;
    if (folder && folder[0] && FitsNoteArgument(folder))
        return SetNoteWords(note, IDS_MODULE_NOTE_WRITABLE, folder);
    return SetNoteWords(note, IDS_MODULE_NOTE_WRITABLE_PLAIN);
}

const wchar_t* FindWindowsLibraryName(const wchar_t* name, const KnownLibraryNames* known)
{
    for (size_t i = 0; i < ARRAYSIZE(windowsLibraries); ++i) {
        if (SameName(name, windowsLibraries[i]))
            return windowsLibraries[i];
    }
    for (int i = 0; known && i < known->count && i < KNOWN_LIBRARY_LIMIT; ++i) {
        if (known->names[i][0] && SameName(name, known->names[i]))
            return known->names[i];
    }
    return NULL;
}

bool NoteModuleWindowsLibraryName(const ModuleNoteFacts* facts, NoteWords* note)
{
    const NoteFacts* file = &facts->file;
    if (!file->folders || !file->folders->windows[0] || IsInWindowsOrSystemFolder(file))
        return false;
    const wchar_t* library = FindWindowsLibraryName(FileNameInPath(file->path), facts->knownLibraries);
    return library && SetNoteWords(note, IDS_MODULE_NOTE_WINDOWS_NAME, library);
}

bool NoteModuleUnsignedInSignedProgram(const ModuleNoteFacts* facts, NoteWords* note)
{
    const NoteFacts* file = &facts->file;
    if (IsWindowsOwnLibrary(file))
        return false;
    bool unsignedModule = file->signerKnown &&
                          (file->signerVerdict == SIGNER_NOT_SIGNED || file->signerVerdict == SIGNER_NOT_VALID);
    return unsignedModule && facts->programSigner && facts->programSigner[0] &&
           SetNoteWords(note, IDS_MODULE_NOTE_UNSIGNED, facts->programSigner);
}

bool NoteModuleChangedAfterStart(const ModuleNoteFacts* facts, NoteWords* note)
{
    return !IsWindowsOwnLibrary(&facts->file) && NoteChangedAfterStart(&facts->file, note);
}

bool NoteModuleNotInLoaderList(const ModuleNoteFacts* facts, NoteWords* note)
{
    return !facts->inLoaderList && SetNoteWords(note, IDS_MODULE_NOTE_NOT_LISTED);
}

bool NoteModuleDoubleExtension(const ModuleNoteFacts* facts, NoteWords* note)
{
    return NoteDoubleExtension(&facts->file, note);
}

bool NoteModuleHiddenCharacters(const ModuleNoteFacts* facts, NoteWords* note)
{
    return NoteHiddenCharacters(&facts->file, note);
}

void ListModuleNotes(const ModuleNoteFacts* facts, ModuleNotes* notes)
{
    static const ModuleNoteRule rules[MODULE_NOTE_RULES] = {
        NoteModuleNotInLoaderList,  NoteModuleWindowsLibraryName, NoteModuleUnsignedInSignedProgram,
        NoteModuleDoubleExtension,  NoteModuleHiddenCharacters,   NoteModuleWritableFolder,
        NoteModuleChangedAfterStart};
    notes->count = 0;
    if (!facts->file.path || !facts->file.path[0])
        return;
    for (int i = 0; i < MODULE_NOTE_RULES; ++i) {
        int n = notes->count;
        if (rules[i](facts, &notes->words[n]) && FormatNoteWords(&notes->words[n], notes->text[n], NOTE_TEXT_CAPACITY))
            ++notes->count;
    }
}
