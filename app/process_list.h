// The rows of the Running Processes window: every running process with its
// executable, description, company, verified signer, folder and icon, matched
// against each new snapshot instead of rebuilt, and the order in which those
// passing the filter are shown. No window: the window shows what this holds,
// and asks for the reads its rows need.
#pragma once
#include <windows.h>
#include "core/executable_locator.h"
#include "core/folder_tokens.h"
#include "core/signer_check.h"
#include "core/version_info.h"
#include "lookup/host_payload.h"

enum ProcessColumn {
    COLUMN_PROCESS,
    COLUMN_PID,
    COLUMN_DESCRIPTION,
    COLUMN_COMPANY,
    COLUMN_SIGNER,
    COLUMN_FOLDER,
    COLUMN_RUNS,
    COLUMN_NOTES,
    COLUMN_COMMAND_LINE,
    COLUMN_PARENT,
    COLUMN_COUNT
};

// The Notes cell ("2: Claims to be from ...") and every note, one a line (app/row_notes).
const int ROW_NOTES_CELL_CAPACITY = 560;
const int ROW_NOTES_CAPACITY = 1600;
// A row tells of at most this many of its modules with notes.
const int ROW_MODULE_NOTES = 3;
// "<name> (<PID>)" of the parent, or "(exited)".
const int PARENT_CELL_CAPACITY = MAX_PATH + 16;
// The notes a row has from its parent (app/row_notes), one a line.
const int ROW_PARENT_NOTES_CAPACITY = 2 * (MAX_PATH + 64);
const int ROW_PARENT_NOTES = 2;
// The text id of each line of a row's notes, for its explanation: the file's,
// its modules' and its parent's.
const int ROW_NOTE_TEXTS = 14 + ROW_MODULE_NOTES + ROW_PARENT_NOTES;

// What a read of a row's file gives.
struct RowDetails {
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
    int iconIndex;  // in the system's small image list; -1 when the shell gave none
};

// One file a row's process runs besides its executable (app/row_payloads).
struct PayloadFile {
    wchar_t* path;    // heap; full path
    wchar_t* signer;  // heap; as shown, NULL until checked
    bool verified;
};

// What a row's process runs, read once in the background; every text on the
// heap, as long as it is, so a row costs only what its process shows.
struct RowPayload {
    wchar_t* commandLine;  // empty when it could not be read
    wchar_t* runs;         // the "Runs" cell
    wchar_t* text;         // the address or decoded command (textKind), shown in the tip
    HostTextKind textKind;
    bool unknown;          // runs what no verified file tells (HostPayload's `unknown`)
    int fileCount;
    PayloadFile files[HOST_PAYLOAD_FILES];
};

// One running process; its icon, version strings and folder are read once,
// in the background, after the process first appears.
struct ProcessRow {
    DWORD processId;
    // Held while the row lives: no new process can take the PID meanwhile,
    // so the PID alone tells it apart. Null when the process cannot be opened;
    // then its creation time does.
    HANDLE process;
    ULONGLONG createdAt;
    bool hasPath;
    bool pathReported;  // its path is what the process itself reports (XP): never verified
    bool seen;       // in the latest snapshot
    bool readsAsked; // its file's reads are asked for (or it has no file)
    int shownAt;     // its place among the shown rows; -1 when the filter hides it
    LONG detailsId;  // the job reading this row's file; 0 once filled in
    LONG signerId;   // the job checking its signer; 0 once checked (or for no file)
    bool verified;   // its signer is a verified name
    bool payloadAsked;      // what it runs is asked for
    LONG payloadId;         // the job reading its command line and payload; 0 once read
    LONG payloadSignerId;   // the job checking its payload files' signers; 0 once checked
    bool payloadUnverified; // a payload file is not (yet) a verified name, or what runs is unknown
    RowPayload* payload;    // NULL until read
    int iconIndex;
    wchar_t imageName[MAX_PATH];
    wchar_t exePath[PROCESS_PATH_CAPACITY];
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
    wchar_t signer[SIGNER_NAME_CAPACITY + 32];  // as shown: a name, "(Not signed)", "Checking..."
    bool notesAsked;
    LONG notesId;    // the job reading its notes; 0 once read
    int noteCount;
    bool modulesUnverified;  // it loads a module with a note that does not verify
    wchar_t notesCell[ROW_NOTES_CELL_CAPACITY];
    wchar_t notes[ROW_NOTES_CAPACITY];
    int noteTextCount;
    UINT noteTexts[ROW_NOTE_TEXTS];
    // The process that started it: its PID from the snapshot, and its row,
    // linked anew after each refresh (NULL once it exited or its PID is a
    // newer process's).
    DWORD parentId;
    ProcessRow* parentRow;
    wchar_t parentCell[PARENT_CELL_CAPACITY];
    // Notes on its parent, kept apart so that its own notes can arrive later.
    bool documentParentNoted;
    bool documentParentChecked;  // whether the parent is a document program was asked
    bool notedParentNoted;
    int parentNoteCount;
    wchar_t parentNotes[ROW_PARENT_NOTES_CAPACITY];
    UINT parentNoteTexts[ROW_PARENT_NOTES];
    // The tree: its place as last shown, and its children shown or not.
    bool collapsed;
    bool hasChildren;  // shown children, under the filter
    int depth;
    bool kept;                 // ShowMatchingRows's own: matches, or a matching row's ancestor
    ProcessRow* firstChild;    // likewise: the kept children, in the view's order
    ProcessRow* nextSibling;
};

