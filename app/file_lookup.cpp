#include "app/file_lookup.h"
#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>
#include "app/app_state.h"
#include "app/failure_report.h"
#include "core/ascii_folding.h"
#include "core/executable_locator.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/window_class.h"
#include "core/background_jobs.h"
#include "lookup/process_lookup.h"
#include "resource.h"
#include "tavrowen_identity.h"

static const wchar_t lookupSwitch[] = L"/lookup";
static const wchar_t runningCopyClass[] = TAVROWEN_WINDOW_CLASS;
static const wchar_t aloneWindowClass[] = L"TavrowenFileLookup";
// The longest path Windows takes, with its terminator.
static const size_t PATH_CAPACITY = 32768;
static const UINT MOST_DROPPED_FILES = 16;
// A running copy that does not take the path in this time is passed by.
static const UINT HAND_OVER_TIMEOUT_MS = 5000;
static const int BAD_COMMAND_LINE = 2;

static const wchar_t* SkipBlanks(const wchar_t* text)
{
    while (*text == L' ' || *text == L'\t')
        ++text;
    return text;
}

// The text after the switch, a blank away; NULL when the tail starts otherwise.
static const wchar_t* TextAfterSwitch(const wchar_t* commandLine)
{
    if (!commandLine)
        return NULL;
    const wchar_t* text = SkipBlanks(commandLine);
    size_t length = ARRAYSIZE(lookupSwitch) - 1;
    if (!EqualFoldingAsciiLetters(text, lookupSwitch, length))
        return NULL;
    text += length;
    return (*text == L'\0' || *text == L' ' || *text == L'\t') ? text : NULL;
}

bool IsLookupCommand(const wchar_t* commandLine)
{
    return TextAfterSwitch(commandLine) != NULL;
}

bool ReadLookupPathArgument(const wchar_t* commandLine, wchar_t* path, size_t capacity)
{
    const wchar_t* afterSwitch = TextAfterSwitch(commandLine);
    if (!afterSwitch)
        return false;
    const wchar_t* start = SkipBlanks(afterSwitch);
    const wchar_t* end = NULL;
    if (*start == L'"') {
        ++start;
        end = wcschr(start, L'"');
        if (!end || *SkipBlanks(end + 1) != L'\0')
            return false;
    } else {
        end = start + wcslen(start);
        while (end > start && (end[-1] == L' ' || end[-1] == L'\t'))
            --end;
    }
    return end > start && SUCCEEDED(StringCchCopyNW(path, capacity, start, (size_t)(end - start)));
}

void ReportUnreadableFile(const wchar_t* path, DWORD error)
{
    ReportFailure(IDS_CANNOT_READ, path, error);
}

// One file looked up as the row of a process running it would be; it is
// opened and read on the lookups' lane, and the address opened once
// resultWindow gets the result.
static bool LookUpFile(const wchar_t* path, HWND resultWindow)
{
    return LookUpHandedFile(path, resultWindow, ReadSetting(extendedInfoSetting));
}

// Whether the window belongs to our own program: Tavrowen2.exe or
// Tavrowen2Admin.exe in our own folder. Any other process can make a window
// of our class, and would be handed the user's path.
static bool IsOwnProgramWindow(HWND window)
{
    DWORD processId = 0;
    wchar_t image[MAX_PATH], own[MAX_PATH];
    if (!GetWindowThreadProcessId(window, &processId) || !QueryProcessImagePath(processId, image))
        return false;
    DWORD length = GetModuleFileNameW(NULL, own, ARRAYSIZE(own));
    if (length == 0 || length >= ARRAYSIZE(own))
        return false;
    wchar_t* imageName = PathFindFileNameW(image);
    wchar_t* ownName = PathFindFileNameW(own);
    if (imageName - image != ownName - own || CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, image,
                                                             (int)(imageName - image), own, (int)(ownName - own)) != CSTR_EQUAL)
        return false;
    return IsSameNameFoldingAscii(imageName, TAVROWEN_PROGRAM_FILE) || IsSameNameFoldingAscii(imageName, TAVROWEN_COMPANION_FILE);
}

// The running copy, if any, takes the path; the hand-over waits for nothing
// but the copy of the path.
static bool HandPathToRunningCopy(const wchar_t* path)
{
    HWND running = FindWindowW(runningCopyClass, NULL);
    if (!running || !IsOwnProgramWindow(running))
        return false;
    DWORD processId = 0;
    // The browser it opens may then come to the front, as ours would.
    if (GetWindowThreadProcessId(running, &processId))
        AllowSetForegroundWindow(processId);
    COPYDATASTRUCT data;
    data.dwData = LOOKUP_PATH_DATA;
    data.cbData = (DWORD)((wcslen(path) + 1) * sizeof(wchar_t));
    data.lpData = (void*)path;
    DWORD_PTR taken = FALSE;
    return SendMessageTimeoutW(running, WM_COPYDATA, 0, (LPARAM)&data, SMTO_ABORTIFHUNG, HAND_OVER_TIMEOUT_MS,
                               &taken) &&
           taken == TRUE;
}

// The window the worker answers to while the lookup runs without the tray
// program: the address opened, the run is over.
static bool aloneFileUnreadable;

static void ReportUnreadableAlone(const wchar_t* path, DWORD error)
{
    aloneFileUnreadable = true;
    ReportUnreadableFile(path, error);
}

