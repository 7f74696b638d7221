#include "test_support.h"
#include <shlobj.h>
#include <sddl.h>
#include <shlwapi.h>
#include <algorithm>
#include <cstdio>
#include <cwctype>
#include "core/background_jobs.h"
#include "lookup/process_lookup.h"
#include "taskmgr/attachment.h"

std::wstring OwnModulePath()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring BinDirectory()
{
    std::wstring path = OwnModulePath();
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring BinPath(const wchar_t* fileName)
{
    return BinDirectory() + L"\\" + fileName;
}

const wchar_t* RecorderLogPath()
{
    return L"C:\\tavrowen-test\\addresses.txt";
}

bool TimerRunning(HWND window, UINT_PTR id, TIMERPROC procedure)
{
    if (!KillTimer(window, id))
        return false;
    SetTimer(window, id, WATCH_PERIOD_MS, procedure);
    return true;
}

bool IsWellFormedAddress(const std::wstring& address)
{
    for (size_t i = 0; i < address.size(); ++i) {
        wchar_t c = address[i];
        if (c <= L' ' || c >= 0x7F || c == L'"' || c == L'<' || c == L'>')
            return false;
        if (c == L'%' && (i + 2 >= address.size() || !iswxdigit(address[i + 1]) || !iswxdigit(address[i + 2])))
            return false;
    }
    return true;
}

std::wstring ClipboardText()
{
    std::wstring text = L"(nothing)";
    if (OpenClipboard(NULL)) {
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        const wchar_t* locked = data ? (const wchar_t*)GlobalLock(data) : NULL;
        if (locked) {
            text = locked;
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

std::wstring UnescapeUtf8(const std::wstring& address)
{
    std::string bytes;
    for (size_t i = 0; i < address.size(); ++i) {
        if (address[i] == L'%' && i + 2 < address.size() && iswxdigit(address[i + 1]) && iswxdigit(address[i + 2])) {
            bytes += (char)std::stoi(NarrowUtf8(address.substr(i + 1, 2)), nullptr, 16);
            i += 2;
        } else {
            bytes += NarrowUtf8(address.substr(i, 1));
        }
    }
    return WidenUtf8(bytes);
}

std::wstring WidenUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

std::string NarrowUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string narrow(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &narrow[0], length, NULL, NULL);
    return narrow;
}

std::string ReadFileText(const wchar_t* path)
{
    std::string content;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, NULL) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

std::vector<std::wstring> ReadUtf8Lines(const wchar_t* path)
{
    std::vector<std::wstring> lines;
    std::string content = ReadFileText(path);
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(WidenUtf8(content.substr(start, end - start)));
    return lines;
}

std::vector<std::wstring> ReadRecordedAddresses()
{
    return ReadUtf8Lines(RecorderLogPath());
}

void ClearRecordedAddresses()
{
    DeleteFileW(RecorderLogPath());
}

bool WaitForRecordedAddresses(size_t count, DWORD timeoutMs)
{
    return WaitUntil([count] { return ReadRecordedAddresses().size() >= count; }, timeoutMs, 50);
}

BOOL WINAPI ReportXpVersion(LPOSVERSIONINFOW version)
{
    version->dwMajorVersion = 5;
    version->dwMinorVersion = 1;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

void PumpMessagesFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessagesFor(stepMs);
    }
}

bool StartProgram(const std::wstring& path, const std::wstring& arguments, PROCESS_INFORMATION* process,
                  const wchar_t* directory)
{
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    // Under load Wine now and then loses a child while it starts, and
    // CreateProcessW fails although nothing is wrong with the program; the
    // suite is not about that, so try again, and say so.
    for (int attempt = 1;; ++attempt) {
        ZeroMemory(process, sizeof(*process));
        if (CreateProcessW(path.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL, directory, &startup, process))
            return true;
        DWORD error = GetLastError();
        fprintf(stderr, "starting %s failed (attempt %d): error %lu\n", NarrowUtf8(path).c_str(), attempt,
                (unsigned long)error);
        if (attempt == 3 || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        Sleep(500);
    }
}

DWORD WaitForExit(const PROCESS_INFORMATION& process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, timeoutMs);
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

void EndProgram(PROCESS_INFORMATION* process)
{
    if (process->hProcess) {
        if (WaitForSingleObject(process->hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process->hProcess, 99);
            WaitForSingleObject(process->hProcess, 5000);
        }
        CloseHandle(process->hProcess);
    }
    if (process->hThread)
        CloseHandle(process->hThread);
    ZeroMemory(process, sizeof(*process));
}

bool StartLocatorTarget(const std::wstring& path, const std::wstring& arguments, PROCESS_INFORMATION* process)
{
    if (!StartProgram(path, arguments, process))
        return false;
    wchar_t eventName[64];
    wsprintfW(eventName, L"tavrowen-locator-ready-%lu", process->dwProcessId);
    return WaitUntil([&] {
        HANDLE ready = OpenEventW(SYNCHRONIZE, FALSE, eventName);
        if (ready)
            CloseHandle(ready);
        return ready != NULL;
    }, 20000);
}

HWND FindMainWindow()
{
    return FindWindowW(L"Tavrowen2", NULL);
}

bool StartTavrowen(const wchar_t* exe, const std::wstring& arguments, PROCESS_INFORMATION* process)
{
    if (!StartProgram(BinPath(exe), arguments, process))
        return false;
    return WaitUntil([] { return FindMainWindow() != NULL; }, 20000);
}

DWORD ShutDownTavrowen(PROCESS_INFORMATION* process)
{
    PROCESS_INFORMATION sender;
    if (StartProgram(BinPath(L"Tavrowen2.exe"), L"/shutdown", &sender)) {
        WaitForExit(sender, 15000);
        EndProgram(&sender);
    }
    DWORD code = WaitForExit(*process, 15000);
    EndProgram(process);
    return code;
}

HWND WaitForTopWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil([&] { return (found = FindWindowW(className, title)) != NULL; }, timeoutMs);
    return found;
}

void ClickScreenPoint(int x, int y)
{
    // Each call is one click: a press within the double-click time of the
    // last one would be the second half of a double click, which the strip
    // ignores, so that time is let pass first.
    static DWORD lastPress = 0;
    static bool pressed = false;
    DWORD spacing = GetDoubleClickTime() + 100;
    if (pressed && GetTickCount() - lastPress < spacing)
        PumpMessagesFor(spacing - (GetTickCount() - lastPress));
    INPUT inputs[3] = {};
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    const DWORD flags[3] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    // The press and the release carry the place too. Without it, under load
    // Wine took a press at the pointer's old place: a quick click on the next
    // row became a double click on the row before, which the strip ignores.
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = (x * 65535 + width / 2) / (width - 1);
        inputs[i].mi.dy = (y * 65535 + height / 2) / (height - 1);
        inputs[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags[i];
    }
    // And the press goes only once the pointer is there.
    SendInput(1, inputs, sizeof(INPUT));
    WaitUntil([x, y] {
        POINT cursor = {0, 0};
        return GetCursorPos(&cursor) && cursor.x == x && cursor.y == y;
    }, 2000);
    SendInput(2, inputs + 1, sizeof(INPUT));
    lastPress = GetTickCount();
    pressed = true;
}

void DeleteRegistryTree(HKEY root, const wchar_t* path)
{
    SHDeleteKeyW(root, path);
}

bool WriteRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
                        DWORD bytes)
{
    HKEY key = NULL;
    if (RegCreateKeyExW(root, path, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExW(key, name, 0, type, (const BYTE*)data, bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value)
{
    return WriteRegistryValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

void DeleteRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name)
{
    HKEY key = NULL;
    if (RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

bool ReadDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* value)
{
    DWORD bytes = sizeof(*value);
    DWORD type = 0;
    HKEY key = NULL;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExW(key, name, NULL, &type, (BYTE*)value, &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}

size_t CountProcessHandles(DWORD processId)
{
    struct HandleEntry {
        ULONG ownerProcessId;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    struct HandleList {
        ULONG count;
        HandleEntry entries[1];
    };
    typedef LONG(WINAPI * QuerySystemInformationProc)(ULONG, PVOID, ULONG, PULONG);
    QuerySystemInformationProc query = (QuerySystemInformationProc)(void*)GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (!query)
        return 0;
    const ULONG SYSTEM_HANDLE_INFORMATION = 16;
    const LONG INFO_LENGTH_MISMATCH = (LONG)0xC0000004;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        LONG status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(), (ULONG)buffer.size(), &needed);
        if (status == INFO_LENGTH_MISMATCH) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0)
            return 0;
        break;
    }
    const HandleList* list = (const HandleList*)buffer.data();
    size_t own = 0;
    for (ULONG i = 0; i < list->count; ++i)
        if (list->entries[i].ownerProcessId == processId)
            ++own;
    return own;
}

static LRESULT CALLBACK LookupResultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LOOKUP_FINISHED) {
        OpenFinishedLookup(window, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateLookupResultWindow()
{
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = LookupResultProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"TavrowenTestLookupResults";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
}

std::wstring ProgramFilesFolder()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, SHGFP_TYPE_CURRENT, path);
    return path;
}

ListeningPipe::ListeningPipe(const wchar_t* name) : connecting()
{
    pipe = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 512, 512, 0, NULL);
    connecting.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (pipe != INVALID_HANDLE_VALUE)
        ConnectNamedPipe(pipe, &connecting);
}

ListeningPipe::~ListeningPipe()
{
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    CloseHandle(connecting.hEvent);
}

bool SetFolderRights(const std::wstring& folder, const wchar_t* rights)
{
    PSECURITY_DESCRIPTOR security = NULL;
    bool set = ConvertStringSecurityDescriptorToSecurityDescriptorW(rights, SDDL_REVISION_1, &security, NULL) &&
               SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, security);
    LocalFree(security);
    return set;
}
