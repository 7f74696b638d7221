// One entry of what starts with Windows (see lookup/startup_entries.h), and
// what its readers share to fill one in. Any thread.
//
// Everything that starts with Windows, read in one pass: Run, RunOnce and
// RunOnceEx under HKCU and HKLM (both registry views, an entry the two views
// share listed once), the policies' Explorer\Run, Windows NT's Load and Run,
// the user's and the common Startup folders, services and drivers that start
// by themselves, scheduled tasks, Winlogon's Shell, Userinit, Taskman and
// Notify, Image File Execution Options debuggers, AppInit_DLLs, BootExecute
// and the LSA's packages. Every value and file name here is the user's to
// write: read bounded, probed only as a disk file at a drive path
// (core/handed_path.h), never run or opened otherwise. Any thread.
#pragma once
#include <windows.h>
#include "lookup/command_program.h"

const int STARTUP_ENTRY_CAPACITY = 1024;
const int STARTUP_NAME_CAPACITY = 260;
const int STARTUP_LOCATION_CAPACITY = 192;
const int STARTUP_COMMAND_CAPACITY = COMMAND_HEAD_CAPACITY;
const int STARTUP_KEY_CAPACITY = 160;

enum StartupKind {
    STARTUP_RUN_VALUE,       // Run, Run32 (the 32-bit view), RunOnce, RunOnceEx, policies' Run, Load
    STARTUP_FOLDER_ITEM,     // a file or shortcut in a Startup folder
    STARTUP_SERVICE,
    STARTUP_DRIVER,
    STARTUP_TASK,
    STARTUP_WINLOGON,        // Shell, Userinit, Taskman, Notify
    STARTUP_IFEO_DEBUGGER,
    STARTUP_APPINIT_DLL,
    STARTUP_BOOT_EXECUTE,
    STARTUP_LSA_PACKAGE,
};

// Where an entry can be switched off and on (lookup/startup_switch.h).
enum StartupSwitchPlace {
    SWITCH_NONE,           // not ours to switch
    SWITCH_HKCU_RUN,       // HKCU's Run
    SWITCH_HKLM_RUN,       // HKLM's Run, native view
    SWITCH_HKLM_RUN32,     // HKLM's Run, 32-bit view (WOW6432Node)
    SWITCH_USER_FOLDER,    // the user's Startup folder
    SWITCH_COMMON_FOLDER,  // the common Startup folder
};

// Whether an entry's program is probed yet: listing the entries reads only
// the registry and the folders, so a window can show them at once and probe
// each file with the rest of its evidence.
enum StartupProgramProbe {
    PROGRAM_PROBED,
    PROGRAM_FROM_COMMAND,  // to be found from the command as CreateProcess would find it
    PROGRAM_FROM_PATH,     // `program` names the file: whether it exists
};

struct StartupEntry {
    StartupKind kind;
    StartupSwitchPlace place;
    wchar_t entry[STARTUP_NAME_CAPACITY];        // value, file, service or task name; "(too long)" when it is
    wchar_t location[STARTUP_LOCATION_CAPACITY]; // in full: HKCU\Software\...\Run, "Startup folder (all users)"
    wchar_t program[MAX_PATH];   // found: its full path; else the name as written
    bool programFound;           // false: the program named does not exist (or none is named)
    StartupProgramProbe probe;   // not PROGRAM_PROBED: `program` is as written and not yet found
    wchar_t payload[MAX_PATH];   // what a host runs (service DLL, rundll32's DLL, a script); empty: none
    wchar_t command[STARTUP_COMMAND_CAPACITY];   // as written; its head when longer
    bool enabled;
    DWORD startType;             // services and drivers: SERVICE_BOOT_START to SERVICE_AUTO_START
    bool delayedStart;           // an automatic service started a while after the others
    bool tooLong;                // the name or the command did not fit what we show
    bool inOurKeeping;           // disabled by moving it into our keeping (before Windows 8)
    bool isNew;                  // first seen since the previous opening (lookup/startup_seen.h)
    // For the switch: the value's real name (a file's name for a folder item).
    wchar_t switchName[STARTUP_NAME_CAPACITY];
};

struct StartupList {
    int count;
    int total;  // entries found: more than count when they did not all fit
    StartupEntry entries[STARTUP_ENTRY_CAPACITY];
};

// The line a running process's sheet shows for an entry that starts it:
// "<location>: <entry>", "Startup folder: <file>" for the user's folder and
// "Service: <name>" for a service; "(too long)" for a name or command too long to show.
bool FormatLogonEntryText(const StartupEntry* entry, wchar_t* text, size_t capacity);

// ---- For the readers in lookup/startup_*.cpp ----

// A new entry at the list's end, cleared, enabled, or NULL when full (the
// total still counts it).
StartupEntry* AddStartupEntry(StartupList* list, StartupKind kind, const wchar_t* location, const wchar_t* name);
// Fills the entry's command (its head when longer) and its program as
// written; ProbeStartupProgram finds it later.
void SetStartupCommand(StartupEntry* entry, const wchar_t* commandLine);
// Fills the program from a file's path (a Startup folder item, a DLL), to be probed.
void SetStartupProgram(StartupEntry* entry, const wchar_t* path);
// Probes an entry's program once: FindCommandProgram's program, or the head
// as written when no file is there, and the file a script host or loader
// runs (unless the reader named that itself, as a service's DLL).
void ProbeStartupProgram(StartupEntry* entry);
// The name of the next subkey of `key` from *index on that fits `capacity`
// characters (a longer one is passed over); false at the end or on a failure.
bool NextSubkeyName(HKEY key, DWORD* index, wchar_t* name, DWORD capacity);
// A string value (REG_SZ, REG_EXPAND_SZ unexpanded) of at most `capacity`
// characters with its terminator; *tooLong when only its head fitted.
bool ReadStringValueHead(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity, bool* tooLong);
// A REG_MULTI_SZ value whole, double-terminated, of at most `capacity` characters.
bool ReadMultiStringValue(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity);
bool ReadDwordValue(HKEY key, const wchar_t* name, DWORD* value);
// Whether both registry views exist apart: 64-bit Windows.
bool HasTwoRegistryViews();

