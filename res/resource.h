// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDR_TASKMENU            103
#define IDD_ABOUT               104
#define IDB_ABOUT_BANNER        105
#define IDD_SPLASH              108
#define IDD_SEARCH              109
#define IDB_SPLASH_PANEL        111
#define IDI_TAVROWEN            121
#define IDI_FINDER              122
#define IDR_PROCESSMENU         140
#define IDR_PROCESS_KEYS        141

#define IDS_INTEGRATION_FAILED  110
#define IDS_ALREADY_RUNNING     111
#define IDS_ATTACH_NEEDS_ALL_USERS 112
#define IDS_PROCESSES_TITLE     130
#define IDS_COLUMN_PROCESS      131
#define IDS_COLUMN_PID          132
#define IDS_COLUMN_DESCRIPTION  133
#define IDS_COLUMN_COMPANY      134
#define IDS_COLUMN_FOLDER       135
#define IDS_FILTER_CUE          136
#define IDS_HINT_TITLE          137
#define IDS_HINT_TEXT           138
#define IDS_FINDER_TIP          139
#define IDS_CANNOT_READ         140
#define IDS_COLUMN_SIGNER       141
#define IDS_UNVERIFIED_ONLY     142
#define IDS_CHECKING_SIGNER     143
#define IDS_ADDRESS_ON_CLIPBOARD 144
#define IDS_BRAND_NAME          145
#define IDS_BRAND_MAKER         146
#define IDS_SPLASH_TITLE        147
#define IDS_SPLASH_LINE1        148
#define IDS_SPLASH_LINE2        149
#define IDS_SPLASH_LINE3        150
#define IDS_SPLASH_LINE4        151
#define IDS_SPLASH_NOSHOW       152
#define IDS_SPLASH_COPYRIGHT    153
#define IDS_COLUMN_RUNS         154
#define IDS_COLUMN_COMMAND_LINE 155
#define IDS_LOOK_UP_FILE        156
#define IDS_CHANGED_AFTER_START 157
// The Notes column and the Properties window.
#define IDS_COLUMN_NOTES        160
#define IDS_PROPERTIES_TITLE    161
#define IDS_PROPERTIES_LOOK_UP  162
#define IDS_PROPERTIES_OPEN     163
#define IDS_PROPERTIES_COPY     164
#define IDS_PROPERTIES_CLOSE    165
#define IDS_LINK_ACCESSIBLE_NAME 170
#define IDS_LINK_ACCESSIBLE_ACTION 171
#define IDS_FINDER_ACCESSIBLE_NAME 172
#define IDS_FINDER_ACCESSIBLE_KEYS 173
#define IDS_FILTER_LABEL        174
#define IDS_PAUSED_SUFFIX       175
#define IDS_NOT_LOADED_SUFFIX   185
#define IDS_ERROR_NUMBER        400
#define IDS_CANNOT_START_TASK_MANAGER 401
// The Properties sheet's labels and values' words.
#define IDS_SHEET_PROCESS           410
#define IDS_SHEET_PID               411
#define IDS_SHEET_PARENT            412
#define IDS_SHEET_STARTED           413
#define IDS_SHEET_USER              414
#define IDS_SHEET_COMMAND_LINE      415
#define IDS_SHEET_FILE              416
#define IDS_SHEET_FOLDER            417
#define IDS_SHEET_SIZE              418
#define IDS_SHEET_MD5               419
#define IDS_SHEET_SHA256            420
#define IDS_SHEET_FILE_VERSION      421
#define IDS_SHEET_PRODUCT           422
#define IDS_SHEET_COMPANY           423
#define IDS_SHEET_DESCRIPTION       424
#define IDS_SHEET_ORIGINAL_NAME     425
#define IDS_SHEET_SIGNER            426
#define IDS_SHEET_RUNS              427
#define IDS_SHEET_LOGON             428
#define IDS_SHEET_NOTES             429
#define IDS_SHEET_NOTES_HEADING     430
#define IDS_SHEET_READING           431
#define IDS_SHEET_NOT_LOCATED       432
#define IDS_SHEET_ACCESS_DENIED     433
#define IDS_SHEET_FILE_GONE         434
#define IDS_SHEET_READ_ERROR        435
#define IDS_SHEET_BYTES             436
#define IDS_SHEET_EMBEDDED          437
#define IDS_SHEET_CATALOG           438
#define IDS_SHEET_MORE_ENTRIES      439
#define IDS_SHEET_PARENT_RUNNING    440
#define IDS_SHEET_PARENT_EXITED     441
#define IDS_SHEET_LABEL_FORMAT      442
// A row's note on a module it loads: the module's name and its first note.
#define IDS_ROW_NOTE_LOADS          450
// Copies that could not be made whole, and the notes' and logon entries' own words.
#define IDS_COPY_FAILED         240
#define IDS_COPY_PARTIAL        241
#define IDS_NOTE_ALTERNATE_STREAM 242
#define IDS_LOGON_TOO_LONG      243
#define IDS_AS_PROCESS_REPORTS  180
#define IDS_LOCATION_REFUSED    181
// What starts with Windows: its notes, columns, states and places.
#define IDS_STARTUP_NOTE_MISSING      800
#define IDS_STARTUP_NOTE_THROUGH_HOST 801
#define IDS_STARTUP_COLUMN_ENTRY      802
#define IDS_STARTUP_COLUMN_LOCATION   803
#define IDS_STARTUP_COLUMN_PROGRAM    804
#define IDS_STARTUP_COLUMN_COMMAND    805
#define IDS_STARTUP_COLUMN_STATE      806
#define IDS_STARTUP_ENABLED           807
#define IDS_STARTUP_DISABLED          808
#define IDS_STARTUP_USER_FOLDER       809
#define IDS_STARTUP_COMMON_FOLDER     810
#define IDS_STARTUP_TASK_LIBRARY      811
#define IDS_STARTUP_XP_TASKS          812
// The Startup Entries window.
#define IDS_STARTUP_TITLE             820
#define IDS_STARTUP_NOT_READ          821
#define IDS_STARTUP_BOX_TITLE         822
#define IDS_STARTUP_CONFIRM_DISABLE   823
#define IDS_STARTUP_CANNOT_DISABLE    824
#define IDS_STARTUP_CANNOT_ENABLE     825
#define IDS_STARTUP_HIDE_WINDOWS      826
#define IDS_STARTUP_TITLE_HIDDEN      827
#define IDS_STARTUP_COLUMN_FIRST_SEEN 828
#define IDS_STARTUP_NEW_SINCE         829
#define IDC_STARTUP_HIDE_WINDOWS      1222
#define IDR_STARTUP_MENU              1298
#define IDR_STARTUP_KEYS              1299
#define IDC_STARTUP_LIST              1220
#define IDC_STARTUP_FILTER            1221
#define IDM_STARTUP_ENTRIES           40420
#define IDM_STARTUP_LOOK_UP           40421
#define IDM_STARTUP_OPEN_LOCATION     40422
#define IDM_STARTUP_COPY_PATH         40423
#define IDM_STARTUP_COPY_PROPERTIES   40424
#define IDM_STARTUP_FOCUS_FILTER      40425
#define IDM_STARTUP_REFRESH           40426
#define IDM_STARTUP_DISABLE           40427
#define IDM_STARTUP_ENABLE            40428

