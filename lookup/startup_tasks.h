// Scheduled tasks that start by themselves: at logon, at boot or on a
// schedule. Read from the task definitions' XML (the system's Tasks folder,
// Vista on) or XP's .job files (the Windows folder's Tasks) by pure
// functions of their bytes, so any definition can be fed to them; the
// reader keeps to the folder's files, read bounded. Any thread.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"

const int TASK_ACTION_CAPACITY = 4;
// The longest definition read; a longer file is passed over.
const DWORD TASK_FILE_MAXIMUM_BYTES = 1024 * 1024;

struct TaskDefinition {
    bool atLogon;     // a LogonTrigger
    bool atBoot;      // a BootTrigger
    bool onSchedule;  // a TimeTrigger or CalendarTrigger
    bool enabled;     // Settings' Enabled, true when not written
    int actionCount;  // Exec actions held below; others (mail, message, COM handler) are not programs
    wchar_t commands[TASK_ACTION_CAPACITY][STARTUP_COMMAND_CAPACITY];  // Command, a blank, Arguments
};

// Reads a task's XML text of `length` characters (no terminator needed):
// its triggers, whether it is enabled, its Exec actions' command lines with
// XML's character references decoded. False when the text holds no Task element.
bool ParseTaskXml(const wchar_t* xml, size_t length, TaskDefinition* task);
// Reads an XP task's .job file of `size` bytes: its triggers, whether it is
// disabled, its program and parameters as one command line. Every size and
// offset is checked against `size`. False when the bytes are no such file.
bool ParseJobFile(const BYTE* data, size_t size, TaskDefinition* task);
// Whether a task starts by itself: at logon, at boot or on a schedule.
bool StartsByItself(const TaskDefinition* task);

// Each task in the system's Tasks folder that starts by itself, an entry per Exec action.
void ReadTaskEntries(StartupList* list);
