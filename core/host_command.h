// What a host process runs, read from its image name and command line alone:
// the DLL behind rundll32 and regsvr32, the AppID behind dllhost, the script,
// package or archive behind cmd, the script hosts, mshta, PowerShell,
// msiexec, java, python and node. Pure functions of their text (no file
// system, no registry), bounded for any input, so they can be fuzzed. Names
// come back as written; lookup/host_payload resolves them. Any thread.
#pragma once
#include <windows.h>
#include "core/command_line_args.h"

// A name or text taken from the command line, with its terminator.
const size_t HOST_TEXT_CAPACITY = COMMAND_LINE_CAPACITY;
// regsvr32 registers several DLLs at once; more are left out.
const size_t HOST_COMMAND_FILES = 4;

enum HostTextKind {
    HOST_TEXT_NONE,
    HOST_TEXT_URL,              // mshta's address: shown, never looked up
    HOST_TEXT_COMMAND,          // a command given inline (powershell -Command, python -c, node -e)
    HOST_TEXT_ENCODED_COMMAND,  // powershell -EncodedCommand, decoded; empty when it does not decode
    HOST_TEXT_MODULE,           // python -m, java -m: a module's name
    HOST_TEXT_APPID,            // dllhost /Processid: the AppID, braced
    HOST_TEXT_PRODUCT_CODE,     // msiexec given a product code instead of a package
};

// How a named file is to be found (see lookup/host_payload).
enum HostFileSearch {
    HOST_SEARCH_DLL,     // as LoadLibrary would, ".dll" added to a name without extension
    HOST_SEARCH_SCRIPT,  // the current folder first, then the system's folders and PATH
};

struct HostCommand {
    bool isHost;  // the image is one of the hosts above, whatever its command line gave
    HostFileSearch search;
    size_t fileCount;
    wchar_t files[HOST_COMMAND_FILES][MAX_PATH];  // as written, quotes removed
    HostTextKind textKind;
    wchar_t text[HOST_TEXT_CAPACITY];
    // What runs is more than, or other than, the files named: a command, an
    // address, an encoded or inline command, a module or product code, or a
    // cmd line whose operators, escapes or inner quotes may run anything.
    bool unknown;
    // For such a cmd line, where the text after /c or /k starts in the line
    // (0: none); the "Runs" cell shows that text whole.
    size_t shellTextStart;
};

// One host family each: `args` is the split command line (arg[0] the program).
// Each fills what it finds into `command`, which the caller has cleared.
typedef void (*HostCommandParser)(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParseRundll32(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParseRegsvr32(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParseDllhost(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParseCmd(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParseScriptHost(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);  // wscript, cscript
void ParseMshta(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParsePowerShell(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);  // and pwsh
void ParseMsiexec(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);
void ParseJava(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);  // and javaw
void ParsePython(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);  // pythonw, py
void ParseNode(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command);

// The parser for an image name (a file name or a full path; letters A-Z in
// any case), NULL for a process that is no such host.
HostCommandParser FindHostCommandParser(const wchar_t* imageName);

// The one entry for callers and the fuzz driver: clears `command`, splits the
// line and runs the image's parser. False when the image is no host or the
// line cannot be split (NULL, over 32,767 characters). `args` is the
// caller's scratch space (it is large: keep it off small stacks).
bool ParseHostCommand(const wchar_t* imageName, const wchar_t* commandLine, CommandArgs* args, HostCommand* command);

// Whether the text after cmd's /c or /k holds & | ^ < > ( ) or a quote
// away from its two ends: then it may run more than its first word names.
bool HasCmdOperators(const wchar_t* text);

// Base64 text (blanks ignored, '=' padding optional) decoded as UTF-16LE into
// `text` (`capacity` characters with the terminator). An odd last byte is
// left out, a NUL shown as U+FFFD. False, with an empty text, for any other
// character, a misplaced '=', or a result that does not fit.
bool DecodeBase64Utf16(const wchar_t* base64, wchar_t* text, size_t capacity);
