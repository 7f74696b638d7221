#include "lookup/startup_entries.h"
#include "lookup/startup_folders.h"
#include "lookup/startup_registry.h"
#include "lookup/startup_services.h"
#include "lookup/startup_switch.h"
#include "lookup/startup_tasks.h"

void ListStartupEntries(StartupList* list)
{
    list->count = 0;
    list->total = 0;
    ReadRunEntries(list);
    ReadStartupFolderEntries(list);
    ReadServiceEntries(list);
    ReadTaskEntries(list);
    ReadSystemHookEntries(list);
    ReadKeptStartupEntries(list);
    ApplyStartupApproved(list);
}

void ReadStartupEntries(StartupList* list)
{
    ListStartupEntries(list);
    for (int i = 0; i < list->count; ++i)
        ProbeStartupProgram(&list->entries[i]);
}
