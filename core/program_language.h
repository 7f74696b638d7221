// The language the program speaks: the user's choice (the "Language" setting,
// a tag such as "de-DE") or else Windows' display language, a regional
// variant taken as its language and anything we do not speak as English.
// Every text, menu and dialog the program loads comes from that language's
// resources, each falling back to English where the language lacks it.
#pragma once
#include <windows.h>

struct ProgramLanguageInfo {
    LANGID id;
    const wchar_t* tag;         // what the setting holds
    const wchar_t* nativeName;  // the language in its own words
};

// Every language the program speaks, English first.
const ProgramLanguageInfo* ProgramLanguages(int* count);

// The language spoken for a Windows language id or a setting's tag; English
// when we do not speak it.
LANGID SpokenLanguageFor(LANGID windowsLanguage);
// 0 when the tag names no language we speak.
LANGID SpokenLanguageForTag(const wchar_t* tag);

// The language in use now; decided at first use from the setting.
LANGID ProgramLanguage();
// While a thread has its own language (0: none), what it loads comes in
// that one: the notes a report writes stay English for the scripts that
// read them. Returns the thread's language before.
LANGID SetThreadTextLanguage(LANGID language);
// Decides it again from the setting, for everything loaded afterwards.
void RefreshProgramLanguage();
// Writes the choice (NULL: follow Windows, the value removed) and takes it.
bool ChooseProgramLanguage(const wchar_t* tag);
// The tag the setting holds, empty when it follows Windows.
bool ReadLanguageChoice(wchar_t* tag, size_t capacity);

// The resource in the program's language, else the English one.
HRSRC FindProgramResource(LPCWSTR type, LPCWSTR name);
HMENU LoadProgramMenu(UINT id);
INT_PTR ShowProgramDialog(UINT id, HWND owner, DLGPROC procedure, LPARAM parameter);
HWND CreateProgramDialog(UINT id, HWND owner, DLGPROC procedure, LPARAM parameter);
