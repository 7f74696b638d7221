// Services and drivers that start by themselves (boot, system, automatic,
// delayed automatic), with the DLL of a shared host's service. Any thread.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"

void ReadServiceEntries(StartupList* list);
