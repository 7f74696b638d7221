// What "/report" costs on a busy machine: 200 processes (copies of an idle
// program, each file run by two of them) with their modules, and 500 Run
// values naming 250 files, half of them those programs'. The report is
// written as the program writes it, in this process; then every distinct
// file it read is hashed once more (MD5 and SHA-256 in one pass, as the
// report hashes), the floor any report must pay. Prints both times, their
// ratio, the files read against the distinct files, and the peak memory.
//   bench_report.exe [processes (200)] [startup entries (500)] [rounds (3)]
#include <windows.h>
#include <psapi.h>
#include <objbase.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "app/app_state.h"
#include "app/report_command.h"
#include "core/file_fingerprint.h"
#include "lookup/report_files.h"
#include "lookup/report_reads.h"
#include "core/process_command_line.h"
#include "core/process_modules.h"
#include "core/mapped_images.h"
#include "core/ordered_reads.h"
#include <winternl.h>
#include <tlhelp32.h>
#include "lookup/module_reads.h"
#include "lookup/note_facts.h"
#include "lookup/startup_entries.h"
#include "lookup/version_strings.h"
#include "test_support.h"

namespace {

// Counts what a gather hands on.
int visitedProcesses, visitedModules, visitedStartup;
void CountProcess(void*, const ReportProcess* process)
{
    ++visitedProcesses;
    visitedModules += process->moduleCount;
}
void CountStartup(void*, const ReportStartup*)
{
    ++visitedStartup;
}

const wchar_t FOLDER[] = L"C:\\tavrowen-bench-report";
const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

// A copy of the idle program made its own file: a few bytes after its end.
std::wstring PlaceCopy(int number)
{
    wchar_t path[MAX_PATH];
    wsprintfW(path, L"%s\\idle_%03d.exe", FOLDER, number);
    CopyFileW(BinPath(L"idle_process.exe").c_str(), path, FALSE);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, 0, NULL, OPEN_EXISTING, 0, NULL);
    DWORD written = 0;
    WriteFile(file, &number, sizeof(number), &written, NULL);
    CloseHandle(file);
    return path;
}

int RunningProcesses()
{
    DWORD ids[8192], bytes = 0;
    EnumProcesses(ids, sizeof(ids), &bytes);
    return (int)(bytes / sizeof(DWORD));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor under any report of these processes under Wine: the system's own
// calls that read what a report holds of each process, with nothing of ours
// around them, on as many readers as the report uses: its handle, start,
// file, user and command line, the loader's list of its modules, and the walk
// over its address space (stepping over each image as the report does).
typedef LONG(WINAPI* QueryInformationProcessProc)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
QueryInformationProcessProc queryInformation;
typedef BOOL(WINAPI* QueryImageNameProc)(HANDLE, DWORD, wchar_t*, DWORD*);
QueryImageNameProc queryImageName;

void ReadCommandLineBare(HANDLE process)
{
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG size = 0;
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    SIZE_T got = 0;
    wchar_t text[4096];
    if (queryInformation(process, ProcessBasicInformation, &basic, sizeof(basic), &size) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), &got) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), &got))
        ReadProcessMemory(process, parameters.CommandLine.Buffer, text,
                          std::min<SIZE_T>(sizeof(text), parameters.CommandLine.Length), &got);
}

void WalkSpaceBare(HANDLE process)
{
    MEMORY_BASIC_INFORMATION region;
    const BYTE* address = NULL;
    while (VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region)) {
        const BYTE* next = (const BYTE*)region.BaseAddress + region.RegionSize;
        if (region.Type == MEM_IMAGE && region.AllocationBase == region.BaseAddress) {
            wchar_t name[MAX_PATH];
            GetMappedFileNameW(process, region.BaseAddress, name, MAX_PATH);
            BYTE header[4096];
            SIZE_T got = 0;
            IMAGE_DOS_HEADER dos;
            DWORD imageSize = 0;
            MEMORY_BASIC_INFORMATION last;
            if (ReadProcessMemory(process, region.BaseAddress, header, sizeof(header), &got) &&
                (memcpy(&dos, header, sizeof(dos)), dos.e_lfanew > 0 && dos.e_lfanew < 3000) &&
                (memcpy(&imageSize, header + dos.e_lfanew + 4 + sizeof(IMAGE_FILE_HEADER) + 56, 4), imageSize > 4096) &&
                VirtualQueryEx(process, (const BYTE*)region.BaseAddress + ((imageSize - 1) & ~4095u), &last,
                               sizeof(last)) == sizeof(last) &&
                last.AllocationBase == region.BaseAddress)
                next = std::max(next, (const BYTE*)last.BaseAddress + last.RegionSize);
        }
        if (next <= address)
            break;
        address = next;
    }
}

