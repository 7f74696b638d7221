#include "shell_support.h"

namespace shell {

DWORD WindowProcessId(HWND window)
{
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className, const wchar_t* title)
{
    std::vector<HWND> found;
    for (HWND window = FindWindowExW(NULL, NULL, className, title); window;
         window = FindWindowExW(NULL, window, className, title)) {
        if (WindowProcessId(window) == processId && IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
}

void SetWindowsVersionFor(const std::wstring& exeName, const wchar_t* version)
{
    std::wstring path = L"Software\\Wine\\AppDefaults\\" + exeName;
    if (!version) {
        DeleteRegistryTree(HKEY_CURRENT_USER, path.c_str());
        return;
    }
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) ==
        ERROR_SUCCESS) {
        RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE*)version,
                       (DWORD)((wcslen(version) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

RegistryValue ReadRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name)
{
    RegistryValue value;
    HKEY key = NULL;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, NULL, &value.type, NULL, &bytes) == ERROR_SUCCESS) {
        value.data.resize(bytes + 2);
        if (RegQueryValueExW(key, name, NULL, &value.type, value.data.data(), &bytes) == ERROR_SUCCESS) {
            value.present = true;
            value.data.resize(bytes);
        }
    }
    RegCloseKey(key);
    return value;
}

bool WriteStringValue(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text)
{
    return WriteRegistryValue(root, path, name, REG_SZ, text.c_str(), (DWORD)((text.size() + 1) * sizeof(wchar_t)));
}

std::string Describe(const RegistryValue& value)
{
    if (!value.present)
        return "absent";
    if (value.type == REG_DWORD && value.data.size() == 4)
        return "REG_DWORD " + std::to_string(*(const DWORD*)value.data.data());
    if (value.type == REG_SZ)
        return "REG_SZ \"" +
               NarrowUtf8(std::wstring((const wchar_t*)value.data.data(), value.data.size() / sizeof(wchar_t))) +
               "\" (" + std::to_string(value.data.size()) + " bytes)";
    return "type " + std::to_string(value.type) + ", " + std::to_string(value.data.size()) + " bytes";
}

RegistryValue ReadSwitchValue(const wchar_t* name)
{
    return ReadRegistryValue(HKEY_CURRENT_USER, settingsPath, name);
}

bool IsDword(const RegistryValue& value, DWORD number)
{
    return value.present && value.type == REG_DWORD && value.data.size() == 4 &&
           *(const DWORD*)value.data.data() == number;
}

std::vector<std::wstring> ReadProbeRecords()
{
    return ReadUtf8Lines(probeLogPath);
}

std::vector<std::wstring> SplitFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t end; (end = line.find(L'|', start)) != std::wstring::npos; start = end + 1)
        fields.push_back(line.substr(start, end - start));
    fields.push_back(line.substr(start));
    return fields;
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// ---- The stand-in Task Manager -------------------------------------------------

HWND FindTaskManagerWindow()
{
    return FindWindowW(L"#32770", taskManagerTitle);
}

void EndTaskManagers()
{
    for (HWND window; (window = FindTaskManagerWindow()) != NULL;) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, WindowProcessId(window));
        if (!process)
            return;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
        WaitUntil([&] { return !IsWindow(window); }, 5000);
    }
}

static BOOL CALLBACK FindStripChild(HWND child, LPARAM found)
{
    wchar_t name[32] = L"";
    GetClassNameW(child, name, ARRAYSIZE(name));
    if (wcscmp(name, L"LinksMarlet") != 0)
        return TRUE;
    *(HWND*)found = child;
    return FALSE;
}

HWND AttachedStrip(HWND taskManager)
{
    HWND strip = NULL;
    if (taskManager)
        EnumChildWindows(taskManager, FindStripChild, (LPARAM)&strip);
    return strip;
}

// ---- Wine's tray -------------------------------------------------------------

