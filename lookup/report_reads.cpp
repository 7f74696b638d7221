#include "lookup/report_reads.h"
#include <strsafe.h>
#include "core/process_command_line.h"
#include "core/process_modules.h"
#include "core/process_snapshot.h"
#include "lookup/note_facts.h"
#include "lookup/report_parents.h"
#include "lookup/startup_entries.h"

// What every process shares is read once for the report: a reading of this
// age serves the rest (a report of a busy machine takes a while).
static const DWORD SHARED_AGE_MS = 10 * 60 * 1000;
// Far more than a machine runs; those beyond are left out.
static const int REPORT_PROCESS_LIMIT = 16384;

struct ListedProcess {
    DWORD processId;
    DWORD parentId;
    wchar_t imageName[MAX_PATH];
};

struct ProcessListing {
    ListedProcess* processes;
    int count;
};

static void ListProcess(const PROCESSENTRY32W* process, void* context)
{
    ProcessListing* listing = (ProcessListing*)context;
    // The idle process is no program.
    if (process->th32ProcessID == 0 || listing->count >= REPORT_PROCESS_LIMIT)
        return;
    ListedProcess* listed = &listing->processes[listing->count++];
    listed->processId = process->th32ProcessID;
    listed->parentId = process->th32ParentProcessID;
    StringCchCopyW(listed->imageName, ARRAYSIZE(listed->imageName), process->szExeFile);
}

// What every module of one process is judged against.
struct ModuleJudging {
    NoteFolders folders;
    KnownLibraryNames known;
    ModuleSheet sheet;
};

static void KeepModule(const ModuleSheet* sheet, ReportModule* module)
{
    StringCchCopyW(module->path, ARRAYSIZE(module->path), sheet->module.path);
    module->evidenceRead = sheet->digestsRead;
    module->digests = sheet->digests;
    module->signer = sheet->signer;
    module->notes = sheet->notes;
}

// The process's modules, each file through the report's table.
static void ReadReportModules(const ProcessSheet* sheet, FileEvidenceSource* source, ModuleJudging* judging,
                              ReportProcess* report)
{
    unsigned long long started = 0;
    HANDLE process = OpenListedProcess(sheet->process.processId, sheet->process.startTime, &started);
    const FileFacts* file = &sheet->process.file;
    bool verified = sheet->signerRead && sheet->signer.verdict == SIGNER_VERIFIED;
    ModuleProcessContext context = {sheet->process.processId, sheet->process.imageName,
                                    file->access != FILE_NOT_LOCATED ? file->path : NULL, sheet->process.startTime,
                                    verified ? sheet->signer.signer : NULL, &judging->folders, &judging->known};
    ProcessModuleList list;
    ReadProcessModules(process, sheet->process.processId, context.executable, &list);
    report->modulesState = list.state;
    ReportModule* modules =
        list.count ? (ReportModule*)HeapAlloc(GetProcessHeap(), 0, list.count * sizeof(ReportModule)) : NULL;
    for (int i = 0; modules && i < list.count; ++i) {
        ReadModuleSheetFrom(&list.modules[i], &context, source, &judging->sheet);
        KeepModule(&judging->sheet, &modules[i]);
    }
    report->modules = modules;
    report->moduleCount = modules ? list.count : 0;
    FreeProcessModules(&list);
    if (process)
        CloseHandle(process);
}

static int CountModulesWithNotes(const ReportProcess* report)
{
    int count = 0;
    for (int i = 0; i < report->moduleCount; ++i)
        count += report->modules[i].notes.count > 0 ? 1 : 0;
    return count;
}

static void ReportOneProcess(const ListedProcess* listed, FileEvidenceSource* source, ModuleJudging* judging,
                             ProcessSheet* sheet, ReportParents* parents, int index, const ReportVisitor* visitor)
{
    StartProcessSheet(listed->processId, listed->imageName, sheet);
    ReadProcessSheetFrom(sheet, source, SHARED_AGE_MS);
    ReportProcess report;
    ZeroMemory(&report, sizeof(report));
    report.sheet = sheet;
    report.modulesState = MODULES_UNREADABLE;
    if (sheet->process.found)
        ReadReportModules(sheet, source, judging, &report);
    NoteReportedParent(parents, index, CountModulesWithNotes(&report), sheet);
    visitor->process(visitor->context, &report);
    if (report.modules)
        HeapFree(GetProcessHeap(), 0, (void*)report.modules);
    FreeProcessSheet(sheet);
}

