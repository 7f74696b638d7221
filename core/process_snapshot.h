// The running processes as the system lists them.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

// Called once per process of a snapshot; the record lasts for the call only.
typedef void (*ProcessVisitor)(const PROCESSENTRY32W* process, void* context);

// Takes a snapshot and visits each of its processes; false when none could be had.
bool WalkProcessSnapshot(ProcessVisitor visit, void* context);