HWND FindTrayWindow()
{
    return FindWindowW(NULL, L"Wine System Tray");
}

bool TrayIconExists(HWND owner)
{
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool TrayIconPoint(int slot, POINT* point)
{
    HWND tray = FindTrayWindow();
    RECT client;
    if (!tray || !GetClientRect(tray, &client) || client.bottom <= 0)
        return false;
    int side = client.bottom;
    point->x = side * slot + side / 2;
    point->y = side / 2;
    return ClientToScreen(tray, point) != FALSE;
}

void SendMouseButton(DWORD flags)
{
    INPUT input;
    ZeroMemory(&input, sizeof(input));
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

void MoveMouseTo(POINT point)
{
    SetCursorPos(point.x, point.y);
    SendMouseButton(MOUSEEVENTF_MOVE);
    PumpMessagesFor(50);
}

bool ClickTrayIcon(Click click, int slot)
{
    POINT point;
    if (!TrayIconPoint(slot, &point))
        return false;
    MoveMouseTo(point);
    switch (click) {
    case Click::left:
        SendMouseButton(MOUSEEVENTF_LEFTDOWN);
        SendMouseButton(MOUSEEVENTF_LEFTUP);
        break;
    case Click::right:
        SendMouseButton(MOUSEEVENTF_RIGHTDOWN);
        SendMouseButton(MOUSEEVENTF_RIGHTUP);
        break;
    case Click::doubleLeft: {
        // One call, one time stamp: a busy machine pausing this thread between
        // the clicks must not stretch them past the double-click time.
        INPUT inputs[4];
        ZeroMemory(inputs, sizeof(inputs));
        DWORD now = GetTickCount();
        for (int i = 0; i < 4; ++i) {
            inputs[i].type = INPUT_MOUSE;
            inputs[i].mi.dwFlags = i % 2 ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
            inputs[i].mi.time = now;
        }
        if (SendInput(4, inputs, sizeof(INPUT)) != 4)
            return false;
        break;
    }
    }
    PumpMessagesFor(50);
    return true;
}

std::wstring ReadTrayTooltip(int slot)
{
    POINT point;
    if (!TrayIconPoint(slot, &point))
        return L"(no tray window)";
    POINT away = {point.x + 300, point.y + 300};
    MoveMouseTo(away);
    MoveMouseTo(point);
    point.x += 1;
    MoveMouseTo(point);
    DWORD trayProcess = WindowProcessId(FindTrayWindow());
    std::wstring text;
    WaitUntil(
        [&] {
            for (HWND tip : ProcessWindows(trayProcess, L"tooltips_class32")) {
                wchar_t buffer[256] = L"";
                SendMessageTimeoutW(tip, WM_GETTEXT, ARRAYSIZE(buffer), (LPARAM)buffer, SMTO_ABORTIFHUNG, 2000,
                                    NULL);
                if (buffer[0]) {
                    text = buffer;
                    return true;
                }
            }
            return false;
        },
        5000, 50);
    POINT rest = {point.x + 300, point.y + 300};
    MoveMouseTo(rest);
    return text;
}

// ---- Modal loops driven from inside -----------------------------------------

ModalScript* ModalScript::current_ = NULL;

ModalScript::ModalScript(std::function<bool()> step) : step_(std::move(step))
{
    current_ = this;
    timer_ = SetTimer(NULL, 0, 20, Tick);
}

ModalScript::~ModalScript()
{
    KillTimer(NULL, timer_);
    current_ = NULL;
}

void CALLBACK ModalScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    ModalScript* script = current_;
    if (!script || script->finished_ || script->running_)
        return;
    script->running_ = true;
    script->finished_ = script->step_();
    script->running_ = false;
}

HWND FindOwnDialog(const wchar_t* caption)
{
    std::vector<HWND> windows = ProcessWindows(GetCurrentProcessId(), L"#32770", caption);
    return windows.empty() ? NULL : windows.front();
}

}  // namespace shell