void ReadProcessBare(void* context, int item, void*)
{
    DWORD processId = (*(std::vector<DWORD>*)context)[item];
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process)
        return;
    FILETIME times[4];
    GetProcessTimes(process, &times[0], &times[1], &times[2], &times[3]);
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    queryImageName(process, 0, path, &length);
    HANDLE token = NULL;
    if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
        BYTE user[256];
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, user, sizeof(user), &size);
        CloseHandle(token);
    }
    ReadCommandLineBare(process);
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId);
    if (modules != INVALID_HANDLE_VALUE) {
        MODULEENTRY32W entry = {sizeof(entry)};
        for (BOOL more = Module32FirstW(modules, &entry); more; more = Module32NextW(modules, &entry))
            continue;
        CloseHandle(modules);
    }
    WalkSpaceBare(process);
    CloseHandle(process);
}

void HandNothing(void*, int, void*) {}

// Every distinct file hashed once, as the report's floor hashes them.
DWORD WINAPI HashEveryFile(LPVOID parameter)
{
    const ReportFiles* table = (const ReportFiles*)parameter;
    for (int i = 0; i < table->count; ++i) {
        FileFingerprint fingerprint;
        ComputeFileDigests(table->files[i].readable, NULL, NULL, true, &fingerprint);
    }
    return 0;
}