#define IDC_SPLASH_NOSHOW       1001
#define IDC_SEARCH_TEXT         1002
#define IDC_ABOUT_BANNER        1003
#define IDC_PROCESS_LIST        1010
#define IDC_PROCESS_FILTER      1011
#define IDC_PROCESS_FINDER      1012
#define IDC_PROCESS_UNVERIFIED  1013

#define IDM_ABOUT               40001
#define IDM_EXTENDED_INFO       40002
#define IDM_AUTOSTART           40003
#define IDM_EXIT                40004
#define IDM_SEARCH              40006
#define IDM_SPLASH              40007
#define IDM_TASK_MANAGER        40008
#define IDM_PROCESSES           40009
#define IDM_LOOK_UP_SELECTED    40011

// The Running Processes window's context menu.
#define IDM_LOOK_UP_ROW         40101
#define IDM_OPEN_LOCATION       40102
#define IDM_COPY_PATH           40103
#define IDM_FIND_WINDOW_PROCESS 40104
#define IDM_UNVERIFIED_ONLY     40105
// Its keys.
#define IDM_REFRESH             40106
#define IDM_FOCUS_FILTER        40107
#define IDM_PAUSE_REFRESH       40150
// Ctrl+Enter: the payload's lookup, or the row menu.
#define IDM_LOOK_UP_PAYLOAD     40108
// "Look Up <file> on Kestrava", one per payload file (16 at most).
#define IDM_LOOK_UP_PAYLOAD_FILE 40110
// The header's menu: one per column, shown or hidden.
#define IDM_TOGGLE_COLUMN       40130
#define IDM_PROPERTIES          40140
#define IDM_COPY_PROPERTIES     40141

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
// A process's modules: their notes, the sheet's lines, a module's own sheet.
#define IDS_MODULE_NOTE_WRITABLE        600
#define IDS_MODULE_NOTE_WRITABLE_PLAIN  601
#define IDS_MODULE_NOTE_WINDOWS_NAME    602
#define IDS_MODULE_NOTE_UNSIGNED        603
#define IDS_MODULE_NOTE_NOT_LISTED      604
#define IDS_SHEET_MODULES               610
#define IDS_SHEET_MODULES_UNREADABLE    611
#define IDS_MODULES_ACCESS_DENIED       612
#define IDS_MODULES_OTHER_BITNESS       613
#define IDS_SHEET_MODULES_READING       614
#define IDS_MODULE_SHEET_MODULE         620
#define IDS_MODULE_SHEET_LOADED_BY      632
// The Properties window's "Modules" list.
#define IDS_COLUMN_MODULE               1500
#define IDS_PROPERTIES_MODULES          1501
#define IDC_PROPERTIES_MODULES          1500
#define IDR_MODULE_MENU                 1501
#define IDM_MODULE_LOOK_UP              40500
#define IDM_MODULE_OPEN_LOCATION        40501
#define IDM_MODULE_COPY_PATH            40502
#define IDM_MODULE_COPY_PROPERTIES      40503
#define IDM_MODULE_COPY_ENGLISH         40504
// The Running Processes window's process tree and the Parent column.
#define IDS_COLUMN_PARENT               1600
#define IDS_PARENT_CELL                 1601
#define IDS_NOTE_DOCUMENT_PARENT        1602
#define IDS_NOTE_NOTED_PARENT           1603
#define IDS_TREE_LEVEL                  1604
#define IDM_SHOW_TREE                   40600

