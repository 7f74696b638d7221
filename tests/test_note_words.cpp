// Every note rule's words as English and German read them, every note
// explained in every language, and a sheet copied in English while the
// program speaks German.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "app/row_notes.h"
#include "app/sheet_reads.h"
#include "core/program_language.h"
#include "core/program_text.h"
#include "lookup/module_notes.h"
#include "lookup/parent_notes.h"
#include "lookup/startup_notes.h"
#include "resource.h"
#include "test_support.h"

namespace {

const LANGID german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

std::wstring Worded(const NoteWords& words, LANGID language)
{
    wchar_t text[NOTE_TEXT_CAPACITY] = L"";
    LANGID before = SetThreadTextLanguage(language);
    bool worded = FormatNoteWords(&words, text, ARRAYSIZE(text));
    SetThreadTextLanguage(before);
    return worded ? text : L"(none)";
}

// The string in that language's own table, no English in its place.
std::wstring TableText(LANGID language, UINT id)
{
    HRSRC block = FindResourceExW(NULL, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), language);
    HGLOBAL loaded = block ? LoadResource(NULL, block) : NULL;
    const WORD* walk = loaded ? (const WORD*)LockResource(loaded) : NULL;
    for (UINT i = 0; walk && i < (id & 15); ++i)
        walk += 1 + *walk;
    return walk ? std::wstring((const wchar_t*)walk + 1, *walk) : L"";
}

struct Case {
    NoteWords words;
    const wchar_t* english;
    const wchar_t* german;
};

TEST(NoteWords, EveryRuleReadsInEnglishAndGermanAndEveryNoteIsExplained)
{
    static NoteFolders folders = {L"C:\\Windows", L"C:\\ProgramData", {L"C:\\Users\\ann"}};
    // Facts every file rule but the name rules holds for.
    NoteFacts file = {L"C:\\Users\\ann\\svch0st.pdf.exe", L"%temp%", L"Contoso Ltd", true, SIGNER_NOT_SIGNED, L"",
                      10, 20, 20, 0, 20, FILE_ATTRIBUTE_HIDDEN, DRIVE_REMOVABLE, 1, &folders, FOLDER_WRITABLE_BY_USER};
    NoteFacts windowsName = file, lookAlike = file, hidden = file, stream = file, network = file, plain = file,
              signer = file;
    windowsName.path = L"C:\\Users\\ann\\svchost.exe";
    lookAlike.path = L"C:\\Users\\ann\\svch0st.exe";
    hidden.path = L"C:\\Users\\ann\\a\x202Etxt.exe";
    stream.path = L"C:\\x\\notes.txt:evil.exe:$DATA";
    network.driveType = DRIVE_REMOTE;
    plain.folderWithTokens = NULL;
    signer.signerVerdict = SIGNER_VERIFIED;
    signer.signer = L"Fabrikam";
    ModuleNoteFacts module = {};
    module.file = file;
    module.file.path = L"C:\\Users\\ann\\version.dll";
    module.programSigner = L"Contoso";
    StartupEntry entry = {};
    wcscpy(entry.program, L"C:\\Windows\\System32\\rundll32.exe");
    std::vector<Case> cases(24);
    int n = 0;
    auto add = [&](bool applies, const wchar_t* english, const wchar_t* germanText) {
        EXPECT_TRUE(applies) << NarrowUtf8(english);
        cases[n].english = english;
        cases[n++].german = germanText;
    };
    add(NoteUnsignedClaim(&file, &cases[n].words), L"Claims to be from Contoso Ltd but is not signed",
        L"Gibt an, von Contoso Ltd zu stammen, ist aber nicht signiert");
    add(NoteOtherSigner(&signer, &cases[n].words), L"Claims to be from Contoso Ltd but is signed by Fabrikam",
        L"Gibt an, von Contoso Ltd zu stammen, ist aber von Fabrikam signiert");
    add(NoteWindowsNameElsewhere(&windowsName, &cases[n].words),
        L"Has the name of the Windows program svchost.exe but is not in the Windows folder",
        L"Trägt den Namen des Windows-Programms svchost.exe, liegt aber nicht im Windows-Ordner");
    add(NoteLookAlikeName(&lookAlike, &cases[n].words), L"Has a name that looks like the Windows program svchost.exe",
        L"Hat einen Namen, der dem Windows-Programm svchost.exe ähnelt");
    add(NoteDoubleExtension(&file, &cases[n].words), L"Has a double extension (.pdf.exe)",
        L"Hat eine doppelte Dateinamenerweiterung (.pdf.exe)");
    add(NoteHiddenCharacters(&hidden, &cases[n].words), L"Has hidden characters in its name",
        L"Enthält unsichtbare Zeichen im Namen");
    add(NoteWritableFolder(&file, &cases[n].words), L"Runs from a folder the user can write to (%temp%)",
        L"Wird aus einem Ordner ausgeführt, in den der Benutzer schreiben kann (%temp%)");
    add(NoteWritableFolder(&plain, &cases[n].words), L"Runs from a folder the user can write to",
        L"Wird aus einem Ordner ausgeführt, in den der Benutzer schreiben kann");
    add(NoteRemovableDrive(&file, &cases[n].words), L"Runs from a removable drive",
        L"Wird von einem Wechseldatenträger ausgeführt");
    add(NoteNetworkFolder(&network, &cases[n].words), L"Runs from a network folder",
        L"Wird aus einem Netzwerkordner ausgeführt");
    add(NoteAlternateStream(&stream, &cases[n].words), L"Runs from an alternate data stream (evil.exe)",
        L"Wird aus einem alternativen Datenstrom ausgeführt (evil.exe)");
    add(NoteChangedAfterStart(&file, &cases[n].words), L"Changed after the process started",
        L"Wurde nach dem Start des Prozesses geändert");
    add(NoteHiddenFile(&file, &cases[n].words), L"Is a hidden file", L"Ist eine versteckte Datei");
    add(NoteRecentlyCreated(&file, &cases[n].words), L"Appeared in the last 24 hours",
        L"Ist in den letzten 24 Stunden hinzugekommen");
    add(NoteStartsAtLogon(&file, &cases[n].words), L"Starts at logon", L"Startet bei der Anmeldung");
    add(NoteModuleNotInLoaderList(&module, &cases[n].words), L"Is not in the process's module list",
        L"Fehlt in der Modulliste des Prozesses");
    add(NoteModuleWindowsLibraryName(&module, &cases[n].words),
        L"Has the name of the Windows library version.dll but is not in the Windows folder",
        L"Trägt den Namen der Windows-Bibliothek version.dll, liegt aber nicht im Windows-Ordner");
    add(NoteModuleUnsignedInSignedProgram(&module, &cases[n].words), L"Is not signed, in a program signed by Contoso",
        L"Ist nicht signiert, in einem von Contoso signierten Programm");
    add(NoteModuleWritableFolder(&module, &cases[n].words), L"Is in a folder the user can write to (%temp%)",
        L"Liegt in einem Ordner, in den der Benutzer schreiben kann (%temp%)");
    add(NoteDocumentParent(L"winword.exe", L"cmd.exe", &cases[n].words), L"Started by winword.exe, a document program",
        L"Gestartet von winword.exe, einem Dokumentprogramm");
    add(NoteNotedParent(L"x.exe", &cases[n].words), L"Started by x.exe, which has notes",
        L"Gestartet von x.exe, das Hinweise hat");
    add(NoteRunsThroughHost(&entry, &cases[n].words), L"Runs through rundll32.exe", L"Wird über rundll32.exe ausgeführt");
    add(NoteFileMissing(&entry, &cases[n].words), L"Its file is missing", L"Die Datei fehlt");
    cases.resize(n);
    for (const Case& note : cases) {
        EXPECT_EQ(note.english, Worded(note.words, SHEET_ENGLISH));
        EXPECT_EQ(note.german, Worded(note.words, german));
        EXPECT_NE(0u, FindNoteExplanation(note.words.textId)) << NarrowUtf8(note.english) << " is not explained";
    }

    int count = 0;
    const ProgramLanguageInfo* languages = ProgramLanguages(&count);
    for (int i = 0; ListedNoteText(i); ++i) {
        UINT explanation = FindNoteExplanation(ListedNoteText(i));
        std::wstring english = TableText(SHEET_ENGLISH, explanation);
        for (const wchar_t* verdict : {L"safe", L"malicious", L"dangerous", L"harmful"})
            EXPECT_EQ(std::wstring::npos, english.find(verdict)) << NarrowUtf8(english.c_str());
        for (int l = 0; l < count; ++l) {
            EXPECT_NE(L"", TableText(languages[l].id, ListedNoteText(i))) << languages[l].tag << " note " << i;
            EXPECT_NE(L"", TableText(languages[l].id, explanation)) << languages[l].tag << " explanation " << i;
        }
    }
}

