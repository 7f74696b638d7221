// The tests' side of the stand-in Task Manager: start it, find its windows,
// drive it (see standin_control.h), close or kill it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "standin_control.h"
#include "test_support.h"

class StandInTaskManager {
public:
    StandInTaskManager() = default;
    StandInTaskManager(const StandInTaskManager&) = delete;
    StandInTaskManager& operator=(const StandInTaskManager&) = delete;
    ~StandInTaskManager() { Kill(); }

    // Starts it (or the copy at `program`) and waits until its windows exist (shown or not).
    bool Start(const std::wstring& arguments, const std::wstring& program = BinPath(L"standin_taskmgr.exe"))
    {
        Kill();
        if (!StartProgram(program, arguments, &process))
            return false;
        return WaitUntil([this] { return FindWindows(); }, 20000);
    }

    // Takes on one that someone else started (the program does), once its
    // window shows; its windows are not looked for yet.
    bool Adopt(DWORD timeoutMs)
    {
        Kill();
        HWND found = NULL;
        if (!WaitUntil([&] { return (found = FindWindowW(MAKEINTATOM(0x8002), STANDIN_TITLE)) != NULL; }, timeoutMs))
            return false;
        GetWindowThreadProcessId(found, &process.dwProcessId);
        process.hProcess =
            OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, process.dwProcessId);
        return process.hProcess != NULL;
    }

    // Finds the top-level window of this process and the list in its page.
    bool FindWindows()
    {
        window = NULL;
        EnumWindows(MatchTop, (LPARAM)this);
        list = NULL;
        if (window)
            EnumChildWindows(window, MatchList, (LPARAM)this);
        page = list ? GetParent(list) : NULL;
        header = list ? (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0) : NULL;
        return window && list;
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageW(window, message, wParam, lParam);
    }

    bool SendText(ULONG_PTR command, const std::wstring& text) const
    {
        COPYDATASTRUCT data = {};
        data.dwData = command;
        data.cbData = (DWORD)(text.size() * sizeof(wchar_t));
        data.lpData = (void*)text.data();
        return SendMessageW(window, WM_COPYDATA, 0, (LPARAM)&data) != 0;
    }

    // Whether its window answers a message within the time given.
    bool Answers(DWORD timeoutMs) const
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
    }

    // Makes it hang for `milliseconds` and returns once it has stopped answering.
    bool Hang(DWORD milliseconds)
    {
        hangStart = GetTickCount();
        hangLength = milliseconds;
        if (!PostMessageW(window, STANDIN_HANG, milliseconds, 0))
            return false;
        return WaitUntil([this] { return !Answers(100); }, 5000);
    }

    // Waits until a hang is over and it answers again.
    bool WaitUntilAwake(DWORD timeoutMs) const { return WaitUntil([this] { return Answers(200); }, timeoutMs, 100); }

    // Whether the hang begun last is still running, by the clock: a check
    // made before this is false did not wait for Task Manager.
    bool StillHung() const { return GetTickCount() - hangStart < hangLength && !Answers(50); }

    // A row's top and bottom in screen coordinates, measured by the list.
    RECT RowScreenRect(int row) const
    {
        LRESULT span = Send(STANDIN_ROW_SPAN, row);
        RECT rect = {0, (short)LOWORD(span), 0, (short)HIWORD(span)};
        MapWindowPoints(list, NULL, (POINT*)&rect, 2);
        return rect;
    }

    int RowHeight() const
    {
        LRESULT span = Send(STANDIN_ROW_SPAN, 0);
        return (short)HIWORD(span) - (short)LOWORD(span);
    }

    int CountPerPage() const { return (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0); }
    int ItemCount() const { return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); }
    int TopIndex() const { return (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0); }

    // The header's bottom edge in the page's client coordinates.
    int HeaderBottomInPage() const
    {
        RECT rect;
        GetWindowRect(header, &rect);
        MapWindowPoints(NULL, page, (POINT*)&rect, 2);
        return rect.bottom;
    }

    // Closes it as a user would and waits for the process to end.
    bool Close()
    {
        PostMessageW(window, WM_CLOSE, 0, 0);
        bool ended = WaitForExit(process, 10000) != STILL_ACTIVE;
        EndProgram(&process);
        return ended;
    }

    void Kill()
    {
        if (process.hProcess) {
            TerminateProcess(process.hProcess, 9);
            WaitForSingleObject(process.hProcess, 5000);
        }
        EndProgram(&process);
        window = page = list = header = NULL;
    }

    PROCESS_INFORMATION process = {};
    DWORD hangStart = 0;
    DWORD hangLength = 0;
    HWND window = NULL;
    HWND page = NULL;
    HWND list = NULL;
    HWND header = NULL;

private:
    static BOOL CALLBACK MatchTop(HWND candidate, LPARAM self)
    {
        StandInTaskManager* standIn = (StandInTaskManager*)self;
        DWORD processId = 0;
        GetWindowThreadProcessId(candidate, &processId);
        wchar_t title[64] = L"";
        GetWindowTextW(candidate, title, ARRAYSIZE(title));
        if (processId == standIn->process.dwProcessId && !wcscmp(title, STANDIN_TITLE))
            standIn->window = candidate;
        return TRUE;
    }

    static BOOL CALLBACK MatchList(HWND candidate, LPARAM self)
    {
        wchar_t className[64] = L"";
        GetClassNameW(candidate, className, ARRAYSIZE(className));
        if (!wcscmp(className, L"SysListView32"))
            ((StandInTaskManager*)self)->list = candidate;
        return TRUE;
    }
};
