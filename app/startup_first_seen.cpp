#include "app/startup_first_seen.h"
#include "core/program_language.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "app/setting_names.h"
#include "core/settings.h"
#include "lookup/note_words.h"
#include "lookup/startup_seen.h"
#include "resource.h"

static ULONGLONG ReadPreviousReading()
{
    ULONGLONG when = 0;
    DWORD bytes = 0;
    if (!ReadBinarySetting(startupOpenedSetting, &when, sizeof(when), &bytes) || bytes != sizeof(when))
        return 0;
    return when;
}

static void WriteThisReading()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG when = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    if (EnsureSettingsKey())
        WriteBinarySetting(startupOpenedSetting, &when, sizeof(when));
}

// Each entry's day first seen, from the store just written.
static void ReadFirstSeen(const StartupList* list, StartupSeenDates* dates)
{
    SIZE_T storeBytes = STARTUP_SEEN_CAPACITY * sizeof(SeenEntry);
    SeenEntry* seen = (SeenEntry*)HeapAlloc(GetProcessHeap(), 0, storeBytes);
    DWORD bytes = 0;
    if (!seen)
        return;
    if (ReadBinarySetting(startupSeenSetting, seen, (DWORD)storeBytes, &bytes) && bytes % sizeof(SeenEntry) == 0) {
        int count = (int)(bytes / sizeof(SeenEntry));
        for (int i = 0; i < list->count; ++i) {
            ULONGLONG hash = HashStartupEntry(&list->entries[i]);
            for (int j = 0; j < count && !dates->firstSeen[i]; ++j)
                if (seen[j].hash == hash)
                    dates->firstSeen[i] = seen[j].firstSeen;
        }
    }
    HeapFree(GetProcessHeap(), 0, seen);
}

void MarkStartupSeenDates(StartupList* list, StartupSeenDates* dates)
{
    ZeroMemory(dates, sizeof(*dates));
    dates->previousReading = ReadPreviousReading();
    MarkNewStartupEntries(list, startupSeenSetting);
    ReadFirstSeen(list, dates);
    WriteThisReading();
}

// The day in the user's short date form; empty for none.
static void FormatDay(ULONGLONG when, wchar_t* text, int capacity)
{
    text[0] = L'\0';
    FILETIME utc = {(DWORD)when, (DWORD)(when >> 32)};
    FILETIME local;
    SYSTEMTIME day;
    if (when && FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &day))
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &day, NULL, text, capacity);
}

void ShowStartupSeenDates(StartupRows* rows, const StartupSeenDates* dates)
{
    wchar_t format[64];
    wchar_t previous[64];
    FormatDay(dates->previousReading, previous, ARRAYSIZE(previous));
    wchar_t english[64] = L"";
    LANGID before = SetThreadTextLanguage(SHEET_ENGLISH);
    LoadProgramText(IDS_STARTUP_NEW_SINCE, english, ARRAYSIZE(english));
    SetThreadTextLanguage(before);
    bool canSay = previous[0] && LoadProgramText(IDS_STARTUP_NEW_SINCE, format, ARRAYSIZE(format));
    for (int i = 0; i < rows->list->count; ++i) {
        StartupFileFacts* facts = &rows->facts[i];
        facts->firstSeen = dates->firstSeen[i];
        FormatDay(facts->firstSeen, facts->firstSeenText, ARRAYSIZE(facts->firstSeenText));
        if (canSay && rows->list->entries[i].isNew) {
            StringCchPrintfW(facts->newSince, ARRAYSIZE(facts->newSince), format, previous);
            StringCchPrintfW(facts->newSinceInEnglish, ARRAYSIZE(facts->newSinceInEnglish), english, previous);
            StringCchCopyW(facts->notesInEnglish, ARRAYSIZE(facts->notesInEnglish), facts->newSinceInEnglish);
            StringCchCopyW(facts->notes, ARRAYSIZE(facts->notes), facts->newSince);
        }
    }
}
