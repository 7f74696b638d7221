// What the installer test cannot see from the shell, run inside the Wine prefix:
//   installer_probe started SECONDS  waits for the program's main window and its tray
//                                    icon; prints the running program's path
//   installer_probe gone SECONDS     waits until no copy of the program runs
//   installer_probe hold PATH        holds PATH open without sharing writes, prints
//                                    "held", and keeps it until "release" (or 120 s)
//   installer_probe release          ends a "hold"
//   installer_probe security PATH    prints PATH's owner and access list (SDDL)
//   installer_probe secure PATH SDDL gives PATH the owner and access list of SDDL
//   installer_probe answer SECONDS   answers Setup's pages and questions as a user
//                                    would who says Yes to every one, printing
//                                    each question; ends once Setup's windows
//                                    have gone for 3 s
// Exit code 0 when the awaited state came, 1 when not, 2 for a bad command line.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
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

int PrintSecurity(const wchar_t* path)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    DWORD read = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       NULL, NULL, NULL, NULL, &descriptor);
    wchar_t* text = NULL;
    if (read != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, NULL)) {
        printf("cannot read: error %lu\n", read ? read : GetLastError());
        LocalFree(descriptor);
        return 1;
    }
    printf("%s\n", NarrowUtf8(text).c_str());
    LocalFree(text);
    LocalFree(descriptor);
    return 0;
}

int SetSecurity(const wchar_t* path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, NULL))
        return 2;
    PSID owner = NULL;
    PACL list = NULL;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    DWORD set = SetNamedSecurityInfoW((LPWSTR)path, SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      owner, NULL, list, NULL);
    LocalFree(descriptor);
    if (set != ERROR_SUCCESS)
        printf("cannot set: error %lu\n", set);
    return set == ERROR_SUCCESS ? 0 : 1;
}

struct SetupWindows {
    std::vector<HWND> found;
};

BOOL CALLBACK NoteSetupWindow(HWND window, LPARAM context)
{
    wchar_t title[64] = L"";
    GetWindowTextW(window, title, ARRAYSIZE(title));
    if (IsWindowVisible(window) && wcsncmp(title, L"Tavrowen 2 ", 11) == 0)
        ((SetupWindows*)context)->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK UncheckStartBox(HWND control, LPARAM)
{
    wchar_t text[64] = L"";
    GetWindowTextW(control, text, ARRAYSIZE(text));
    if (wcsncmp(text, L"Start ", 6) == 0 && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
        SendMessageW(control, BM_SETCHECK, BST_UNCHECKED, 0);
    return TRUE;
}

void Press(HWND window, int id)
{
    HWND button = GetDlgItem(window, id);
    if (button && IsWindowEnabled(button))
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}

// A question is printed once, then answered Yes (or OK); a page is left with
// its default button, the finish page without starting the program.
void AnswerSetupWindow(HWND window, std::vector<HWND>& asked)
{
    HWND text = GetDlgItem(window, 0xFFFF);
    if (!GetDlgItem(window, 1018) && text) {
        if (std::find(asked.begin(), asked.end(), window) == asked.end()) {
            wchar_t question[1024] = L"";
            GetWindowTextW(text, question, ARRAYSIZE(question));
            for (wchar_t* c = question; *c; ++c)
                if (*c == L'\r' || *c == L'\n')
                    *c = L' ';
            printf("question: %s\n", NarrowUtf8(question).c_str());
            fflush(stdout);
            asked.push_back(window);
        }
        Press(window, GetDlgItem(window, IDYES) ? IDYES : IDOK);
        return;
    }
    EnumChildWindows(window, UncheckStartBox, 0);
    Press(window, 1);
}

int AnswerSetup(DWORD timeoutMs)
{
    std::vector<HWND> asked;
    DWORD started = GetTickCount(), lastSeen = 0;
    while (GetTickCount() - started < timeoutMs) {
        SetupWindows windows;
        EnumWindows(NoteSetupWindow, (LPARAM)&windows);
        for (HWND window : windows.found)
            AnswerSetupWindow(window, asked);
        if (!windows.found.empty())
            lastSeen = GetTickCount();
        else if (lastSeen && GetTickCount() - lastSeen > 3000)
            return 0;
        Sleep(500);
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
    if (argc == 3 && wcscmp(argv[1], L"security") == 0)
        return PrintSecurity(argv[2]);
    if (argc == 4 && wcscmp(argv[1], L"secure") == 0)
        return SetSecurity(argv[2], argv[3]);
    if (argc == 3 && wcscmp(argv[1], L"answer") == 0)
        return AnswerSetup(wcstoul(argv[2], NULL, 10) * 1000);
    fprintf(stderr, "usage: installer_probe started|gone|answer SECONDS | hold|security PATH | secure PATH SDDL"
                    " | release\n");
    return 2;
}
