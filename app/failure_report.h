// Telling the person that something they asked for could not be done, in a
// box of its own: one box at a time, a failure that comes while one is
// shown joins the next. Window thread, or any thread with nothing else to do.
#pragma once
#include <windows.h>

// The string `formatId` (two %s: the subject, then the system's reason for
// `error`) in a warning box.
void ReportFailure(UINT formatId, const wchar_t* subject, DWORD error);

// The system's text for `error` without its closing line break, or "error <n>".
void ReadSystemReason(DWORD error, wchar_t* reason, size_t capacity);
