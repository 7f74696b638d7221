#include "app/report_console.h"
#include <strsafe.h>
#include "app/failure_report.h"
#include "core/program_text.h"

typedef BOOL (WINAPI* AttachConsoleProc)(DWORD);

static bool IsConsoleHandle(HANDLE handle)
{
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void OpenReportConsole(ReportConsole* console)
{
    ZeroMemory(console, sizeof(*console));
    HANDLE given = GetStdHandle(STD_ERROR_HANDLE);
    if (given && given != INVALID_HANDLE_VALUE) {
        console->error = given;
        console->isConsole = IsConsoleHandle(given);
        return;
    }
    // A windowed program started from a console gets no handles: it may join that console.
    AttachConsoleProc attach =
        (AttachConsoleProc)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AttachConsole");
    if (!attach || !attach(ATTACH_PARENT_PROCESS))
        return;
    HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                                NULL);
    if (output == INVALID_HANDLE_VALUE)
        return;
    console->error = output;
    console->ownsHandle = true;
    console->isConsole = IsConsoleHandle(output);
}

void CloseReportConsole(ReportConsole* console)
{
    if (console->lineOpen)
        SayOnConsole(console, L"");
    if (console->ownsHandle)
        CloseHandle(console->error);
    ZeroMemory(console, sizeof(*console));
}

static void WriteText(ReportConsole* console, const wchar_t* text)
{
    DWORD written = 0;
    int length = lstrlenW(text);
    if (console->isConsole) {
        WriteConsoleW(console->error, text, (DWORD)length, &written, NULL);
        return;
    }
    char bytes[4096];
    int count = WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, sizeof(bytes), NULL, NULL);
    if (count > 0)
        WriteFile(console->error, bytes, (DWORD)count, &written, NULL);
}

void SayOnConsole(ReportConsole* console, const wchar_t* line)
{
    if (!console->error)
        return;
    if (console->lineOpen && line[0])
        WriteText(console, L"\r\n");
    console->lineOpen = false;
    WriteText(console, line);
    WriteText(console, L"\r\n");
}

void ShowProgress(ReportConsole* console, const wchar_t* line)
{
    if (!console->error || !console->isConsole)
        return;
    // Blanks after it cover a longer line before.
    wchar_t padded[128];
    StringCchPrintfW(padded, ARRAYSIZE(padded), L"\r%-60s", line);
    WriteText(console, padded);
    console->lineOpen = true;
}

void SayFailure(ReportConsole* console, UINT formatId, const wchar_t* subject, DWORD error)
{
    wchar_t reason[512], message[4096];
    ReadSystemReason(error, reason, ARRAYSIZE(reason));
    if (FormatProgramText(message, ARRAYSIZE(message), formatId, subject, reason))
        SayOnConsole(console, message);
}