// The report of every process and startup entry (/report).
#define IDS_REPORT_PROGRESS             1650
#define IDS_REPORT_CANNOT_WRITE         1651
#define IDS_REPORT_USAGE                1652
#define IDS_REPORT_STARTUP_PROGRESS     1653

// The tray menu's Language submenu: "Follow Windows" from the resources, then
// each language the program speaks in its own words, in ProgramLanguages' order.
#define IDM_LANGUAGE_FOLLOW_WINDOWS     40700
#define IDM_LANGUAGE_FIRST              40701
#define IDM_LANGUAGE_LAST               40720

// The notes' texts and what each means (lookup/note_words), and copying a
// sheet in English.
#define IDS_NOTE_UNSIGNED_CLAIM           1700
#define IDS_NOTE_OTHER_SIGNER             1701
#define IDS_NOTE_WINDOWS_NAME             1702
#define IDS_NOTE_LOOK_ALIKE               1703
#define IDS_NOTE_DOUBLE_EXTENSION         1704
#define IDS_NOTE_HIDDEN_CHARACTERS        1705
#define IDS_NOTE_WRITABLE_FOLDER          1706
#define IDS_NOTE_WRITABLE_PLAIN           1707
#define IDS_NOTE_REMOVABLE_DRIVE          1708
#define IDS_NOTE_NETWORK_FOLDER           1709
#define IDS_NOTE_CHANGED_AFTER_START      1710
#define IDS_NOTE_HIDDEN_FILE              1711
#define IDS_NOTE_RECENTLY_CREATED         1712
#define IDS_NOTE_STARTS_AT_LOGON          1713
#define IDS_EXPLAIN_UNSIGNED_CLAIM        1720
#define IDS_EXPLAIN_OTHER_SIGNER          1721
#define IDS_EXPLAIN_WINDOWS_NAME          1722
#define IDS_EXPLAIN_LOOK_ALIKE            1723
#define IDS_EXPLAIN_DOUBLE_EXTENSION      1724
#define IDS_EXPLAIN_HIDDEN_CHARACTERS     1725
#define IDS_EXPLAIN_WRITABLE_FOLDER       1726
#define IDS_EXPLAIN_REMOVABLE_DRIVE       1727
#define IDS_EXPLAIN_NETWORK_FOLDER        1728
#define IDS_EXPLAIN_CHANGED_AFTER_START   1729
#define IDS_EXPLAIN_HIDDEN_FILE           1730
#define IDS_EXPLAIN_RECENTLY_CREATED      1731
#define IDS_EXPLAIN_STARTS_AT_LOGON       1732
#define IDS_EXPLAIN_ALTERNATE_STREAM      1733
#define IDS_EXPLAIN_MODULE_WRITABLE       1734
#define IDS_EXPLAIN_MODULE_WINDOWS_NAME   1735
#define IDS_EXPLAIN_MODULE_UNSIGNED       1736
#define IDS_EXPLAIN_MODULE_NOT_LISTED     1737
#define IDS_EXPLAIN_DOCUMENT_PARENT       1738
#define IDS_EXPLAIN_NOTED_PARENT          1739
#define IDS_EXPLAIN_STARTUP_MISSING       1740
#define IDS_EXPLAIN_STARTUP_THROUGH_HOST  1741
#define IDS_EXPLAIN_STARTUP_NEW_SINCE     1742
#define IDR_PROPERTIES_MENU               1750
#define IDR_PROPERTIES_KEYS               1751
#define IDM_COPY_PROPERTIES_ENGLISH       40800
#define IDM_STARTUP_COPY_ENGLISH          40801
#define IDM_PROPERTIES_COPY_SELECTION     40802
#define IDM_PROPERTIES_SELECT_ALL         40803
#define IDM_PROPERTIES_COPY_SHEET         40804
#define IDM_PROPERTIES_COPY_ENGLISH       40805
#define IDS_SIGNER_UNTRUSTED_BY           2050
#define IDS_SIGNER_UNTRUSTED              2051
#define IDS_SIGNER_CANNOT_CHECK           2052
#define IDS_SIGNER_NOT_VALID              2053
#define IDS_SIGNER_UNREADABLE             2054
#define IDS_SIGNER_NOT_SIGNED             2055
#define IDS_RUNS_ENCODED_COMMAND          2060
#define IDS_STARTUP_DEFAULT_VALUE         2061
#define IDS_LOGON_SERVICE                 2062
#define IDS_LOGON_STARTUP_FOLDER          2063
