// Resource identifiers of the stand-in Task Manager.
#pragma once

#define IDD_STANDIN_MAIN    100
#define IDD_STANDIN_PAGE    101
#define IDC_STANDIN_LIST    1009
#define IDS_STANDIN_TITLE   10003
