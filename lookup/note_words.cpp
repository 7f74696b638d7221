#include "lookup/note_words.h"
#include <strsafe.h>
#include "core/plain_text.h"
#include "core/program_text.h"
#include "resource.h"

struct NoteExplanation {
    UINT note;
    UINT explanation;
};

// Every note a rule can write, with its explanation.
static const NoteExplanation explanations[] = {
    {IDS_NOTE_UNSIGNED_CLAIM, IDS_EXPLAIN_UNSIGNED_CLAIM},
    {IDS_NOTE_OTHER_SIGNER, IDS_EXPLAIN_OTHER_SIGNER},
    {IDS_NOTE_WINDOWS_NAME, IDS_EXPLAIN_WINDOWS_NAME},
    {IDS_NOTE_LOOK_ALIKE, IDS_EXPLAIN_LOOK_ALIKE},
    {IDS_NOTE_DOUBLE_EXTENSION, IDS_EXPLAIN_DOUBLE_EXTENSION},
    {IDS_NOTE_HIDDEN_CHARACTERS, IDS_EXPLAIN_HIDDEN_CHARACTERS},
    {IDS_NOTE_WRITABLE_FOLDER, IDS_EXPLAIN_WRITABLE_FOLDER},
    {IDS_NOTE_WRITABLE_PLAIN, IDS_EXPLAIN_WRITABLE_FOLDER},
    {IDS_NOTE_REMOVABLE_DRIVE, IDS_EXPLAIN_REMOVABLE_DRIVE},
    {IDS_NOTE_NETWORK_FOLDER, IDS_EXPLAIN_NETWORK_FOLDER},
    {IDS_NOTE_ALTERNATE_STREAM, IDS_EXPLAIN_ALTERNATE_STREAM},
    {IDS_NOTE_CHANGED_AFTER_START, IDS_EXPLAIN_CHANGED_AFTER_START},
    {IDS_NOTE_HIDDEN_FILE, IDS_EXPLAIN_HIDDEN_FILE},
    {IDS_NOTE_RECENTLY_CREATED, IDS_EXPLAIN_RECENTLY_CREATED},
    {IDS_NOTE_STARTS_AT_LOGON, IDS_EXPLAIN_STARTS_AT_LOGON},
    {IDS_MODULE_NOTE_NOT_LISTED, IDS_EXPLAIN_MODULE_NOT_LISTED},
    {IDS_MODULE_NOTE_WINDOWS_NAME, IDS_EXPLAIN_MODULE_WINDOWS_NAME},
    {IDS_MODULE_NOTE_UNSIGNED, IDS_EXPLAIN_MODULE_UNSIGNED},
    {IDS_MODULE_NOTE_WRITABLE, IDS_EXPLAIN_MODULE_WRITABLE},
    {IDS_MODULE_NOTE_WRITABLE_PLAIN, IDS_EXPLAIN_MODULE_WRITABLE},
    {IDS_NOTE_DOCUMENT_PARENT, IDS_EXPLAIN_DOCUMENT_PARENT},
    {IDS_NOTE_NOTED_PARENT, IDS_EXPLAIN_NOTED_PARENT},
    {IDS_STARTUP_NOTE_MISSING, IDS_EXPLAIN_STARTUP_MISSING},
    {IDS_STARTUP_NOTE_THROUGH_HOST, IDS_EXPLAIN_STARTUP_THROUGH_HOST},
    {IDS_STARTUP_NEW_SINCE, IDS_EXPLAIN_STARTUP_NEW_SINCE},
};

bool SetNoteWords(NoteWords* note, UINT textId, const wchar_t* first, const wchar_t* second)
{
    note->textId = textId;
    const wchar_t* values[NOTE_ARGUMENTS] = {first, second};
    for (int i = 0; i < NOTE_ARGUMENTS; ++i)
        StringCchCopyW(note->args[i], NOTE_ARGUMENT_CAPACITY, values[i] ? values[i] : L"");
    return true;
}

bool FitsNoteArgument(const wchar_t* value)
{
    size_t length = 0;
    return SUCCEEDED(StringCchLengthW(value, NOTE_ARGUMENT_CAPACITY, &length));
}

bool FormatNoteWords(const NoteWords* note, wchar_t* text, size_t capacity)
{
    wchar_t format[NOTE_TEXT_CAPACITY];
    if (!text || capacity == 0)
        return false;
    text[0] = L'\0';
    if (!note->textId || !LoadProgramText(note->textId, format, ARRAYSIZE(format)))
        return false;
    // A format names fewer values than it is given, never more (the tables' test).
    HRESULT written = StringCchPrintfW(text, capacity, format, note->args[0], note->args[1]);
    if (FAILED(written) && written != STRSAFE_E_INSUFFICIENT_BUFFER) {
        text[0] = L'\0';
        return false;
    }
    BlankControlCharacters(text, capacity);
    return true;
}

void FormatKeptNote(const NoteWords* words, const wchar_t* worded, wchar_t* text, size_t capacity)
{
    if (!words->textId || !FormatNoteWords(words, text, capacity)) {
        StringCchCopyW(text, capacity, worded);
        BlankControlCharacters(text, capacity);
    }
}

UINT FindNoteExplanation(UINT textId)
{
    for (size_t i = 0; i < ARRAYSIZE(explanations); ++i) {
        if (explanations[i].note == textId)
            return explanations[i].explanation;
    }
    return 0;
}

UINT ListedNoteText(int index)
{
    return index >= 0 && index < (int)ARRAYSIZE(explanations) ? explanations[index].note : 0;
}

const wchar_t* FileNameInPath(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c; ++c) {
        if (*c == L'\\' || *c == L'/')
            name = c + 1;
    }
    return name;
}
