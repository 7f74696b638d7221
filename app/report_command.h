// "/report <file> [/baseline <earlier.json>]": every process (with its
// modules) and every startup entry written to a file, with no window, tray
// icon or splash screen, whether or not the tray program runs. ".json" or
// ".csv" by the file's name; "-" writes JSON to standard output. The file is
// written beside its place under another name and moved there once whole.
#pragma once
#include <windows.h>

enum ReportFormat { REPORT_JSON, REPORT_CSV };

struct ReportArguments {
    const wchar_t* target;    // "-": standard output
    const wchar_t* baseline;  // NULL: none
    ReportFormat format;
};

// True when the command-line tail starts with the switch "/report".
bool IsReportCommand(const wchar_t* commandLine);

// The arguments after "/report" in `args` (as SplitCommandLine gives them,
// the program's name first); false for a bad argument. Pure.
struct CommandArgs;
bool ReadReportArguments(const CommandArgs* args, ReportArguments* arguments);

// Reads every item and writes the report to `output` (the files through
// `files`, started by the caller); false with the error when the writing
// failed. `baseline` NULL: none; `console` NULL: no progress.
struct Baseline;
struct ReportConsole;
struct ReportFiles;
bool WriteReportTo(HANDLE output, const ReportArguments* arguments, const Baseline* baseline,
                   ReportConsole* console, ReportFiles* files, DWORD* error);

// Runs it: 0 once the report is written, 1 (with the message on standard
// error) when it cannot be written or the baseline read, 2 for a bad argument.
int RunReportCommand(const wchar_t* commandLine);
