#include "app/report_command.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "app/report_baseline.h"
#include "app/report_console.h"
#include "app/report_csv.h"
#include "app/report_json.h"
#include "core/ascii_folding.h"
#include "core/command_line_args.h"
#include "core/program_language.h"
#include "core/program_text.h"
#include "core/seams.h"
#include "core/system_probes.h"
#include "lookup/report_reads.h"
#include "resource.h"
#include "tavrowen_version.h"

static const wchar_t reportSwitch[] = L"/report";
static const wchar_t baselineSwitch[] = L"/baseline";
static const int REPORT_WRITTEN = 0;
static const int REPORT_FAILED = 1;
static const int BAD_COMMAND_LINE = 2;
// The longest path Windows takes, with its terminator.
static const size_t PATH_CAPACITY = 32768;

bool IsReportCommand(const wchar_t* commandLine)
{
    if (!commandLine)
        return false;
    while (*commandLine == L' ' || *commandLine == L'\t')
        ++commandLine;
    size_t length = ARRAYSIZE(reportSwitch) - 1;
    if (!EqualFoldingAsciiLetters(commandLine, reportSwitch, length))
        return false;
    wchar_t after = commandLine[length];
    return after == L'\0' || after == L' ' || after == L'\t';
}

static bool EndsWithFolding(const wchar_t* text, const wchar_t* end)
{
    size_t length = wcslen(text), endLength = wcslen(end);
    return length > endLength && EqualFoldingAsciiLetters(text + length - endLength, end, endLength + 1);
}

bool ReadReportArguments(const CommandArgs* args, ReportArguments* arguments)
{
    ZeroMemory(arguments, sizeof(*arguments));
    if (args->cut || (args->count != 3 && args->count != 5) || !IsSameNameFoldingAscii(args->arg[1], reportSwitch))
        return false;
    arguments->target = args->arg[2];
    if (args->count == 5) {
        if (!IsSameNameFoldingAscii(args->arg[3], baselineSwitch) || !args->arg[4][0])
            return false;
        arguments->baseline = args->arg[4];
    }
    if (wcscmp(arguments->target, L"-") == 0 || EndsWithFolding(arguments->target, L".json"))
        arguments->format = REPORT_JSON;
    else if (EndsWithFolding(arguments->target, L".csv"))
        arguments->format = REPORT_CSV;
    else
        return false;
    return true;
}

// ---- What the report's items are written through ----------------------------

struct ReportRun {
    ReportFormat format;
    ReportSink sink;
    JsonReport json;
    const Baseline* baseline;  // NULL: none given
    ReportConsole* console;
};

static int NewSinceBaseline(const ReportRun* run, unsigned long long key)
{
    return run->baseline ? (IsInBaseline(run->baseline, key) ? 0 : 1) : -1;
}

static void WriteProcess(void* context, const ReportProcess* process)
{
    ReportRun* run = (ReportRun*)context;
    const ProcessSheet* sheet = process->sheet;
    bool located = sheet->process.file.access != FILE_NOT_LOCATED;
    bool hashed = sheet->digestsRead && sheet->digests.valid;
    int isNew = NewSinceBaseline(
        run, ProcessBaselineKey(located ? sheet->process.file.path : NULL, hashed ? sheet->digests.digestHex : NULL));
    if (run->format == REPORT_JSON)
        WriteJsonProcess(&run->json, process, isNew);
    else
        WriteCsvProcess(&run->sink, process, isNew);
}

static void WriteStartup(void* context, const ReportStartup* entry)
{
    ReportRun* run = (ReportRun*)context;
    int isNew = NewSinceBaseline(
        run, StartupBaselineKey(entry->entry->location, entry->entry->entry, entry->entry->command));
    if (run->format == REPORT_JSON)
        WriteJsonStartup(&run->json, entry, isNew);
    else
        WriteCsvStartup(&run->sink, entry, isNew);
}