// With `table`, every file is hashed on a thread beside the calls: the time until both are done.
double MeasureBareProcessReads(const ReportFiles* table)
{
    queryInformation =
        (QueryInformationProcessProc)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess");
    queryImageName =
        (QueryImageNameProc)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW");
    std::vector<DWORD> processIds;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof(entry)};
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        processIds.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    double start = Now();
    HANDLE hashing = table ? CreateThread(NULL, 0, HashEveryFile, (LPVOID)table, 0, NULL) : NULL;
    OrderedReads reads = {(int)processIds.size(), 8, 16, 1, &processIds, ReadProcessBare, HandNothing};
    RunOrderedReads(&reads);
    if (hashing) {
        WaitForSingleObject(hashing, INFINITE);
        CloseHandle(hashing);
    }
    return Now() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    int processes = argc > 1 ? atoi(argv[1]) : 200;
    int entries = argc > 2 ? atoi(argv[2]) : 500;
    int rounds = argc > 3 ? atoi(argv[3]) : 3;
    appState.instance = GetModuleHandleW(NULL);
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    CreateDirectoryW(FOLDER, NULL);
    int programs = processes / 2, files = entries / 2;
    std::vector<std::wstring> paths;
    for (int i = 0; i < std::max(programs, files); ++i)
        paths.push_back(PlaceCopy(i));
    for (int i = 0; i < entries; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"BenchEntry%03d", i);
        std::wstring command = L"\"" + paths[i % files] + L"\" /entry";
        WriteRegistryValue(HKEY_CURRENT_USER, RUN, name, REG_SZ, command.c_str(),
                           (DWORD)((command.size() + 1) * sizeof(wchar_t)));
    }
    std::vector<PROCESS_INFORMATION> started;
    int before = RunningProcesses();
    for (int i = 0; i < processes; ++i) {
        PROCESS_INFORMATION process;
        if (StartProgram(paths[i % programs], L"", &process))
            started.push_back(process);
    }
    WaitUntil([&] { return RunningProcesses() >= before + (int)started.size(); }, 300000, 200);
    Sleep(2000);
    printf("%d processes running (%d started), %d Run values naming %d files\n", RunningProcesses(),
           (int)started.size(), entries, files);

    std::vector<double> reportTimes, hashTimes, bareTimes, besideTimes;
    ReportArguments arguments = {L"C:\\tavrowen-bench-report\\report.json", NULL, REPORT_JSON};
    for (int round = 0; round < rounds; ++round) {
        ReportFiles table;
        StartReportFiles(&table);
        HANDLE output = CreateFileW(arguments.target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD error = 0;
        double start = Now();
        bool written = WriteReportTo(output, &arguments, NULL, NULL, &table, &error);
        reportTimes.push_back(Now() - start);
        LARGE_INTEGER size = {};
        GetFileSizeEx(output, &size);
        CloseHandle(output);
        start = Now();
        for (int i = 0; i < table.count; ++i) {
            FileFingerprint fingerprint;
            ComputeFileDigests(table.files[i].readable, NULL, NULL, true, &fingerprint);
        }
        hashTimes.push_back(Now() - start);
        double bare = MeasureBareProcessReads(NULL), beside = MeasureBareProcessReads(&table);
        bareTimes.push_back(bare);
        besideTimes.push_back(beside);
        printf("  the system's own calls for the processes alone, on the report's 8 readers: %.3f s; "
               "with every file hashed beside them: %.3f s\n", bare, beside);
        // Where the rest goes: the signers and version strings of the same files, the startup list.
        start = Now();
        for (int i = 0; i < table.count; ++i) {
            SignerCheck check;
            CheckFileSigner(table.files[i].path, NULL, &check);
        }
        double signers = Now() - start;
        start = Now();
        for (int i = 0; i < table.count; ++i) {
            SheetVersionStrings version;
            ReadSheetVersionStrings(table.files[i].readable, &version);
        }
        double versions = Now() - start;
        // The same gather again with every file's evidence already in the table: what is not the files.
        ReportVisitor counting = {NULL, CountProcess, CountStartup, NULL};
        visitedProcesses = visitedModules = visitedStartup = 0;
        start = Now();
        GatherReport(&table, &counting);
        printf("  a gather with every file known: %.3f s for %d processes, %d modules, %d startup entries\n",
               Now() - start, visitedProcesses, visitedModules, visitedStartup);
        {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32W entry = {sizeof(entry)};
            double modulesTime = 0, sheetTime = 0, mappedTime = 0, moduleSheetsTime = 0;
            struct Judging {
                NoteFolders folders;
                KnownLibraryNames known;
                ModuleSheet sheet;
            };
            Judging* judging = (Judging*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Judging));
            ReadNoteFolders(&judging->folders);
            ReadKnownLibraryNames(&judging->known);
            int mappedCount = 0;
            ProcessSheet* sheet = (ProcessSheet*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessSheet));
            FileEvidenceSource source = ReportFilesSource(&table);
            for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
                start = Now();
                StartProcessSheet(entry.th32ProcessID, entry.szExeFile, sheet);
                ReadProcessSheetFrom(sheet, &source, 600000);
                sheetTime += Now() - start;
                start = Now();
                unsigned long long started = 0;
                HANDLE process = OpenListedProcess(entry.th32ProcessID, 0, &started);
                ProcessModuleList modules;
                ReadProcessModules(process, entry.th32ProcessID, sheet->process.file.path, &modules);
                if (process)
                    CloseHandle(process);
                modulesTime += Now() - start;
                // Each module's facts and notes, its file's evidence already in the table.
                start = Now();
                ModuleProcessContext context = {entry.th32ProcessID, entry.szExeFile, sheet->process.file.path,
                                                sheet->process.startTime, NULL, &judging->folders, &judging->known};
                for (int i = 0; i < modules.count; ++i)
                    ReadModuleSheetFrom(&modules.modules[i], &context, &source, &judging->sheet);
                moduleSheetsTime += Now() - start;
                FreeProcessModules(&modules);
                start = Now();
                process = OpenListedProcess(entry.th32ProcessID, 0, &started);
                VisitMappedImages(process, [](const wchar_t*, void* c) { ++*(int*)c; return true; }, &mappedCount);
                if (process)
                    CloseHandle(process);
                mappedTime += Now() - start;
                FreeProcessSheet(sheet);
            }
            CloseHandle(snapshot);
            HeapFree(GetProcessHeap(), 0, sheet);
            HeapFree(GetProcessHeap(), 0, judging);
            printf("  of which: the sheets %.3f s, the module lists alone %.3f s (their mapped images %.3f s, %d), "
                   "the modules' facts and notes %.3f s\n",
                   sheetTime, modulesTime, mappedTime, mappedCount, moduleSheetsTime);
        }
        StartupList* list = (StartupList*)HeapAlloc(GetProcessHeap(), 0, sizeof(StartupList));
        start = Now();
        ReadStartupEntries(list);
        double startup = Now() - start;
        HeapFree(GetProcessHeap(), 0, list);
        printf("  of which at most: signers %.3f s, version strings %.3f s, one startup list %.3f s\n", signers,
               versions, startup);
        printf("round %d: report %.3f s (%s, %lld bytes), hashing %d distinct files (%.1f MiB) once %.3f s; "
               "files read %d\n",
               round + 1, reportTimes.back(), written ? "written" : "FAILED", size.QuadPart, table.count,
               table.bytesRead / 1048576.0, hashTimes.back(), table.reads);
        if (table.reads != table.count)
            printf("FAIL: %d reads for %d distinct files\n", table.reads, table.count);
        FreeReportFiles(&table);
    }
    double report = Median(reportTimes), hash = Median(hashTimes);
    PROCESS_MEMORY_COUNTERS memory = {sizeof(memory)};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    printf("median: report %.3f s, hashing every distinct file once %.3f s, ratio %.2f (at most 1.5)\n", report,
           hash, report / hash);
    double bare = Median(bareTimes);
    double beside = Median(besideTimes);
    printf("median: the system's own calls for the processes %.3f s, %.2f times the hashing; with the hashing "
           "beside them %.3f s, %.2f times (the floor under the ratio)\n", bare, bare / hash, beside, beside / hash);
    printf("peak memory of this process: working set %.1f MiB, private %.1f MiB\n",
           memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
    for (PROCESS_INFORMATION& process : started)
        EndProgram(&process);
    return 0;
}
