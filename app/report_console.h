// Where a command-line run of our windowed program speaks: standard error as
// it was handed to us (a file, a pipe), or else the console we were started
// from. Progress shows only on a console. One thread.
#pragma once
#include <windows.h>

struct ReportConsole {
    HANDLE error;     // NULL: nowhere to speak
    bool isConsole;   // a console: progress is shown, each line over the last
    bool ownsHandle;  // CONOUT$ opened here
    bool lineOpen;    // a progress line waits for its end
};

void OpenReportConsole(ReportConsole* console);
void CloseReportConsole(ReportConsole* console);
// A line, CR LF ended (UTF-8 to a file, UTF-16 to a console).
void SayOnConsole(ReportConsole* console, const wchar_t* line);
// A progress line, overwritten by the next; nothing when no console.
void ShowProgress(ReportConsole* console, const wchar_t* line);
// The string `formatId` with the subject and the system's reason for `error`.
void SayFailure(ReportConsole* console, UINT formatId, const wchar_t* subject, DWORD error);