// Which rows are shown, and in what order.
struct RowView {
    const wchar_t* filter;
    bool unverifiedOnly;
    int sortColumn;
    bool descending;
    bool tree;  // each row under its parent, matching rows' ancestors kept
};

struct ProcessList {
    ProcessRow** rows;  // every process, in PID order
    int rowCount;
    int rowCapacity;
    ProcessRow** shown; // those passing the filter, in the view's order
    int shownCount;
    int shownCapacity;
    int genericIcon;    // the icon index of a row without a file
    bool shownAsTree;   // the shown rows stand under their parents
    // The shown places of rows given new text since the window last drew
    // them, so it draws those rows alone.
    bool anyChanged;
    int changedFirst;
    int changedLast;
};

// Brings the rows in line with the running processes: new ones are added,
// and the rows of processes that ended have `seen` cleared. False when
// nothing was looked at again (the same processes run, or no snapshot).
bool RefreshProcessList(ProcessList* list);
// Fills in the row whose details job has that id, or whose signer job has
// that id; returns how many rows took it. A file changed after its process
// started is never a verified one: `changedText` follows the signer then;
// nor is one whose path only the process itself reports, which says so.
int FillRowDetails(ProcessList* list, LONG id, const RowDetails* details);
int FillRowSigner(ProcessList* list, LONG id, const SignerCheck* check, const wchar_t* changedText);
// Adds a shown row to the rows to draw again.
void MarkRowChanged(ProcessList* list, const ProcessRow* row);
// The shown places to draw again (false: none), cleared.
bool TakeChangedRows(ProcessList* list, int* first, int* last);
// Frees the rows whose processes ended (not seen by the latest refresh),
// then links each row to its parent's row anew.
void DropExitedRows(ProcessList* list);
void FreeProcessList(ProcessList* list);
// Frees a payload record and every text in it; NULL is ignored.
void FreeRowPayload(RowPayload* payload);
// The row's "Runs" cell and command line; "" before they are read.
const wchar_t* RowRuns(const ProcessRow* row);
const wchar_t* RowCommandLine(const ProcessRow* row);

// Picks and orders the shown rows anew; false when memory ran out (then
// nothing is shown).
bool ShowMatchingRows(ProcessList* list, const RowView* view);
// Every row below the shown row at `index` is expanded (`*`), or the row
// alone is expanded or collapsed; false when nothing changed.
bool ExpandShownRow(ProcessList* list, int index, bool expand, bool everyLevel);
// The shown row at `index`, or NULL.
ProcessRow* ShownRow(const ProcessList* list, int index);
// The place of the process's row among the shown ones, or -1.
int FindShownProcess(const ProcessList* list, DWORD processId);
// The first shown row from `start` on (wrapping) whose name starts with
// `prefix`, folding A to Z; -1 when none does.
int FindShownName(const ProcessList* list, const wchar_t* prefix, int start);

// The filter's text is in the name, description, company, signer, "Runs",
// notes or command line; with `unverifiedOnly`, the executable's signer or
// a payload file's is also not a verified name.
bool RowMatchesFilter(const ProcessRow* row, const wchar_t* filter, bool unverifiedOnly);
// The one order of the rows, ascending: the column, then the image name,
// then the PID.
int CompareProcessRows(const ProcessRow* a, const ProcessRow* b, int column);
