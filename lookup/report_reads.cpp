#include "lookup/report_reads.h"
#include <strsafe.h>
#include "core/folder_tokens.h"
#include "core/ordered_reads.h"
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

// What every module is judged against: read once, then only read.
struct ModuleJudging {
    NoteFolders folders;
    KnownLibraryNames known;
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
static void ReadReportModules(const ProcessSheet* sheet, FileEvidenceSource* source, const ModuleJudging* judging,
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
    HANDLE heap = GetProcessHeap();
    ModuleSheet* read = list.count ? (ModuleSheet*)HeapAlloc(heap, 0, sizeof(ModuleSheet)) : NULL;
    ReportModule* modules = read ? (ReportModule*)HeapAlloc(heap, 0, list.count * sizeof(ReportModule)) : NULL;
    for (int i = 0; modules && i < list.count; ++i) {
        ReadModuleSheetFrom(&list.modules[i], &context, source, read);
        KeepModule(read, &modules[i]);
    }
    report->modules = modules;
    report->moduleCount = modules ? list.count : 0;
    if (read)
        HeapFree(heap, 0, read);
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

// Most of a read is waiting for another process to answer, or for the file
// system: a few are read at once, the processes and then the startup
// entries in one run, so that the readers do not idle between the two.
static const int REPORT_READERS = 8;
static const int REPORT_READ_AHEAD = 16;

struct ReportGather {
    FileEvidenceSource* source;
    const ReportVisitor* visitor;
    ProcessListing listing;
    ReportParents parents;
    ModuleJudging judging;
    StartupList* startup;
};

// One item's read: a process's, or a startup entry's.
struct ReportSlot {
    ProcessSheet sheet;
    ReportProcess process;
    StartupEvidence evidence;
    FileEvidence file;
    StartupNotes notes;
};

static void ReadListedProcess(ReportGather* gather, int item, ReportSlot* read)
{
    const ListedProcess* listed = &gather->listing.processes[gather->parents.order[item]];
    StartProcessSheet(listed->processId, listed->imageName, &read->sheet);
    ReadProcessSheetFrom(&read->sheet, gather->source, SHARED_AGE_MS);
    ZeroMemory(&read->process, sizeof(read->process));
    read->process.sheet = &read->sheet;
    read->process.modulesState = MODULES_UNREADABLE;
    if (read->sheet.process.found)
        ReadReportModules(&read->sheet, gather->source, &gather->judging, &read->process);
}

// Its parent has been handed on before it: its notes on the parent are known.
static void HandListedProcess(ReportGather* gather, int item, ReportSlot* read)
{
    const ReportVisitor* visitor = gather->visitor;
    if (visitor->progress)
        visitor->progress(visitor->context, item, gather->listing.count);
    NoteReportedParent(&gather->parents, gather->parents.order[item], CountModulesWithNotes(&read->process),
                       &read->sheet);
    visitor->process(visitor->context, &read->process);
    if (read->process.modules)
        HeapFree(GetProcessHeap(), 0, (void*)read->process.modules);
    FreeProcessSheet(&read->sheet);
}

// The entry's program is probed here too: that is asking the file system.
static void ReadListedStartup(ReportGather* gather, int entry, ReportSlot* read)
{
    StartupEntry* listed = &gather->startup->entries[entry];
    ProbeStartupProgram(listed);
    ReadStartupEvidenceFrom(listed, gather->source, &gather->judging.folders, &read->evidence, &read->file);
    ListStartupNotes(listed, read->evidence.factsRead ? &read->evidence.facts : NULL, &read->notes);
}

static void HandListedStartup(ReportGather* gather, int entry, ReportSlot* read)
{
    ReportStartup report = {&gather->startup->entries[entry], &read->evidence, &read->file, &read->notes};
    gather->visitor->startup(gather->visitor->context, &report);
}

static void ReadReportItem(void* context, int item, void* slot)
{
    ReportGather* gather = (ReportGather*)context;
    if (item < gather->listing.count)
        ReadListedProcess(gather, item, (ReportSlot*)slot);
    else
        ReadListedStartup(gather, item - gather->listing.count, (ReportSlot*)slot);
}

static void HandReportItem(void* context, int item, void* slot)
{
    ReportGather* gather = (ReportGather*)context;
    if (item < gather->listing.count)
        HandListedProcess(gather, item, (ReportSlot*)slot);
    else
        HandListedStartup(gather, item - gather->listing.count, (ReportSlot*)slot);
}

// What the readers share, read before they start: the processes and their
// order, the startup entries (their programs not yet probed), the folders
// and names every file is judged against.
static bool ListReportItems(ReportGather* gather)
{
    HANDLE heap = GetProcessHeap();
    gather->listing.processes = (ListedProcess*)HeapAlloc(heap, 0, REPORT_PROCESS_LIMIT * sizeof(ListedProcess));
    gather->startup = (StartupList*)HeapAlloc(heap, 0, sizeof(StartupList));
    if (!gather->listing.processes || !gather->startup || !WalkProcessSnapshot(ListProcess, &gather->listing) ||
        !StartParentsOf(&gather->listing, &gather->parents))
        return false;
    ListStartupEntries(gather->startup);
    ReadNoteFolders(&gather->judging.folders);
    ReadKnownLibraryNames(&gather->judging.known);
    if (!folderTableResolved)
        ResolveFolderTokens();
    return true;
}

bool GatherReport(ReportFiles* files, const ReportVisitor* visitor)
{
    HANDLE heap = GetProcessHeap();
    ReportGather* gather = (ReportGather*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ReportGather));
    if (!gather)
        return false;
    FileEvidenceSource source = ReportFilesSource(files);
    gather->source = &source;
    gather->visitor = visitor;
    bool gathered = ListReportItems(gather);
    if (gathered) {
        OrderedReads reads = {gather->listing.count + gather->startup->count,
                              REPORT_READERS,
                              REPORT_READ_AHEAD,
                              sizeof(ReportSlot),
                              gather,
                              ReadReportItem,
                              HandReportItem};
        gathered = RunOrderedReads(&reads);
    }
    FreeReportParents(&gather->parents);
    if (gather->startup)
        HeapFree(heap, 0, gather->startup);
    if (gather->listing.processes)
        HeapFree(heap, 0, gather->listing.processes);
    HeapFree(heap, 0, gather);
    return gathered;
}