static void ShowReadingProgress(void* context, int done, int total)
{
    ReportRun* run = (ReportRun*)context;
    if (!run->console)
        return;
    wchar_t line[128];
    // The person reads the progress in their language; the notes stay English.
    LANGID notes = SetThreadTextLanguage(0);
    if (FormatProgramText(line, ARRAYSIZE(line), IDS_REPORT_PROGRESS, done + 1, total))
        ShowProgress(run->console, line);
    SetThreadTextLanguage(notes);
}

// ---- The header ----------------------------------------------------------------

struct HeaderTexts {
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    wchar_t user[USER_NAME_CAPACITY];
    wchar_t windows[48];
    wchar_t created[32];
};

typedef LONG (WINAPI* RtlGetVersionProc)(OSVERSIONINFOW*);

// The version Windows is, not the one it tells programs it has not been told about.
static void ReadWindowsVersion(wchar_t* text, size_t capacity)
{
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    RtlGetVersionProc rtlGetVersion =
        (RtlGetVersionProc)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    if (!(rtlGetVersion && rtlGetVersion(&version) == 0) && !seams.getVersion(&version))
        return;
    StringCchPrintfW(text, capacity, L"%lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                     version.dwBuildNumber);
}

static void ReadHeader(HeaderTexts* texts, ReportHeader* header)
{
    ZeroMemory(texts, sizeof(*texts));
    DWORD size = ARRAYSIZE(texts->computer);
    if (!GetComputerNameW(texts->computer, &size))
        texts->computer[0] = L'\0';
    if (!ReadProcessUser(GetCurrentProcess(), texts->user))
        texts->user[0] = L'\0';
    ReadWindowsVersion(texts->windows, ARRAYSIZE(texts->windows));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    FormatUtcTime(((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime, texts->created,
                  ARRAYSIZE(texts->created));
    header->version = L"" TAVROWEN_VERSION_TEXT;
    header->computer = texts->computer;
    header->user = texts->user;
    header->elevated = IsElevated();
    header->windows = texts->windows;
    header->created = texts->created;
}

// ---- The run -------------------------------------------------------------------

bool WriteReportTo(HANDLE output, const ReportArguments* arguments, const Baseline* baseline,
                   ReportConsole* console, ReportFiles* files, DWORD* error)
{
    ReportRun* run = (ReportRun*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ReportRun));
    if (!run) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    run->format = arguments->format;
    run->baseline = baseline;
    run->console = console;
    StartReportSink(&run->sink, output);
    HeaderTexts texts;
    ReportHeader header;
    ReadHeader(&texts, &header);
    if (run->format == REPORT_JSON)
        BeginJsonReport(&run->json, &run->sink, &header);
    else
        BeginCsvReport(&run->sink);
    ReportVisitor visitor = {run, WriteProcess, WriteStartup, ShowReadingProgress};
    // The notes a report holds are English, for the scripts that read them.
    LANGID before = SetThreadTextLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    bool gathered = GatherReport(files, &visitor);
    SetThreadTextLanguage(before);
    if (run->format == REPORT_JSON)
        EndJsonReport(&run->json);
    bool written = FlushReportSink(&run->sink) && gathered;
    *error = run->sink.failed ? run->sink.error : gathered ? 0 : ERROR_NOT_ENOUGH_MEMORY;
    HeapFree(GetProcessHeap(), 0, run);
    return written;
}

static bool WriteReport(HANDLE output, const ReportArguments* arguments, const Baseline* baseline,
                        ReportConsole* console, DWORD* error)
{
    ReportFiles files;
    StartReportFiles(&files);
    bool written = WriteReportTo(output, arguments, baseline, console, &files, error);
    FreeReportFiles(&files);
    return written;
}

// "<target>.<pid>.tmp" beside the target, so that the move stays on its volume.
static bool MakeTemporaryName(const wchar_t* target, wchar_t* full, wchar_t* temporary)
{
    DWORD length = GetFullPathNameW(target, (DWORD)PATH_CAPACITY, full, NULL);
    return length && length < PATH_CAPACITY &&
           SUCCEEDED(StringCchPrintfW(temporary, PATH_CAPACITY, L"%s.%lu.tmp", full, GetCurrentProcessId()));
}

static int WriteReportFile(const ReportArguments* arguments, const Baseline* baseline, ReportConsole* console,
                           wchar_t* full, wchar_t* temporary)
{
    if (!MakeTemporaryName(arguments->target, full, temporary)) {
        SayFailure(console, IDS_REPORT_CANNOT_WRITE, arguments->target, ERROR_FILENAME_EXCED_RANGE);
        return REPORT_FAILED;
    }
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        SayFailure(console, IDS_REPORT_CANNOT_WRITE, full, GetLastError());
        return REPORT_FAILED;
    }
    DWORD error = 0;
    bool written = WriteReport(file, arguments, baseline, console, &error);
    CloseHandle(file);
    if (written && !MoveFileExW(temporary, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        error = GetLastError();
    }
    if (!written) {
        DeleteFileW(temporary);
        SayFailure(console, IDS_REPORT_CANNOT_WRITE, full, error);
        return REPORT_FAILED;
    }
    return REPORT_WRITTEN;
}

static int WriteReportOutput(const ReportArguments* arguments, const Baseline* baseline, ReportConsole* console)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD error = ERROR_INVALID_HANDLE;
    if (output && output != INVALID_HANDLE_VALUE && WriteReport(output, arguments, baseline, console, &error))
        return REPORT_WRITTEN;
    SayFailure(console, IDS_REPORT_CANNOT_WRITE, arguments->target, error);
    return REPORT_FAILED;
}

static int RunWithArguments(const ReportArguments* arguments, ReportConsole* console)
{
    Baseline baseline;
    ZeroMemory(&baseline, sizeof(baseline));
    DWORD error = 0;
    if (arguments->baseline && !LoadBaselineFile(arguments->baseline, &baseline, &error)) {
        SayFailure(console, IDS_CANNOT_READ, arguments->baseline, error);
        return REPORT_FAILED;
    }
    const Baseline* given = arguments->baseline ? &baseline : NULL;
    int exitCode = REPORT_FAILED;
    wchar_t* paths = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, 2 * PATH_CAPACITY * sizeof(wchar_t));
    if (wcscmp(arguments->target, L"-") == 0)
        exitCode = WriteReportOutput(arguments, given, console);
    else if (paths)
        exitCode = WriteReportFile(arguments, given, console, paths, paths + PATH_CAPACITY);
    if (paths)
        HeapFree(GetProcessHeap(), 0, paths);
    FreeBaseline(&baseline);
    return exitCode;
}

int RunReportCommand(const wchar_t* commandLine)
{
    ReportConsole console;
    OpenReportConsole(&console);
    CommandArgs* args = (CommandArgs*)HeapAlloc(GetProcessHeap(), 0, sizeof(CommandArgs));
    // The tail has no program name; the splitter takes one first.
    wchar_t* line = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (COMMAND_LINE_CAPACITY + 1) * sizeof(wchar_t));
    ReportArguments arguments;
    int exitCode = BAD_COMMAND_LINE;
    if (args && line && SUCCEEDED(StringCchPrintfW(line, COMMAND_LINE_CAPACITY + 1, L"x %s", commandLine)) &&
        SplitCommandLine(line, args) && ReadReportArguments(args, &arguments)) {
        exitCode = RunWithArguments(&arguments, &console);
    } else {
        wchar_t usage[256];
        if (LoadProgramText(IDS_REPORT_USAGE, usage, ARRAYSIZE(usage)))
            SayOnConsole(&console, usage);
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    if (args)
        HeapFree(GetProcessHeap(), 0, args);
    CloseReportConsole(&console);
    return exitCode;
}
