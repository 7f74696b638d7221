// Scheduled tasks that start by themselves: at logon, at boot or on a
// schedule. Read from the task definitions' XML (the system's Tasks folder,
// Vista on) by a pure function of the text, so any definition can be fed to
// it; the reader keeps to the folder's files, read bounded. Any thread.
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
// Whether a task starts by itself: at logon, at boot or on a schedule.
bool StartsByItself(const TaskDefinition* task);

// Each task in the system's Tasks folder that starts by itself, an entry per Exec action.
void ReadTaskEntries(StartupList* list);
