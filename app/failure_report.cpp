#include "app/failure_report.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "resource.h"

static const size_t SUBJECT_CAPACITY = 32768;
static const size_t REPORT_CAPACITY = SUBJECT_CAPACITY + 1024;

// Failures that came while a box was shown, joined for the next one.
static wchar_t* waitingReports;
static bool reporting;

void ReadSystemReason(DWORD error, wchar_t* reason, size_t capacity)
{
    reason[0] = L'\0';
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, reason,
                        (DWORD)capacity, NULL)) {
        wchar_t format[64];
        if (LoadProgramText(IDS_ERROR_NUMBER, format, ARRAYSIZE(format)))
            StringCchPrintfW(reason, capacity, format, error);
    }
    // The system's text ends in a line break.
    for (size_t length = wcslen(reason); length > 0 && reason[length - 1] <= L' '; --length)
        reason[length - 1] = L'\0';
}

static bool FormatFailure(UINT formatId, const wchar_t* subject, DWORD error, wchar_t* text, size_t capacity)
{
    wchar_t reason[512];
    ReadSystemReason(error, reason, ARRAYSIZE(reason));
    wchar_t format[256];
    return LoadProgramText(formatId, format, ARRAYSIZE(format)) &&
           SUCCEEDED(StringCchPrintfW(text, capacity, format, subject ? subject : L"", reason));
}

void ReportFailure(UINT formatId, const wchar_t* subject, DWORD error)
{
    wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, REPORT_CAPACITY * sizeof(wchar_t));
    if (!text)
        return;
    if (!FormatFailure(formatId, subject, error, text, REPORT_CAPACITY)) {
        HeapFree(GetProcessHeap(), 0, text);
        return;
    }
    // A box is up (this is its modal loop): the failure joins the next box.
    if (reporting) {
        if (!waitingReports)
            waitingReports = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, REPORT_CAPACITY * sizeof(wchar_t));
        if (waitingReports &&
            (!waitingReports[0] || SUCCEEDED(StringCchCatW(waitingReports, REPORT_CAPACITY, L"\n\n"))))
            StringCchCatW(waitingReports, REPORT_CAPACITY, text);
        HeapFree(GetProcessHeap(), 0, text);
        return;
    }
    wchar_t caption[64];
    if (!LoadProgramText(IDS_BRAND_NAME, caption, ARRAYSIZE(caption)))
        caption[0] = L'\0';
    reporting = true;
    for (wchar_t* shown = text; shown;) {
        MessageBoxW(NULL, shown, caption, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
        HeapFree(GetProcessHeap(), 0, shown);
        shown = waitingReports && waitingReports[0] ? waitingReports : NULL;
        if (shown)
            waitingReports = NULL;
    }
    reporting = false;
}
