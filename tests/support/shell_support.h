// Helpers for the shell's tests: the running program, Wine's tray, modal
// loops driven from inside, registry values of any type.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <functional>
#include <string>
#include <vector>
#include "test_support.h"

namespace shell {

const wchar_t settingsPath[] = L"Software\\Veltrix\\Tavrowen2";
const wchar_t runPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t autostartName[] = L"Veltrix Tavrowen 2";
const wchar_t probeLogPath[] = L"C:\\tavrowen-test\\probe.txt";

DWORD WindowProcessId(HWND window);

// Visible top-level windows of one process with the given class (and title, unless null).
std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className, const wchar_t* title = NULL);

// Wine's per-executable Windows version ("winxp", "win7"); null removes it.
void SetWindowsVersionFor(const std::wstring& exeName, const wchar_t* version);

// One registry value with its type and raw bytes.
struct RegistryValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

RegistryValue ReadRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name);
bool WriteStringValue(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text);

// "REG_DWORD 1", "REG_SZ ...", "absent": readable in failure messages.
std::string Describe(const RegistryValue& value);

RegistryValue ReadSwitchValue(const wchar_t* name);
bool IsDword(const RegistryValue& value, DWORD number);

// The lines the probe program wrote, one per start.
std::vector<std::wstring> ReadProbeRecords();
std::vector<std::wstring> SplitFields(const std::wstring& line);
bool SameText(const std::wstring& a, const std::wstring& b);

// ---- The stand-in Task Manager (the prefix's taskmgr.exe) -----------------------

const wchar_t taskManagerTitle[] = L"Windows Task Manager";

HWND FindTaskManagerWindow();

// Ends every running Task Manager.
void EndTaskManagers();

// The link strip, once it lies inside the given Task Manager.
HWND AttachedStrip(HWND taskManager);

// ---- Wine's tray -------------------------------------------------------------

HWND FindTrayWindow();

// True while the tray holds an icon with uID 0 for the window: modifying nothing succeeds only then.
bool TrayIconExists(HWND owner);

// Screen point at the middle of the tray's icon slot `slot` (slots are square, one row).
bool TrayIconPoint(int slot, POINT* point);

void SendMouseButton(DWORD flags);
void MoveMouseTo(POINT point);

enum class Click { left, right, doubleLeft };

// Clicks the first tray slot as a user would.
bool ClickTrayIcon(Click click, int slot = 0);

// Hovers over the tray slot and returns the text of the tooltip that shows.
std::wstring ReadTrayTooltip(int slot = 0);

// ---- Modal loops driven from inside -----------------------------------------

// Runs `step` every 20 ms from whatever message loop this thread is in (a
// dialog's, a menu's), until it returns true. Used to look at a modal dialog
// or menu of this process while its loop runs.
class ModalScript {
public:
    explicit ModalScript(std::function<bool()> step);
    ~ModalScript();
    bool finished() const { return finished_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::function<bool()> step_;
    UINT_PTR timer_ = 0;
    bool finished_ = false;
    bool running_ = false;
    static ModalScript* current_;
};

// A visible dialog of this process with the given caption.
HWND FindOwnDialog(const wchar_t* caption);

}  // namespace shell
