// The rows of the Running Processes window: every running process with its
// executable, description, company, verified signer, folder and icon, matched
// against each new snapshot instead of rebuilt. No window: the window shows what this holds.
#pragma once
#include <windows.h>
#include "app/row_details.h"

enum ProcessColumn {
    COLUMN_PROCESS,
    COLUMN_PID,
    COLUMN_DESCRIPTION,
    COLUMN_COMPANY,
    COLUMN_SIGNER,
    COLUMN_FOLDER,
    COLUMN_COUNT
};

// One running process; its icon, version strings and folder are read once,
// on the details reader, after the process first appears.
struct ProcessRow {
    DWORD processId;
    // Held while the row lives: no new process can take the PID meanwhile,
    // so the PID alone tells it apart. Null when the process cannot be opened;
    // then its creation time does.
    HANDLE process;
    ULONGLONG createdAt;
    bool hasPath;
    bool seen;    // in the latest snapshot
    bool listed;  // shown by the window, that is passing its filter
    LONG detailsId;  // the request reading this row's file; 0 once filled in
    LONG signerId;   // the request checking its signer; 0 once checked (or for no file)
    bool verified;   // its signer is a verified name
    int iconIndex;
    wchar_t imageName[MAX_PATH];
    wchar_t exePath[MAX_PATH];
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
    wchar_t signer[SIGNER_NAME_CAPACITY + 32];  // as shown: a name, "(Not signed)", "Checking..."
};

struct ProcessList {
    ProcessRow** rows;
    int rowCount;
    int rowCapacity;
    int genericIcon;  // the icon index of a row without a file
    HWND detailsWindow;  // told when a row's file details are read and its signer checked
    const wchar_t* checkingText;  // a signer being checked: "Checking..."
};

// Brings the rows in line with the running processes: new ones are added,
// and the rows of processes that ended have `seen` cleared. False when
// nothing was looked at again (the same processes run, or no snapshot).
bool RefreshProcessList(ProcessList* list);
// Fills in a row whose details request has been read.
void FillRowDetails(ProcessRow* row, const RowDetails* details);
// Fills in a row whose signer has been checked.
void FillRowSigner(ProcessRow* row, const SignerCheck* check);
// Frees the rows whose processes ended (not seen by the latest refresh).
void DropExitedRows(ProcessList* list);
void FreeProcessList(ProcessList* list);

// The filter's text is in the name, description, company or signer; with
// `unverifiedOnly`, the signer is also not a verified name.
bool RowMatchesFilter(const ProcessRow* row, const wchar_t* filter, bool unverifiedOnly);
// The one order of the rows, ascending: the column, then the image name,
// then the PID.
int CompareProcessRows(const ProcessRow* a, const ProcessRow* b, int column);
