// Resolves the folder-token table and ends normally; a handler registered
// before the resolution runs after the table's own release and writes what
// it finds to the file named on the command line: "released" or "kept".
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "core/folder_tokens.h"

static char reportPath[MAX_PATH];

static void ReportTable()
{
    bool released = !folderTableResolved;
    for (int i = 0; i < FOLDER_TOKEN_ROWS; ++i)
        released = released && folderTokenTable.rows[i].path == NULL;
    FILE* report = fopen(reportPath, "w");
    if (report) {
        fputs(released ? "released" : "kept", report);
        fclose(report);
    }
}

int main(int argc, char** argv)
{
    if (argc < 2 || strlen(argv[1]) >= sizeof(reportPath))
        return 2;
    strcpy(reportPath, argv[1]);
    atexit(ReportTable);
    wchar_t output[FOLDER_TOKEN_TEXT_CAPACITY];
    ApplyFolderTokens(L"C:\\windows", output);
    // Something must have resolved, or the probe proves nothing.
    return folderTableResolved && wcscmp(output, L"%windir%") == 0 ? 0 : 4;
}