static LRESULT CALLBACK AloneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LOOKUP_FINISHED) {
        OpenFinishedLookup(window, lParam, ReportUnreadableAlone);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static int LookUpFileAlone(const wchar_t* path)
{
    HWND window = NULL;
    if (RegisterOwnWindowClass(appState.instance, aloneWindowClass, AloneWindowProc, 0, IDC_ARROW, COLOR_WINDOW,
                               NULL, NULL))
        window = CreateWindowExW(0, aloneWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, appState.instance,
                                 NULL);
    aloneFileUnreadable = false;
    int exitCode = 1;
    if (window && LookUpFile(path, window)) {
        MSG message;
        while (GetMessageW(&message, NULL, 0, 0) > 0)
            DispatchMessageW(&message);
        exitCode = aloneFileUnreadable ? 1 : 0;
    } else {
        // No window or no thread: nothing could be read.
        ReportUnreadableFile(path, ERROR_NOT_ENOUGH_MEMORY);
    }
    StopBackgroundJobs();
    if (window)
        DestroyWindow(window);
    return exitCode;
}

int RunLookupCommand(const wchar_t* commandLine)
{
    wchar_t* given = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, 2 * PATH_CAPACITY * sizeof(wchar_t));
    if (!given)
        return 1;
    wchar_t* path = given + PATH_CAPACITY;
    int exitCode = BAD_COMMAND_LINE;
    if (ReadLookupPathArgument(commandLine, given, PATH_CAPACITY)) {
        // The running copy has its own current folder: it gets the full path.
        DWORD length = GetFullPathNameW(given, (DWORD)PATH_CAPACITY, path, NULL);
        if (length == 0 || length >= PATH_CAPACITY)
            StringCchCopyW(path, PATH_CAPACITY, given);
        exitCode = HandPathToRunningCopy(path) ? 0 : LookUpFileAlone(path);
    }
    HeapFree(GetProcessHeap(), 0, given);
    return exitCode;
}

bool FindHandedOverPath(const COPYDATASTRUCT* data, size_t* length)
{
    if (!data || data->dwData != LOOKUP_PATH_DATA || !data->lpData)
        return false;
    // Only what the sender's buffer holds is read: the terminator must lie
    // within it, and within the longest path.
    size_t characters = data->cbData / sizeof(wchar_t);
    if (characters > PATH_CAPACITY)
        characters = PATH_CAPACITY;
    *length = 0;
    return characters != 0 && SUCCEEDED(StringCchLengthW((const wchar_t*)data->lpData, characters, length)) &&
           *length != 0;
}

LRESULT ReceiveLookupPath(const COPYDATASTRUCT* data)
{
    size_t length = 0;
    if (StartUpInterrupted() || !FindHandedOverPath(data, &length))
        return FALSE;
    // The sender's buffer lasts only while it waits for us.
    wchar_t* path = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
    if (!path)
        return FALSE;
    StringCchCopyW(path, length + 1, (const wchar_t*)data->lpData);
    // The sender goes on at once; a message about the file then waits for
    // the user here, not in the sender.
    ReplyMessage(TRUE);
    LookUpFile(path, appState.mainWindow);
    HeapFree(GetProcessHeap(), 0, path);
    return TRUE;
}

// One character of a dropped path, wide or ANSI, read byte by byte: the
// record's offsets need not be aligned.
static wchar_t DroppedCharacter(const BYTE* at, bool wide)
{
    if (!wide)
        return (wchar_t)*at;
    wchar_t c;
    CopyMemory(&c, at, sizeof(c));
    return c;
}

UINT ReadDroppedPath(const void* record, size_t bytes, UINT index, wchar_t* path, UINT capacity)
{
    DROPFILES header;
    if (!record || bytes < sizeof(header))
        return 0;
    CopyMemory(&header, record, sizeof(header));
    if (header.pFiles > bytes)
        return 0;
    const BYTE* start = (const BYTE*)record;
    size_t unit = header.fWide ? sizeof(wchar_t) : 1;
    UINT found = 0;
    // Each path ends in a NUL; an empty one ends the list.
    for (size_t at = header.pFiles;; ++found) {
        size_t length = 0;
        for (;; ++length) {
            if ((bytes - at) / unit <= length)
                return index == 0xFFFFFFFF ? found : 0;
            if (DroppedCharacter(start + at + length * unit, header.fWide != FALSE) == L'\0')
                break;
        }
        if (length == 0)
            break;
        if (found == index) {
            if (header.fWide) {
                if (length < capacity && path)
                    StringCchCopyNW(path, capacity, (const wchar_t*)(start + at), length);
                return (UINT)length;
            }
            int wideLength = MultiByteToWideChar(CP_ACP, 0, (const char*)(start + at), (int)length, NULL, 0);
            if (wideLength > 0 && (UINT)wideLength < capacity && path) {
                MultiByteToWideChar(CP_ACP, 0, (const char*)(start + at), (int)length, path, wideLength);
                path[wideLength] = L'\0';
            }
            return wideLength > 0 ? (UINT)wideLength : 0;
        }
        at += (length + 1) * unit;
    }
    return index == 0xFFFFFFFF ? found : 0;
}

void LookUpDroppedFiles(HDROP drop)
{
    // The record is read within its own size: a forged one ends where its memory does.
    const void* record = GlobalLock(drop);
    size_t bytes = record ? GlobalSize(drop) : 0;
    UINT count = ReadDroppedPath(record, bytes, 0xFFFFFFFF, NULL, 0);
    if (count > MOST_DROPPED_FILES)
        count = MOST_DROPPED_FILES;
    wchar_t* path = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, PATH_CAPACITY * sizeof(wchar_t));
    for (UINT i = 0; path && i < count; ++i) {
        UINT length = ReadDroppedPath(record, bytes, i, path, (UINT)PATH_CAPACITY);
        if (length > 0 && length < PATH_CAPACITY)
            LookUpFile(path, appState.mainWindow);
    }
    if (path)
        HeapFree(GetProcessHeap(), 0, path);
    if (record)
        GlobalUnlock(drop);
    DragFinish(drop);
}
