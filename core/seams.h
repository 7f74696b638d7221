// The system calls the tests replace, held in one record. Each field starts
// as the real call (core/seam_defaults.cpp); a test puts its own in its place
// to reach what Wine never produces (an unelevated Vista, a read failing
// part-way, a path query that fails), and the test listener puts the real
// ones back after every test.
//
// The rules: product code makes each of these calls through its seam on
// every path, never directly, so a fake reaches all of them; and a seam is
// changed only while no background job runs (the lanes' threads read the
// record unlocked), or the dependency is passed in with the job instead.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include "core/process_snapshot.h"
#include "core/seam_types.h"

typedef BOOL (WINAPI* GetVersionProc)(LPOSVERSIONINFOW);
typedef BOOL (WINAPI* GetTokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
typedef BOOL (WINAPI* ReadFileProc)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
typedef BOOL (WINAPI* FileInformationProc)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
typedef bool (*ImagePathQueryProc)(DWORD processId, wchar_t* exePath /* MAX_PATH */);
typedef HINSTANCE (WINAPI* ShellExecuteProc)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
typedef bool (*ProcessPathSource)(const PROCESSENTRY32W* process, wchar_t* exePath /* MAX_PATH */);
typedef void (*VersionInfoLoader)(VersionInfoBlock* block, const wchar_t* path);
typedef bool (*ShellElevationProbe)();
typedef bool (*ShellOpener)(const wchar_t* address);
typedef LONG (WINAPI* VerifyTrustProc)(HWND, GUID*, LPVOID);
typedef bool (*OpenCatalogSearchProc)(HANDLE file, CatalogHash algorithm, CatalogSearch* search);
typedef bool (*NextCatalogVerdictProc)(CatalogSearch* search, const wchar_t* path, HANDLE file,
                                       SignerVerdict* verdict, wchar_t* signer /* SIGNER_NAME_CAPACITY */);
typedef void (*CloseCatalogSearchProc)(CatalogSearch* search);
typedef BOOL (WINAPI* EnumProcessIdsProc)(DWORD* ids, DWORD bytes, DWORD* bytesReturned);
typedef bool (*ProcessWalkProc)(ProcessVisitor visit, void* context);
typedef HANDLE (WINAPI* OpenProcessProc)(DWORD access, BOOL inherit, DWORD processId);
typedef bool (*ShellDispatchOpener)(struct IShellDispatch2* shell, const wchar_t* address);
typedef HRESULT (WINAPI* WindowAttributeProc)(HWND, DWORD attribute, LPCVOID value, DWORD size);
struct ProcessModuleList;
typedef void (*ProcessModulesReader)(HANDLE process, DWORD processId, const wchar_t* executable, ProcessModuleList* list);
typedef HANDLE (WINAPI* CreateThreadProc)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);

struct SystemSeams {
    GetVersionProc getVersion;                    // every Windows version probe
    GetTokenInformationProc getTokenInformation;  // the elevation probe
    ReadFileProc readFile;                        // every fingerprint read
    FileInformationProc fileInformation;          // a fingerprinted file's size and time
    ImagePathQueryProc imagePathQuery;            // the locator's image path fallback
    ShellExecuteProc shellExecute;                // opening a lookup address
    ShellElevationProbe desktopShellElevated;     // whether the desktop shell runs elevated
    ShellOpener openAsDesktopShell;               // opening an address with the shell's rights
    ProcessPathSource processPathSource;          // a listed process's executable
    VersionInfoLoader loadVersionInfo;            // a listed file's version resource
    VerifyTrustProc verifyTrust;                  // every signature check (WinVerifyTrust)
    OpenCatalogSearchProc openCatalogSearch;      // the system catalogs, which Wine lacks:
    NextCatalogVerdictProc findNextCatalogVerdict;  // hashing the file, finding the catalogs
    CloseCatalogSearchProc closeCatalogSearch;    // that hold it, verifying it as their member
    EnumProcessIdsProc enumProcessIds;            // the quick look at the running processes
    ProcessWalkProc walkProcesses;                // and its snapshot
    OpenProcessProc openProcess;                  // and the handle each row holds
    ShellDispatchOpener shellDispatchOpen;        // the desktop shell's own ShellExecute
    WindowAttributeProc setWindowAttribute;       // DwmSetWindowAttribute: the dark title bar
    CreateThreadProc createThread;                // a background lane's worker
    ProcessModulesReader readProcessModules;      // the images loaded in a process
};

extern SystemSeams seams;