// The program speaks German: the sheet copies in German, and in English on
// "Copy Properties in English", labels and notes; the name's tooltip tells
// what each note means.
TEST(NoteWords, CopyPropertiesInEnglishWhileTheProgramSpeaksGerman)
{
    LANGID before = SetThreadTextLanguage(german);
    static NoteFolders folders = {L"C:\\Windows"};
    NoteFacts facts = {L"C:\\Users\\ann\\svch0st.exe", NULL, L"Contoso", true, SIGNER_NOT_SIGNED, L""};
    facts.folders = &folders;
    static ProcessSheet sheet;
    StartProcessSheet(1234, L"svch0st.exe", &sheet);
    sheet.readsAbandoned = true;
    sheet.notesRead = true;
    ListFileNotes(&facts, &sheet.notes);

    ASSERT_TRUE(CopySheetText(NULL, &sheet));
    EXPECT_EQ(L"Prozess: svch0st.exe\r\nPID: 1234\r\nHinweise:\r\n"
              L"- Gibt an, von Contoso zu stammen, ist aber nicht signiert\r\n"
              L"- Hat einen Namen, der dem Windows-Programm svchost.exe ähnelt\r\n",
              ClipboardText());
    ASSERT_TRUE(CopySheetText(NULL, &sheet, true));
    EXPECT_EQ(L"Process: svch0st.exe\r\nPID: 1234\r\nNotes:\r\n- Claims to be from Contoso but is not signed\r\n"
              L"- Has a name that looks like the Windows program svchost.exe\r\n",
              ClipboardText());
    wchar_t heading[32];
    ASSERT_TRUE(LoadProgramText(IDS_SHEET_NOTES_HEADING, heading, ARRAYSIZE(heading)));
    EXPECT_STREQ(L"Hinweise:", heading) << "the language the thread spoke before the copy";

    wchar_t tip[2048] = L"svch0st.exe";
    const UINT texts[] = {IDS_NOTE_HIDDEN_FILE, 0};
    AppendExplainedNotes(L"Ist eine versteckte Datei\nEigener Hinweis", texts, 2, tip, ARRAYSIZE(tip));
    EXPECT_EQ(L"svch0st.exe\nHinweise:\n- Ist eine versteckte Datei\n    " + TableText(german, IDS_EXPLAIN_HIDDEN_FILE) +
                  L"\n- Eigener Hinweis",
              std::wstring(tip));
    FreeProcessSheet(&sheet);
    SetThreadTextLanguage(before);
}

}  // namespace