// The report's order: parents before their children.
static bool StartParentsOf(const ProcessListing* listing, ReportParents* parents)
{
    HANDLE heap = GetProcessHeap();
    size_t room = listing->count > 0 ? (size_t)listing->count : 1;
    DWORD* ids = (DWORD*)HeapAlloc(heap, 0, 2 * room * sizeof(DWORD));
    if (!ids)
        return false;
    for (int i = 0; i < listing->count; ++i) {
        ids[i] = listing->processes[i].processId;
        ids[room + i] = listing->processes[i].parentId;
    }
    bool started = StartReportParents(ids, ids + room, listing->count, parents);
    HeapFree(heap, 0, ids);
    return started;
}

static bool GatherProcesses(FileEvidenceSource* source, const ReportVisitor* visitor)
{
    HANDLE heap = GetProcessHeap();
    ProcessListing listing = {(ListedProcess*)HeapAlloc(heap, 0, REPORT_PROCESS_LIMIT * sizeof(ListedProcess)), 0};
    ModuleJudging* judging = (ModuleJudging*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ModuleJudging));
    ProcessSheet* sheet = (ProcessSheet*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ProcessSheet));
    ReportParents parents;
    ZeroMemory(&parents, sizeof(parents));
    bool gathered = listing.processes && judging && sheet && WalkProcessSnapshot(ListProcess, &listing) &&
                    StartParentsOf(&listing, &parents);
    if (gathered) {
        ReadNoteFolders(&judging->folders);
        ReadKnownLibraryNames(&judging->known);
    }
    for (int i = 0; gathered && i < listing.count; ++i) {
        if (visitor->progress)
            visitor->progress(visitor->context, i, listing.count);
        int index = parents.order[i];
        ReportOneProcess(&listing.processes[index], source, judging, sheet, &parents, index, visitor);
    }
    FreeReportParents(&parents);
    if (sheet)
        HeapFree(heap, 0, sheet);
    if (judging)
        HeapFree(heap, 0, judging);
    if (listing.processes)
        HeapFree(heap, 0, listing.processes);
    return gathered;
}

struct StartupJudging {
    NoteFolders folders;
    StartupEvidence evidence;
    FileEvidence file;
    StartupNotes notes;
};

static bool GatherStartup(FileEvidenceSource* source, const ReportVisitor* visitor)
{
    HANDLE heap = GetProcessHeap();
    StartupList* list = (StartupList*)HeapAlloc(heap, 0, sizeof(StartupList));
    StartupJudging* judging = (StartupJudging*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(StartupJudging));
    bool gathered = list && judging;
    if (gathered) {
        ReadStartupEntries(list);
        ReadNoteFolders(&judging->folders);
    }
    for (int i = 0; gathered && i < list->count; ++i) {
        const StartupEntry* entry = &list->entries[i];
        ReadStartupEvidenceFrom(entry, source, &judging->folders, &judging->evidence, &judging->file);
        ListStartupNotes(entry, judging->evidence.factsRead ? &judging->evidence.facts : NULL, &judging->notes);
        ReportStartup report = {entry, &judging->evidence, &judging->file, &judging->notes};
        visitor->startup(visitor->context, &report);
    }
    if (judging)
        HeapFree(heap, 0, judging);
    if (list)
        HeapFree(heap, 0, list);
    return gathered;
}

bool GatherReport(ReportFiles* files, const ReportVisitor* visitor)
{
    FileEvidenceSource source = ReportFilesSource(files);
    bool processes = GatherProcesses(&source, visitor);
    return GatherStartup(&source, visitor) && processes;
}
