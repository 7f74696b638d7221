// What a process runs besides its own executable, in one record:
// its services and their DLLs, the DLL, script, package or archive its
// command line names (resolved to full paths), the text it runs (an address,
// a decoded command), and the "Runs" cell. Any thread; each call reads the
// service manager, the registry and the file system afresh and keeps nothing.
#pragma once
#include <windows.h>
#include "core/host_command.h"

// At most this many payload files are kept, each with a lookup of its own.
const size_t HOST_PAYLOAD_FILES = 16;
const size_t HOST_RUNS_CAPACITY = 4096;

struct HostPayload {
    size_t fileCount;
    wchar_t files[HOST_PAYLOAD_FILES][MAX_PATH];  // full paths of existing files, each once
    HostTextKind textKind;                        // what `text` holds (HOST_TEXT_NONE: nothing)
    wchar_t text[HOST_TEXT_CAPACITY];             // address, decoded or inline command, module, AppID, product code
    // The "Runs" cell: joined by ", ": "<service> (<dll file name>)", or the
    // service's name alone for one in its own executable; the file name of
    // each file the command line names (as found, else as written); "(encoded command)";
    // the address, module, product code, or the AppID when no DLL of its was
    // found. Empty for a process that runs only itself (and for an inline
    // command, which the command line shows whole). Entries that would not
    // fit are left out whole.
    // For a cmd line with operators, escapes or inner quotes, the whole text
    // after /c or /k instead of its files' names; " (not loaded)" after a
    // DLL the host names but has not mapped.
    wchar_t runs[HOST_RUNS_CAPACITY];
    // What runs is not known from verified files alone: a command, an
    // address, an encoded or inline command, a module, a name that does not
    // resolve or is not loaded, an unreadable command line, or a cmd line
    // that may run more than it names: never to be counted verified.
    bool unknown;
};

// Fills `payload` (about 100 KB: allocate it) for the process `processId`
// whose image name (file name or full path) is `imageName`. `commandLine`
// is its command line as ReadProcessCommandLine gave it, or NULL to have it
// read here. The process's current folder is read only when a relative name
// needs it. True when the cell is not empty.
bool ReadHostPayload(DWORD processId, const wchar_t* imageName, const wchar_t* commandLine, HostPayload* payload);
// The same for a list of processes, one after another:
// the service manager's answer of a moment ago serves every process older
// than it. processStarted: the process's creation time (FILETIME units).
bool ReadRowHostPayload(DWORD processId, ULONGLONG processStarted, const wchar_t* imageName,
                        const wchar_t* commandLine, HostPayload* payload);
// Either of the above through a handle the caller holds on the process
// (PROCESS_QUERY_INFORMATION with PROCESS_VM_READ where it could be had,
// else the limited query right; NULL: opened here), which gives the host's
// bitness, its executable's folder and the images mapped in it.
// processStarted as above (0: the service manager is asked afresh).
bool ReadHostPayloadOfProcess(HANDLE process, DWORD processId, ULONGLONG processStarted, const wchar_t* imageName,
                              const wchar_t* commandLine, HostPayload* payload);
