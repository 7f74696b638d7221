// What the system says about one running process and its file: parent,
// start, user, and the file's path, size, attributes and times. Read on a
// background job (any thread; nothing shared); each call stands alone.
#pragma once
#include <windows.h>
#include "core/executable_locator.h"

const int USER_NAME_CAPACITY = 2 * 256 + 2;  // DOMAIN\name, each at most 256

enum ParentState {
    PARENT_UNKNOWN,  // no snapshot could be had
    PARENT_RUNNING,  // parentName and parentId hold it
    PARENT_EXITED    // gone, or its PID now names a process started later
};

enum FileAccess {
    FILE_NOT_LOCATED,    // no path: the process's file could not be located
    FILE_READABLE,
    FILE_ACCESS_DENIED,  // there, but not ours to read
    FILE_GONE,           // deleted or renamed since the process started
    FILE_UNREADABLE      // another reason, in accessError
};

struct FileFacts {
    wchar_t path[PROCESS_PATH_CAPACITY];
    bool pathReported;                 // the path is what the process itself reports (XP)
    FileAccess access;
    DWORD accessError;
    unsigned long long size;
    DWORD attributes;                  // INVALID_FILE_ATTRIBUTES: unknown
    unsigned long long creationTime;   // FILETIME values; 0 where unknown
    unsigned long long lastWriteTime;
    unsigned long long changeTime;     // Vista and later
};

struct ProcessFacts {
    DWORD processId;
    wchar_t imageName[MAX_PATH];
    bool found;                        // the PID was running at the snapshot
    ParentState parent;
    DWORD parentId;
    wchar_t parentName[MAX_PATH];
    unsigned long long startTime;      // FILETIME (UTC); 0 where unknown
    wchar_t user[USER_NAME_CAPACITY];  // empty where unknown
    // The command line (core/process_command_line): heap memory (HeapAlloc
    // on the process heap) that FreeProcessFacts releases; NULL while unknown.
    wchar_t* commandLine;
    FileFacts file;
};

// Reads everything above but the command line. A parent whose creation is
// later than the child's is a newer process under a reused PID: "exited".
void ReadProcessFacts(DWORD processId, ProcessFacts* facts);
// The same from a list of the processes taken at most `maximumAgeMs` ago
// (a process newer than it is looked for in a new one): for the rows of the
// Running Processes window, one after another. Any thread.
void ReadProcessFactsRecently(DWORD processId, DWORD maximumAgeMs, ProcessFacts* facts);
// The same, its start, user and file read through `process` (NULL: only
// what the list says), the handle every other read of that process uses.
void ReadProcessFactsOf(HANDLE process, DWORD processId, DWORD maximumAgeMs, ProcessFacts* facts);
void FreeProcessFacts(ProcessFacts* facts);
// The one rule for a parent PID: a PID is reused once its process has ended,
// so a "parent" started after the child is someone else. Where either time
// is unknown (0), the snapshot's word stands.
bool CouldBeParentByStart(unsigned long long parentStart, unsigned long long childStart);

// The file facts of a path: what the file system says, and whether the file
// can be read; the facts that could be had even when it cannot. A path the
// process itself reports (`reported`) is a name it chose: one that is no
// drive path (a share's, a pipe's, a device's) is not touched at all, and
// is "unreadable". ReadFileFacts takes every path as such a name.
void ReadImageFileFacts(const wchar_t* path, bool reported, FileFacts* facts);
void ReadFileFacts(const wchar_t* path, FileFacts* facts);

// "DOMAIN\name" of the process's token user; false when it cannot be read.
bool ReadProcessUser(HANDLE process, wchar_t* user /* USER_NAME_CAPACITY */);
