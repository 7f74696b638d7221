// The note rules and the sheet's text, fed facts directly: every rule's
// edges, and a sheet partly and wholly read.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "lookup/file_notes.h"
#include "lookup/property_sheet.h"
#include "test_support.h"

namespace {

const unsigned long long HOUR = 36000000000ull;
const unsigned long long NOW = 133500000000000000ull;

NoteFolders TestFolders()
{
    NoteFolders folders = {};
    wcscpy(folders.windows, L"C:\\Windows");
    wcscpy(folders.programData, L"C:\\ProgramData");
    wcscpy(folders.writable[0], L"C:\\Users\\ann");
    wcscpy(folders.writable[1], L"D:\\Temp");
    wcscpy(folders.writable[2], L"C:\\Users\\Public");
    wcscpy(folders.writable[3], L"C:\\Users\\\x00C4nne");
    return folders;
}

NoteFacts Facts(const wchar_t* path, const NoteFolders* folders)
{
    NoteFacts facts = {};
    facts.path = path;
    facts.folderWithTokens = L"%folder%";
    facts.signerKnown = true;
    facts.signerVerdict = SIGNER_NOT_SIGNED;
    facts.signer = L"";
    facts.now = NOW;
    facts.attributes = FILE_ATTRIBUTE_ARCHIVE;
    facts.driveType = DRIVE_FIXED;
    facts.folders = folders;
    return facts;
}

std::string Note(NoteRule rule, const NoteFacts& facts)
{
    NoteWords words = {};
    wchar_t note[NOTE_TEXT_CAPACITY] = L"";
    return rule(&facts, &words) && FormatNoteWords(&words, note, ARRAYSIZE(note)) ? NarrowUtf8(note) : "(none)";
}

TEST(FileNotes, ClaimedCompanyAgainstTheSigner)
{
    NoteFolders folders = TestFolders();
    NoteFacts facts = Facts(L"C:\\Program Files\\a.exe", &folders);
    facts.company = L"Microsoft Corporation";
    EXPECT_EQ("Claims to be from Microsoft Corporation but is not signed", Note(NoteUnsignedClaim, facts));
    facts.signerVerdict = SIGNER_NOT_VALID;
    EXPECT_EQ("Claims to be from Microsoft Corporation but is not signed", Note(NoteUnsignedClaim, facts));
    facts.signerVerdict = SIGNER_CANNOT_CHECK;
    EXPECT_EQ("(none)", Note(NoteUnsignedClaim, facts)) << "a check that could not be made is no absence";
    facts.signerKnown = false;
    facts.signerVerdict = SIGNER_NOT_SIGNED;
    EXPECT_EQ("(none)", Note(NoteUnsignedClaim, facts)) << "not yet checked";
    facts.signerKnown = true;
    facts.company = L" ... ";
    EXPECT_EQ("(none)", Note(NoteUnsignedClaim, facts)) << "punctuation claims no company";

    struct { const wchar_t* company; const wchar_t* signer; SignerVerdict verdict; const char* expected; } cases[] = {
        {L"Microsoft Corporation", L"Microsoft Windows", SIGNER_VERIFIED, "(none)"},
        {L"The Mozilla Foundation", L"Mozilla Corporation", SIGNER_VERIFIED, "(none)"},
        {L"Google, Inc.", L"GOOGLE LLC", SIGNER_VERIFIED, "(none)"},
        {L"Microsoft Corporation", L"Veltrix Test Signer", SIGNER_VERIFIED,
         "Claims to be from Microsoft Corporation but is signed by Veltrix Test Signer"},
        {L"Microsoft", L"Microsofts Ltd", SIGNER_UNTRUSTED, "Claims to be from Microsoft but is signed by Microsofts Ltd"},
        {L"Theta Labs", L"Labs Inc", SIGNER_VERIFIED, "Claims to be from Theta Labs but is signed by Labs Inc"},
        {L"Microsoft Corporation", L"", SIGNER_UNTRUSTED, "(none)"},
    };
    for (const auto& test : cases) {
        facts.company = test.company;
        facts.signer = test.signer;
        facts.signerVerdict = test.verdict;
        EXPECT_EQ(test.expected, Note(NoteOtherSigner, facts)) << NarrowUtf8(test.signer);
        EXPECT_EQ("(none)", Note(NoteUnsignedClaim, facts)) << "a signed file is not unsigned";
    }
}

TEST(FileNotes, NamesOfWindowsProgramsAndTheirLookAlikes)
{
    NoteFolders folders = TestFolders();
    struct { const wchar_t* path; const char* windowsName; const char* lookAlike; } cases[] = {
        {L"C:\\Windows\\System32\\svchost.exe", "(none)", "(none)"},
        {L"C:\\WINDOWS\\SysWOW64\\SVCHOST.EXE", "(none)", "(none)"},
        {L"C:\\Windows\\explorer.exe", "(none)", "(none)"},
        {L"C:\\Windows\\System32\\drivers\\svchost.exe",
         "Has the name of the Windows program svchost.exe but is not in the Windows folder", "(none)"},
        {L"C:\\Windows32\\lsass.exe", "Has the name of the Windows program lsass.exe but is not in the Windows folder",
         "(none)"},
        {L"D:\\svch0st.exe", "(none)", "Has a name that looks like the Windows program svchost.exe"},
        {L"D:\\scvhost.exe", "(none)", "Has a name that looks like the Windows program svchost.exe"},
        {L"D:\\svchosts.exe", "(none)", "Has a name that looks like the Windows program svchost.exe"},
        {L"D:\\svhost.exe", "(none)", "Has a name that looks like the Windows program svchost.exe"},
        {L"D:\\expIorer.exe", "(none)", "Has a name that looks like the Windows program explorer.exe"},
        {L"D:\\1sass.exe", "(none)", "Has a name that looks like the Windows program lsass.exe"},
        {L"D:\\csr5s.exe", "(none)", "Has a name that looks like the Windows program csrss.exe"},
        {L"D:\\dwrn.exe", "(none)", "Has a name that looks like the Windows program dwm.exe"},
        {L"D:\\cmdx.exe", "(none)", "(none)"},
        {L"D:\\svhcots.exe", "(none)", "(none)"},
        {L"D:\\notepad++.exe", "(none)", "(none)"},
    };
    for (const auto& test : cases) {
        NoteFacts facts = Facts(test.path, &folders);
        EXPECT_EQ(test.windowsName, Note(NoteWindowsNameElsewhere, facts)) << NarrowUtf8(test.path);
        EXPECT_EQ(test.lookAlike, Note(NoteLookAlikeName, facts)) << NarrowUtf8(test.path);
    }
}

TEST(FileNotes, DoubleExtensionsAndHiddenCharacters)
{
    struct { const wchar_t* name; const char* doubled; bool hidden; } cases[] = {
        {L"C:\\x\\invoice.pdf.exe", "Has a double extension (.pdf.exe)", false},
        {L"C:\\x\\Photo.JPG.scr", "Has a double extension (.JPG.scr)", false},
        {L"C:\\x\\report.docx      .exe", "Has a double extension (.docx      .exe)", false},
        {L"C:\\x\\setup.1.2.exe", "(none)", false},
        {L"C:\\x\\.pdf.exe", "(none)", false},
        {L"C:\\x\\readme.pdf", "(none)", false},
        {L"C:\\x.pdf\\tool.exe", "(none)", false},
        {L"C:\\x\\invoice\x202E" L"fdp.exe", "(none)", true},
        {L"C:\\x\\a\x200B" L"b.exe", "(none)", true},
        {L"C:\\x\\a\xDB40\xDC41.exe", "(none)", true},  // U+E0041, a tag character
        {L"C:\\x\\\x0645\x0644\x0641.exe", "(none)", false},
    };
    for (const auto& test : cases) {
        NoteFacts facts = Facts(test.name, NULL);
        EXPECT_EQ(test.doubled, Note(NoteDoubleExtension, facts)) << NarrowUtf8(test.name);
        EXPECT_EQ(test.hidden ? "Has hidden characters in its name" : "(none)", Note(NoteHiddenCharacters, facts))
            << NarrowUtf8(test.name);
    }
}

TEST(FileNotes, FoldersDrivesAndShares)
{
    NoteFolders folders = TestFolders();
    const char* writable = "Runs from a folder the user can write to (%folder%)";
    struct { const wchar_t* path; UINT drive; const char* folder; bool removable, network; } cases[] = {
        {L"C:\\Users\\ann\\Downloads\\a.exe", DRIVE_FIXED, writable, false, false},
        {L"C:\\USERS\\ANN\\AppData\\Local\\x\\a.exe", DRIVE_FIXED, writable, false, false},
        {L"C:\\Users\\anna\\a.exe", DRIVE_FIXED, "(none)", false, false},
        {L"D:\\Temp\\a.exe", DRIVE_FIXED, writable, false, false},
        {L"C:\\ProgramData\\a.exe", DRIVE_FIXED, writable, false, false},
        {L"C:\\ProgramData\\Vendor\\a.exe", DRIVE_FIXED, "(none)", false, false},
        {L"C:\\$Recycle.Bin\\S-1-5-21\\a.exe", DRIVE_FIXED, writable, false, false},
        {L"E:\\a.exe", DRIVE_REMOVABLE, writable, true, false},
        {L"C:\\Program Files\\a.exe", DRIVE_FIXED, "(none)", false, false},
        {L"\\\\server\\share\\a.exe", DRIVE_UNKNOWN, "(none)", false, true},
        {L"\\\\?\\UNC\\server\\share\\a.exe", DRIVE_UNKNOWN, "(none)", false, true},
        {L"\\\\?\\C:\\Tools\\a.exe", DRIVE_FIXED, "(none)", false, false},
        {L"Z:\\Tools\\a.exe", DRIVE_REMOTE, "(none)", false, true},
        {L"C:\\USERS\\\x00E4NNE\\a.exe", DRIVE_FIXED, writable, false, false},  // folded as the file system folds
    };
    for (const auto& test : cases) {
        NoteFacts facts = Facts(test.path, &folders);
        facts.driveType = test.drive;
        EXPECT_EQ(test.folder, Note(NoteWritableFolder, facts)) << NarrowUtf8(test.path);
        EXPECT_EQ(test.removable ? "Runs from a removable drive" : "(none)", Note(NoteRemovableDrive, facts))
            << NarrowUtf8(test.path);
        EXPECT_EQ(test.network ? "Runs from a network folder" : "(none)", Note(NoteNetworkFolder, facts))
            << NarrowUtf8(test.path);
    }
    // The folder's own access check, where it ran, decides over the list.
    NoteFacts listed = Facts(L"C:\\Users\\ann\\a.exe", &folders), unlisted = Facts(L"C:\\Vendor\\a.exe", &folders);
    listed.folderAccess = FOLDER_NOT_WRITABLE_BY_USER;
    unlisted.folderAccess = FOLDER_WRITABLE_BY_USER;
    EXPECT_EQ("(none)", Note(NoteWritableFolder, listed));
    EXPECT_EQ(writable, Note(NoteWritableFolder, unlisted));
    NoteFacts stream = Facts(L"C:\\x\\notes.txt:evil.exe:$DATA", &folders);
    EXPECT_EQ("Runs from an alternate data stream (evil.exe)", Note(NoteAlternateStream, stream));
    EXPECT_EQ("(none)", Note(NoteAlternateStream, Facts(L"C:\\x\\a.exe::$DATA", &folders)));
}

TEST(FileNotes, TimesAttributesAndLogon)
{
    NoteFolders folders = TestFolders();
    NoteFacts facts = Facts(L"C:\\Tools\\a.exe", &folders);
    facts.processStart = NOW - HOUR;
    facts.lastWriteTime = NOW - HOUR;
    facts.changeTime = NOW - HOUR;
    EXPECT_EQ("(none)", Note(NoteChangedAfterStart, facts)) << "written when it started";
    facts.changeTime = NOW - HOUR + 1;
    EXPECT_EQ("Changed after the process started", Note(NoteChangedAfterStart, facts));
    facts.changeTime = 0;
    facts.lastWriteTime = NOW;
    EXPECT_EQ("Changed after the process started", Note(NoteChangedAfterStart, facts));
    facts.processStart = 0;
    EXPECT_EQ("(none)", Note(NoteChangedAfterStart, facts)) << "start unknown";

    facts.creationTime = NOW - 24 * HOUR;
    EXPECT_EQ("(none)", Note(NoteRecentlyCreated, facts));
    facts.creationTime = NOW - 24 * HOUR + 1;
    EXPECT_EQ("Appeared in the last 24 hours", Note(NoteRecentlyCreated, facts));
    facts.creationTime = NOW + HOUR;
    EXPECT_EQ("Appeared in the last 24 hours", Note(NoteRecentlyCreated, facts)) << "ahead of the clock";

    facts.attributes = FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ("Is a hidden file", Note(NoteHiddenFile, facts));
    facts.attributes = INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ("(none)", Note(NoteHiddenFile, facts));
    NoteFacts windowsFile = Facts(L"C:\\Windows\\Fonts\\x\\a.exe", &folders);
    windowsFile.attributes = FILE_ATTRIBUTE_HIDDEN;
    EXPECT_EQ("(none)", Note(NoteHiddenFile, windowsFile));

    EXPECT_EQ("(none)", Note(NoteStartsAtLogon, facts));
    facts.logonEntries = 1;
    EXPECT_EQ("Starts at logon", Note(NoteStartsAtLogon, facts));
}

std::vector<std::wstring> Lines(const wchar_t* text)
{
    std::vector<std::wstring> lines;
    std::wstring all = text;
    for (size_t start = 0, end; (end = all.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    return lines;
}

// Lines as a help forum's page or an editor breaks them: at any line break.
std::vector<std::wstring> ShownLines(const wchar_t* text)
{
    std::vector<std::wstring> lines(1);
    for (const wchar_t* c = text; *c; ++c) {
        if (wcschr(L"\r\n\x0085\x2028\x2029", *c))
            lines.push_back(L"");
        else
            lines.back() += *c;
    }
    return lines;
}

TEST(SheetText, PartialThenWholeInOrderWithTheFileUnreadable)
{
    static ProcessFacts process = {};
    process.processId = 1234;
    wcscpy(process.imageName, L"svch0st.exe");
    process.found = true;
    PropertySheetInput input = {};
    input.process = &process;
    static wchar_t text[PROPERTY_SHEET_CAPACITY];
    ASSERT_TRUE(FormatPropertySheet(&input, true, text, ARRAYSIZE(text)));
    std::vector<std::wstring> partial = Lines(text);
    ASSERT_EQ(20u, partial.size()) << NarrowUtf8(text);
    EXPECT_EQ(L"Process: svch0st.exe", partial[0]);
    EXPECT_EQ(L"PID: 1234", partial[1]);
    EXPECT_EQ(L"Parent: Reading...", partial[2]);
    EXPECT_EQ(L"SHA-256: Reading...", partial[10]);
    EXPECT_EQ(L"Notes: Reading...", partial[19]);
    ASSERT_TRUE(FormatPropertySheet(&input, false, text, ARRAYSIZE(text)));
    EXPECT_EQ(L"Process: svch0st.exe\r\nPID: 1234\r\n", std::wstring(text)) << "unread values leave no line";

    // Read: the file is gone, its digests cannot be had, the process facts still show.
    process.parent = PARENT_EXITED;
    process.file.access = FILE_GONE;
    wcscpy(process.file.path, L"C:\\Temp\\svch0st.exe");
    process.file.attributes = INVALID_FILE_ATTRIBUTES;
    FileFingerprint digests = {};
    SheetVersionStrings version = {};
    wcscpy(version.company, L"Microsoft Corporation");
    SignerCheck signer = {SIGNER_VERIFIED, SIGNER_FROM_CATALOG, L"Test Signer"};
    LogonEntries logon = {};
    logon.count = 2;
    logon.total = 20;
    wcscpy(logon.text[0], L"Service: a");
    wcscpy(logon.text[1], L"Service: b");
    FileNotes notes = {2, {L"First", L"Second"}};
    input = {&process, true, true, L"%temp%", &digests, &version, &signer, L"", &logon, &notes};
    ASSERT_TRUE(FormatPropertySheet(&input, true, text, ARRAYSIZE(text)));
    EXPECT_EQ(L"Process: svch0st.exe\r\nPID: 1234\r\nParent: (exited)\r\n"
              L"File: C:\\Temp\\svch0st.exe (cannot be read: the file is gone)\r\nFolder: %temp%\r\n"
              L"Company: Microsoft Corporation\r\nVerified signer: Test Signer (catalog)\r\n"
              L"Starts at logon: Service: a; Service: b; and 18 more\r\nNotes:\r\n- First\r\n- Second\r\n",
              std::wstring(text));
    // Too small a buffer: whole lines or none.
    wchar_t small[40];
    EXPECT_FALSE(FormatPropertySheet(&input, true, small, ARRAYSIZE(small)));
    EXPECT_EQ(L"Process: svch0st.exe\r\nPID: 1234\r\n", std::wstring(small));
}

// Text a file or a process controls: a padded company cuts its note but
// never drops it, and a line break in a value writes no line of its own.
TEST(SheetText, PaddingHidesNoNoteAndLineBreaksWriteNoLines)
{
    NoteFolders folders = TestFolders();
    NoteFacts facts = Facts(L"C:\\Temp\\a.exe", &folders);
    std::wstring padded = L"Microsoft Corporation" + std::wstring(600, L'\x00A0');
    facts.company = padded.c_str();
    EXPECT_EQ(0u, Note(NoteUnsignedClaim, facts).find("Claims to be from Microsoft Corporation"));
    facts.company = L"Microsoft\nStarts at logon";
    static FileNotes notes;
    ListFileNotes(&facts, &notes);
    ASSERT_GE(notes.count, 1);
    EXPECT_STREQ(L"Claims to be from Microsoft Starts at logon but is not signed", notes.text[0]);

    static ProcessFacts process = {};
    wchar_t commandLine[] = L"evil.exe\r\nVerified signer: Microsoft Windows (embedded)";
    process.commandLine = commandLine;
    PropertySheetInput input = {&process, true, true};
    input.notes = &notes;
    static wchar_t text[PROPERTY_SHEET_CAPACITY];
    ASSERT_TRUE(FormatPropertySheet(&input, false, text, ARRAYSIZE(text)));
    for (const std::wstring& line : Lines(text))
        EXPECT_NE(0u, line.find(L"Verified signer")) << NarrowUtf8(line.c_str());
    EXPECT_NE(std::wstring::npos, std::wstring(text).find(L"Command line: evil.exe  Verified signer")) << NarrowUtf8(text);
    // A line or paragraph separator, NEL or a bidirectional override breaks no line either.
    for (const wchar_t* breaker : {L"\x2028", L"\x2029", L"\x0085", L"\x202E", L"\x2066"}) {
        std::wstring line = std::wstring(L"evil.exe") + breaker + L"Verified signer: Microsoft Windows (embedded)";
        process.commandLine = &line[0];
        ASSERT_TRUE(FormatPropertySheet(&input, false, text, ARRAYSIZE(text)));
        for (const std::wstring& shown : ShownLines(text))
            EXPECT_NE(0u, shown.find(L"Verified signer")) << NarrowUtf8(shown.c_str());
        EXPECT_EQ(std::wstring::npos, std::wstring(text).find(breaker)) << NarrowUtf8(text);
    }
}

}  // namespace
