#include "lookup/startup_notes.h"
#include "core/program_text.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/handed_path.h"
#include "core/host_command.h"
#include "core/system_folders.h"
#include "core/seams.h"
#include "lookup/note_facts.h"
#include "lookup/process_facts.h"
#include "resource.h"

bool NoteFileMissing(const StartupEntry* entry, NoteWords* note)
{
    return entry->program[0] && !entry->programFound && SetNoteWords(note, IDS_STARTUP_NOTE_MISSING);
}

const wchar_t* FindStartupHostName(const wchar_t* program)
{
    const wchar_t* name = wcsrchr(program, L'\\');
    name = name ? name + 1 : program;
    if (!name[0])
        return NULL;
    // svchost runs a service's DLL, as rundll32 runs a DLL's function.
    if (FindHostCommandParser(name) || lstrcmpiW(name, L"svchost.exe") == 0 || lstrcmpiW(name, L"svchost") == 0)
        return name;
    return NULL;
}

bool NoteRunsThroughHost(const StartupEntry* entry, NoteWords* note)
{
    const wchar_t* host = FindStartupHostName(entry->program);
    return host && SetNoteWords(note, IDS_STARTUP_NOTE_THROUGH_HOST, host);
}

// The note just written, worded in the thread's language.
static void KeepStartupNote(StartupNotes* notes)
{
    int n = notes->count;
    if (FormatNoteWords(&notes->words[n], notes->text[n], NOTE_TEXT_CAPACITY))
        ++notes->count;
}

void ListStartupNotes(const StartupEntry* entry, const NoteFacts* facts, StartupNotes* notes)
{
    typedef bool (*EntryRule)(const StartupEntry* entry, NoteWords* note);
    static const EntryRule own[] = {NoteFileMissing, NoteRunsThroughHost};
    // What a file at rest can be judged by; the rules of a running process
    // (changed after it started, its stream, its logon entries) are not here.
    static const NoteRule atRest[] = {NoteUnsignedClaim,   NoteOtherSigner,   NoteWindowsNameElsewhere,
                                      NoteLookAlikeName,   NoteDoubleExtension, NoteHiddenCharacters,
                                      NoteWritableFolder,  NoteRemovableDrive, NoteNetworkFolder,
                                      NoteHiddenFile,      NoteRecentlyCreated};
    notes->count = 0;
    for (size_t i = 0; i < ARRAYSIZE(own) && notes->count < STARTUP_NOTE_RULES; ++i)
        if (own[i](entry, &notes->words[notes->count]))
            KeepStartupNote(notes);
    for (size_t i = 0; facts && i < ARRAYSIZE(atRest) && notes->count < STARTUP_NOTE_RULES; ++i)
        if (atRest[i](facts, &notes->words[notes->count]))
            KeepStartupNote(notes);
}

static void ReadVersionStrings(const wchar_t* readable, StartupEvidence* evidence)
{
    VersionInfoBlock block;
    seams.loadVersionInfo(&block, readable);
    if (!QueryVersionString(&block, L"CompanyName", evidence->company))
        evidence->company[0] = L'\0';
    if (!QueryVersionString(&block, L"FileVersion", evidence->fileVersion))
        evidence->fileVersion[0] = L'\0';
    if (!QueryVersionString(&block, L"FileDescription", evidence->description))
        evidence->description[0] = L'\0';
    FreeVersionInfo(&block);
}

// The file the rules judge, and the name to read it by; false when none exists.
static bool FindJudgedFile(const StartupEntry* entry, StartupEvidence* evidence, wchar_t* readable /* MAX_PATH */)
{
    ZeroMemory(evidence, sizeof(*evidence));
    const wchar_t* judged = entry->payload[0] ? entry->payload : entry->programFound ? entry->program : NULL;
    if (!judged || !IsProbeableName(judged) || !BuildReadablePath(judged, readable) ||
        !IsExistingDiskFile(readable, NULL))
        return false;
    StringCchCopyW(evidence->path, ARRAYSIZE(evidence->path), judged);
    return true;
}

static void GatherFileAtRest(const NoteFolders* folders, StartupEvidence* evidence)
{
    ProcessFacts* file = (ProcessFacts*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessFacts));
    if (!file)
        return;
    ReadFileFacts(evidence->path, &file->file);
    // A file at rest: no process start, so nothing "changed after it started".
    GatherNoteFacts(file, NULL, evidence->company, &evidence->signer, NULL, folders, &evidence->facts);
    evidence->factsRead = true;
    HeapFree(GetProcessHeap(), 0, file);
}

void ReadStartupEvidence(const StartupEntry* entry, SignerCache* signerCache, const NoteFolders* folders,
                         StartupEvidence* evidence)
{
    wchar_t readable[MAX_PATH];
    if (!FindJudgedFile(entry, evidence, readable))
        return;
    ReadVersionStrings(readable, evidence);
    CheckFileSigner(readable, signerCache, &evidence->signer);
    GatherFileAtRest(folders, evidence);
}

void ReadStartupEvidenceFrom(const StartupEntry* entry, const FileEvidenceSource* source, const NoteFolders* folders,
                             StartupEvidence* evidence, FileEvidence* file)
{
    ZeroMemory(file, sizeof(*file));
    wchar_t readable[MAX_PATH];
    if (!FindJudgedFile(entry, evidence, readable))
        return;
    source->read(source->context, evidence->path, readable, file);
    StringCchCopyW(evidence->company, ARRAYSIZE(evidence->company), file->version.company);
    StringCchCopyW(evidence->fileVersion, ARRAYSIZE(evidence->fileVersion), file->version.fileVersion);
    StringCchCopyW(evidence->description, ARRAYSIZE(evidence->description), file->version.description);
    evidence->signer = file->signer;
    GatherFileAtRest(folders, evidence);
}
