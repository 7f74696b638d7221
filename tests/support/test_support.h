// Helpers shared by the test programs. No GoogleTest here: the demo driver
// and the attachment benchmark build test_support.cpp too.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// The running program's own file, and its directory: every built program lies there.
std::wstring OwnModulePath();
std::wstring BinDirectory();
std::wstring BinPath(const wchar_t* fileName);
// Gives a folder the DACL written in SDDL. Wine makes every folder its
// user's to write; a test folder standing for Program Files is given
// "D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)": only the system writes there.
bool SetFolderRights(const std::wstring& folder, const wchar_t* rights);
// The prefix's Program Files folder as the shell reports it to this process.
std::wstring ProgramFilesFolder();

// A whole file's bytes, read while others may still be writing it; empty
// when it cannot be opened.
std::string ReadFileText(const wchar_t* path);
// The lines of a UTF-8 text file, each ended by '\n'; a last line not yet
// ended is left out (its writer is not done with it).
std::vector<std::wstring> ReadUtf8Lines(const wchar_t* path);

// The addresses the recorder (the prefix's http handler) has received.
const wchar_t* RecorderLogPath();
std::vector<std::wstring> ReadRecordedAddresses();
void ClearRecordedAddresses();
// Waits until at least `count` addresses were recorded.
bool WaitForRecordedAddresses(size_t count, DWORD timeoutMs);

// Pumps this thread's messages while waiting for a condition.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 10);
void PumpMessagesFor(DWORD milliseconds);
// A version probe (seams.getVersion) that says Windows XP.
BOOL WINAPI ReportXpVersion(LPOSVERSIONINFOW version);

// Starts a program with a command-line tail; the caller closes the handles.
bool StartProgram(const std::wstring& path, const std::wstring& arguments, PROCESS_INFORMATION* process,
                  const wchar_t* directory = NULL);
// Exit code, or STILL_ACTIVE when it did not end in time.
DWORD WaitForExit(const PROCESS_INFORMATION& process, DWORD timeoutMs);
void EndProgram(PROCESS_INFORMATION* process);

// Starts a copy of locator_target.exe (under any name) and waits until it
// says it is ready; the caller ends it.
bool StartLocatorTarget(const std::wstring& path, const std::wstring& arguments, PROCESS_INFORMATION* process);

// The real program's main window, while a copy runs.
HWND FindMainWindow();
// Starts a build product (Tavrowen2.exe or Tavrowen2Admin.exe) and waits for its main window.
bool StartTavrowen(const wchar_t* exe, const std::wstring& arguments, PROCESS_INFORMATION* process);
// Asks the running copy to quit as a second copy would; returns its exit code.
DWORD ShutDownTavrowen(PROCESS_INFORMATION* process);

HWND WaitForTopWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs);

// A left click at a screen point as the mouse gives it: an absolute move
// there, then the button down and up, never close enough to the last one to
// make a double click.
void ClickScreenPoint(int x, int y);

// Registry helpers for the current user.
void DeleteRegistryTree(HKEY root, const wchar_t* path);
// Writes a value of any type, making the key if need be.
bool WriteRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
                        DWORD bytes);
bool SetDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value);
void DeleteRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name);
bool ReadDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* value);

// Whether one of the program's watch timers runs, told by killing it; a
// running one is set again as the program sets it.
bool TimerRunning(HWND window, UINT_PTR id, TIMERPROC procedure);

// An address as it may be opened: nothing below or at the blank, nothing
// beyond ASCII, no quote or angle bracket, and every '%' followed by two hex digits.
bool IsWellFormedAddress(const std::wstring& address);

// The kernel handles a process holds, from the system-wide handle list
// (GetProcessHandleCount returns 0 under Wine; this list is complete); 0
// when the list cannot be had.
size_t CountProcessHandles(DWORD processId);

// A hidden window that opens the lookups posted to it, as MainWindow does;
// tests make it appState.mainWindow to run lookups in their own process.
HWND CreateLookupResultWindow();

std::wstring WidenUtf8(const std::string& text);
// The clipboard's text, or "(nothing)".
std::wstring ClipboardText();
// An address's %XX escapes decoded, the bytes read as UTF-8.
std::wstring UnescapeUtf8(const std::wstring& address);
std::string NarrowUtf8(const std::wstring& text);

// A named pipe waiting for a client, to show that nothing connects to it.
class ListeningPipe {
public:
    explicit ListeningPipe(const wchar_t* name);
    ~ListeningPipe();
    bool Listening() const { return pipe != INVALID_HANDLE_VALUE; }
    bool WasConnected() const { return WaitForSingleObject(connecting.hEvent, 0) != WAIT_TIMEOUT; }

private:
    HANDLE pipe;
    OVERLAPPED connecting;
};
