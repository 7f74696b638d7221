// What the installer test cannot see from the shell, run inside the Wine prefix:
//   installer_probe started SECONDS  waits for the program's main window and its tray
//                                    icon; prints the running program's path
//   installer_probe gone SECONDS     waits until no copy of the program runs
//   installer_probe hold PATH        holds PATH open without sharing writes, prints
//                                    "held", and keeps it until "release" (or 120 s)
//   installer_probe release          ends a "hold"
//   installer_probe answer SECONDS   answers Setup's questions Yes (printing each)
//                                    and leaves its pages by their default button;
//                                    done once Setup's windows are gone for 3 s
// Exit code 0 when the awaited state came, 1 when not, 2 for a bad command line.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <vector>
#include "core/executable_locator.h"
#include "shell_support.h"

namespace {

const wchar_t releaseEventName[] = L"tavrowen-installer-test-release";

int WaitForStartedProgram(DWORD timeoutMs)
{
    HWND window = NULL;
    bool started = WaitUntil([&] {
        window = FindMainWindow();
        return window != NULL && shell::TrayIconExists(window);
    }, timeoutMs, 100);
    if (!started) {
        printf("%s\n", window ? "main window without a tray icon" : "no main window");
        return 1;
    }
    wchar_t path[MAX_PATH] = L"";
    if (!QueryProcessImagePath(shell::WindowProcessId(window), path)) {
        printf("running, but its path cannot be read\n");
        return 1;
    }
    printf("%s\n", NarrowUtf8(path).c_str());
    return 0;
}

int HoldFile(const wchar_t* path)
{
    HANDLE release = CreateEventW(NULL, TRUE, FALSE, releaseEventName);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (!release || file == INVALID_HANDLE_VALUE) {
        printf("cannot hold the file: error %lu\n", GetLastError());
        if (release)
            CloseHandle(release);
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    DWORD waited = WaitForSingleObject(release, 120000);
    CloseHandle(file);
    CloseHandle(release);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

int ReleaseFile()
{
    HANDLE release = OpenEventW(EVENT_MODIFY_STATE, FALSE, releaseEventName);
    if (!release)
        return 1;
    BOOL set = SetEvent(release);
    CloseHandle(release);
    return set ? 0 : 1;
}

struct Answering {
    std::vector<HWND> asked;
    bool seen;
};

BOOL CALLBACK AnswerSetupWindow(HWND window, LPARAM context)
{
    Answering& answering = *(Answering*)context;
    std::vector<HWND>& asked = answering.asked;
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 64);
    if (!IsWindowVisible(window) || wcsncmp(text, L"Tavrowen 2 ", 11) != 0)
        return TRUE;
    answering.seen = true;
    HWND question = GetDlgItem(window, 0xFFFF);
    int button = 1;  // a page's Next, Install or Finish
    if (question && !GetDlgItem(window, 1018)) {
        button = GetDlgItem(window, IDYES) ? IDYES : IDOK;
        if (std::find(asked.begin(), asked.end(), window) == asked.end()) {
            asked.push_back(window);
            GetWindowTextW(question, text, ARRAYSIZE(text));
            std::replace(text, text + wcslen(text), L'\n', L' ');
            printf("question: %s\n", NarrowUtf8(text).c_str());
            fflush(stdout);
        }
    }
    HWND control = GetDlgItem(window, button);
    if (control && IsWindowEnabled(control))
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)control);
    return TRUE;
}

int AnswerSetup(DWORD timeoutMs)
{
    Answering answering;
    for (DWORD started = GetTickCount(), lastSeen = 0; GetTickCount() - started < timeoutMs; Sleep(500)) {
        answering.seen = false;
        EnumWindows(AnswerSetupWindow, (LPARAM)&answering);
        if (answering.seen)
            lastSeen = GetTickCount();
        else if (lastSeen && GetTickCount() - lastSeen > 3000)
            return 0;
    }
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && wcscmp(argv[1], L"started") == 0)
        return WaitForStartedProgram(wcstoul(argv[2], NULL, 10) * 1000);
    if (argc == 3 && wcscmp(argv[1], L"gone") == 0)
        return WaitUntil([] { return FindMainWindow() == NULL; }, wcstoul(argv[2], NULL, 10) * 1000, 100) ? 0 : 1;
    if (argc == 3 && wcscmp(argv[1], L"hold") == 0)
        return HoldFile(argv[2]);
    if (argc == 2 && wcscmp(argv[1], L"release") == 0)
        return ReleaseFile();
    if (argc == 3 && wcscmp(argv[1], L"answer") == 0)
        return AnswerSetup(wcstoul(argv[2], NULL, 10) * 1000);
    fprintf(stderr, "usage: installer_probe started|gone|answer SECONDS | hold PATH | release\n");
    return 2;
}
