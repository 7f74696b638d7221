#include "core/host_command.h"
#include "core/ascii_folding.h"

static size_t BoundedLength(const wchar_t* text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length])
        ++length;
    return length;
}

static bool EqualFolded(const wchar_t* a, const wchar_t* b)
{
    size_t length = BoundedLength(b, HOST_TEXT_CAPACITY);
    return BoundedLength(a, length + 1) == length && EqualFoldingAsciiLetters(a, b, length);
}

static bool StartsFolded(const wchar_t* text, const wchar_t* prefix)
{
    return EqualFoldingAsciiLetters(text, prefix, BoundedLength(prefix, HOST_TEXT_CAPACITY));
}

// Whether `word` is a shortening of `name` of at least `least` characters,
// as PowerShell takes its parameters.
static bool AbbreviatesFolded(const wchar_t* word, const wchar_t* name, size_t least)
{
    size_t length = BoundedLength(word, HOST_TEXT_CAPACITY);
    return length >= least && length <= BoundedLength(name, HOST_TEXT_CAPACITY) &&
           EqualFoldingAsciiLetters(word, name, length);
}

static const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c && c - path < (ptrdiff_t)HOST_TEXT_CAPACITY; ++c)
        if (*c == L'\\' || *c == L'/' || *c == L':')
            name = c + 1;
    return name;
}

static bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
static bool IsSwitch(const wchar_t* arg) { return arg[0] == L'/' || arg[0] == L'-'; }

// A name of `length` characters, blanks around it dropped; names that are
// empty or would not fit a path are passed over.
static void AddFile(HostCommand* command, const wchar_t* name, size_t length)
{
    while (length && IsBlank(*name))
        ++name, --length;
    while (length && IsBlank(name[length - 1]))
        --length;
    if (length == 0 || length >= MAX_PATH || command->fileCount >= HOST_COMMAND_FILES)
        return;
    wchar_t* file = command->files[command->fileCount++];
    CopyMemory(file, name, length * sizeof(wchar_t));
    file[length] = L'\0';
}

static void AddWholeFile(HostCommand* command, const wchar_t* name)
{
    AddFile(command, name, BoundedLength(name, MAX_PATH));
}

static void SetText(HostCommand* command, HostTextKind kind, const wchar_t* text, size_t length)
{
    while (length && IsBlank(*text))
        ++text, --length;
    while (length && IsBlank(text[length - 1]))
        --length;
    if (length >= HOST_TEXT_CAPACITY)
        length = HOST_TEXT_CAPACITY - 1;
    CopyMemory(command->text, text, length * sizeof(wchar_t));
    command->text[length] = L'\0';
    command->textKind = kind;
}

static void SetWholeText(HostCommand* command, HostTextKind kind, const wchar_t* text)
{
    SetText(command, kind, text, BoundedLength(text, HOST_TEXT_CAPACITY));
}

// The line as written from argument `index` on, for hosts that take the rest raw.
static const wchar_t* RawRest(const wchar_t* commandLine, const CommandArgs* args, size_t index)
{
    return commandLine + args->start[index];
}

static bool IsHex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

// {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
static bool IsBracedGuid(const wchar_t* text)
{
    if (BoundedLength(text, 40) != 38 || text[0] != L'{' || text[37] != L'}')
        return false;
    for (int i = 1; i < 37; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != L'-' : !IsHex(text[i]))
            return false;
    }
    return true;
}

// rundll32's DLL,Entry read from the line as written, quotes taken out where
// they stand: "C:\x\a,b.dll",Entry names a,b.dll, which the split arguments
// alone cannot tell from a.dll.
void ParseRundll32(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_DLL;
    if (args->count < 2 || IsSwitch(args->arg[1]))
        return;
    const wchar_t* raw = RawRest(commandLine, args, 1);
    wchar_t dll[MAX_PATH];
    size_t length = 0;
    bool quoted = false;
    for (size_t n = 0; raw[n] && n < HOST_TEXT_CAPACITY; ++n) {
        if (raw[n] == L'"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (raw[n] == L',' || IsBlank(raw[n])))
            break;
        if (length + 1 >= MAX_PATH)
            return;  // too long for a path: passed over
        dll[length++] = raw[n];
    }
    AddFile(command, dll, length);
}

void ParseRegsvr32(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_DLL;
    // Switches /s /u /n /c /e and /i or /i:text come anywhere; every other argument is a DLL.
    for (size_t i = 1; i < args->count; ++i)
        if (!IsSwitch(args->arg[i]))
            AddWholeFile(command, args->arg[i]);
}

void ParseDllhost(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    for (size_t i = 1; i < args->count; ++i) {
        const wchar_t* value = args->arg[i] + 11;
        if (StartsFolded(args->arg[i], L"/processid:") && IsBracedGuid(value)) {
            SetWholeText(command, HOST_TEXT_APPID, value);
            return;
        }
    }
}

// The first word of what cmd runs: quoted up to the next quote, else up to a
// blank or an operator.
static size_t CmdWord(const wchar_t* rest, const wchar_t** word)
{
    while (IsBlank(*rest))
        ++rest;
    size_t length = 0;
    if (*rest == L'"') {
        *word = ++rest;
        while (rest[length] && rest[length] != L'"')
            ++length;
        return length;
    }
    *word = rest;
    while (rest[length] && !IsBlank(rest[length]) && !wcschr(L"&|<>()", rest[length]))
        ++length;
    return length;
}

bool HasCmdOperators(const wchar_t* text)
{
    size_t length = BoundedLength(text, HOST_TEXT_CAPACITY);
    while (length && IsBlank(*text))
        ++text, --length;
    while (length && IsBlank(text[length - 1]))
        --length;
    for (size_t n = 0; n < length; ++n)
        if (wcschr(L"&|^<>()", text[n]) || (text[n] == L'"' && n != 0 && n + 1 != length))
            return true;
    return false;
}

void ParseCmd(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    for (size_t i = 1; i < args->count; ++i) {
        const wchar_t* raw = RawRest(commandLine, args, i);
        if (raw[0] != L'/' || (FoldAsciiLetter(raw[1]) != L'c' && FoldAsciiLetter(raw[1]) != L'k'))
            continue;
        // cmd /c ""C:\a b\x.bat" arg" drops the outer quotes.
        const wchar_t* rest = raw + 2;
        while (IsBlank(*rest))
            ++rest;
        if (HasCmdOperators(rest)) {
            command->unknown = true;
            command->shellTextStart = (size_t)(rest - commandLine);
        }
        if (rest[0] == L'"' && rest[1] == L'"')
            ++rest;
        const wchar_t* word = NULL;
        size_t length = CmdWord(rest, &word);
        if (length == 4 && EqualFoldingAsciiLetters(word, L"call", 4))
            length = CmdWord(word + 4, &word);
        // Only a file with an extension: a bare word is a built-in or a program found by name.
        const wchar_t* dot = NULL;
        for (size_t n = 0; n < length; ++n)
            if (word[n] == L'.')
                dot = word + n;
            else if (word[n] == L'\\' || word[n] == L'/')
                dot = NULL;
        if (dot && dot + 1 < word + length)
            AddFile(command, word, length);
        // A built-in or a program found by name: a command, not a file.
        if (command->fileCount == 0)
            command->unknown = true;
        return;
    }
}

void ParseScriptHost(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    // The host's own options are written //B, //E:engine, //T:nn...; the script's follow it.
    for (size_t i = 1; i < args->count; ++i) {
        if (args->arg[i][0] == L'/' && args->arg[i][1] == L'/')
            continue;
        AddWholeFile(command, args->arg[i]);
        return;
    }
}

// scheme: with two letters at least, so that C:\x.hta stays a file.
static bool LooksLikeUrl(const wchar_t* text)
{
    size_t n = 0;
    while ((text[n] >= L'a' && text[n] <= L'z') || (text[n] >= L'A' && text[n] <= L'Z') ||
           (n > 0 && ((text[n] >= L'0' && text[n] <= L'9') || text[n] == L'+' || text[n] == L'-' || text[n] == L'.')))
        ++n;
    return n >= 2 && text[n] == L':';
}

void ParseMshta(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    for (size_t i = 1; i < args->count; ++i) {
        if (args->arg[i][0] == L'-' || args->arg[i][0] == L'{')
            continue;
        const wchar_t* raw = RawRest(commandLine, args, i);
        if (!LooksLikeUrl(args->arg[i]))
            AddWholeFile(command, args->arg[i]);
        else if (raw[0] == L'"')
            SetWholeText(command, HOST_TEXT_URL, args->arg[i]);
        else  // mshta vbscript:Execute("...") takes the rest as it is
            SetWholeText(command, HOST_TEXT_URL, raw);
        return;
    }
}

// PowerShell's parameters that take a value, shortest accepted forms given.
static bool PowerShellTakesValue(const wchar_t* name)
{
    return EqualFolded(name, L"ep") || AbbreviatesFolded(name, L"executionpolicy", 2) ||
           EqualFolded(name, L"ea") || AbbreviatesFolded(name, L"encodedarguments", 8) ||
           AbbreviatesFolded(name, L"windowstyle", 1) || AbbreviatesFolded(name, L"version", 1) ||
           AbbreviatesFolded(name, L"psconsolefile", 2) || EqualFolded(name, L"if") ||
           AbbreviatesFolded(name, L"inputformat", 3) || EqualFolded(name, L"of") ||
           AbbreviatesFolded(name, L"outputformat", 1) || AbbreviatesFolded(name, L"configurationname", 4) ||
           EqualFolded(name, L"wd") || AbbreviatesFolded(name, L"workingdirectory", 2) ||
           AbbreviatesFolded(name, L"custompipename", 2) || AbbreviatesFolded(name, L"settingsfile", 2);
}

// PowerShell takes an en dash, an em dash or a horizontal bar for the hyphen.
static bool IsPowerShellDash(wchar_t c)
{
    return c == L'-' || c == 0x2013 || c == 0x2014 || c == 0x2015;
}

static bool IsPowerShellSwitch(const wchar_t* arg) { return arg[0] == L'/' || IsPowerShellDash(arg[0]); }
static bool IsDashAlone(const wchar_t* arg) { return IsPowerShellDash(arg[0]) && arg[1] == L'\0'; }

void ParsePowerShell(const wchar_t* commandLine, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    // pwsh takes a bare argument as a script to run, Windows PowerShell as a command.
    bool core = StartsFolded(FileNamePart(args->arg[0]), L"pwsh");
    for (size_t i = 1; i < args->count; ++i) {
        const wchar_t* arg = args->arg[i];
        bool hasValue = i + 1 < args->count;
        if (!IsPowerShellSwitch(arg)) {
            if (core)
                AddWholeFile(command, arg);
            else
                SetWholeText(command, HOST_TEXT_COMMAND, RawRest(commandLine, args, i));
            return;
        }
        const wchar_t* name = arg + (IsPowerShellDash(arg[0]) && IsPowerShellDash(arg[1]) ? 2 : 1);
        if (PowerShellTakesValue(name)) {
            ++i;
        } else if (EqualFolded(name, L"ec") || AbbreviatesFolded(name, L"encodedcommand", 1)) {
            command->textKind = HOST_TEXT_ENCODED_COMMAND;
            if (hasValue)
                DecodeBase64Utf16(args->arg[i + 1], command->text, HOST_TEXT_CAPACITY);
            return;
        } else if (AbbreviatesFolded(name, L"file", 1)) {
            if (hasValue && !IsDashAlone(args->arg[i + 1]))
                AddWholeFile(command, args->arg[i + 1]);
            return;
        } else if (AbbreviatesFolded(name, L"command", 1) || EqualFolded(name, L"cwa") ||
                   AbbreviatesFolded(name, L"commandwithargs", 8)) {
            if (hasValue && !IsDashAlone(args->arg[i + 1]))
                SetWholeText(command, HOST_TEXT_COMMAND, RawRest(commandLine, args, i + 1));
            return;
        }
    }
}

// A package, patch or product code after one of msiexec's options.
static void AddMsiTarget(HostCommand* command, const wchar_t* value)
{
    if (IsBracedGuid(value)) {
        if (command->textKind == HOST_TEXT_NONE)
            SetWholeText(command, HOST_TEXT_PRODUCT_CODE, value);
        return;
    }
    // /update takes patches separated by semicolons.
    while (*value) {
        size_t length = 0;
        while (value[length] && value[length] != L';' && length < HOST_TEXT_CAPACITY)
            ++length;
        AddFile(command, value, length);
        value += length;
        if (*value == L';')
            ++value;
    }
}

void ParseMsiexec(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    for (size_t i = 1; i + 1 < args->count; ++i) {
        if (!IsSwitch(args->arg[i]))
            continue;
        const wchar_t* name = args->arg[i] + 1;
        // /f takes repair letters (/fa, /fomus...), /j advertising ones (/ju, /jm).
        bool lettered = FoldAsciiLetter(name[0]) == L'f' || FoldAsciiLetter(name[0]) == L'j';
        for (size_t n = 1; lettered && name[n]; ++n)
            lettered = FoldAsciiLetter(name[n]) >= L'a' && FoldAsciiLetter(name[n]) <= L'z' && n < 12;
        if (lettered || EqualFolded(name, L"i") || EqualFolded(name, L"package") || EqualFolded(name, L"a") ||
            EqualFolded(name, L"x") || EqualFolded(name, L"uninstall") || EqualFolded(name, L"p") ||
            EqualFolded(name, L"update"))
            AddMsiTarget(command, args->arg[++i]);
    }
}

void ParseJava(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    static const wchar_t* const valued[] = {L"-cp", L"-classpath", L"--class-path", L"-p", L"--module-path",
                                            L"--upgrade-module-path", L"--add-modules", L"--limit-modules"};
    for (size_t i = 1; i < args->count; ++i) {
        const wchar_t* arg = args->arg[i];
        bool hasValue = i + 1 < args->count;
        if (EqualFolded(arg, L"-jar")) {
            if (hasValue)
                AddWholeFile(command, args->arg[i + 1]);
            return;
        }
        if (EqualFolded(arg, L"-m") || EqualFolded(arg, L"--module")) {
            if (hasValue)
                SetWholeText(command, HOST_TEXT_MODULE, args->arg[i + 1]);
            return;
        }
        bool takesValue = false;
        for (size_t n = 0; n < ARRAYSIZE(valued); ++n)
            takesValue = takesValue || EqualFolded(arg, valued[n]);
        if (takesValue)
            ++i;
        else if (arg[0] != L'-') {
            SetWholeText(command, HOST_TEXT_MODULE, arg);  // the main class
            return;
        }
    }
}

void ParsePython(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    for (size_t i = 1; i < args->count; ++i) {
        const wchar_t* arg = args->arg[i];
        if (EqualFolded(arg, L"--")) {
            if (i + 1 < args->count)
                AddWholeFile(command, args->arg[i + 1]);
            return;
        }
        if (arg[0] != L'-') {
            AddWholeFile(command, arg);
            return;
        }
        if (arg[1] == L'\0')  // "-": the script comes from standard input
            return;
        if (arg[1] == L'-') {  // --help, --version; one long option takes a value
            if (EqualFolded(arg, L"--check-hash-based-pycs"))
                ++i;
            continue;
        }
        // py.exe's version choice: -3, -3.12, -3-32, -V:3.12
        if ((arg[1] >= L'0' && arg[1] <= L'9') || StartsFolded(arg, L"-V:"))
            continue;
        // Letters may be joined (-uB); -c, -m, -W and -X take the rest or the next argument.
        for (size_t n = 1; arg[n]; ++n) {
            wchar_t letter = arg[n];
            if (letter != L'c' && letter != L'm' && letter != L'W' && letter != L'X')
                continue;
            const wchar_t* value = arg[n + 1] ? arg + n + 1 : (i + 1 < args->count ? args->arg[++i] : NULL);
            if (letter == L'c' && value)
                SetWholeText(command, HOST_TEXT_COMMAND, value);
            else if (letter == L'm' && value)
                SetWholeText(command, HOST_TEXT_MODULE, value);
            if (letter == L'c' || letter == L'm')
                return;
            break;
        }
    }
}

void ParseNode(const wchar_t*, const CommandArgs* args, HostCommand* command)
{
    command->search = HOST_SEARCH_SCRIPT;
    static const wchar_t* const valued[] = {L"-r", L"--require", L"--import", L"--loader", L"--experimental-loader",
                                            L"-C", L"--conditions", L"--title", L"--input-type", L"--env-file"};
    for (size_t i = 1; i < args->count; ++i) {
        const wchar_t* arg = args->arg[i];
        bool hasValue = i + 1 < args->count;
        if (EqualFolded(arg, L"--")) {
            if (hasValue)
                AddWholeFile(command, args->arg[i + 1]);
            return;
        }
        if (arg[0] != L'-') {
            AddWholeFile(command, arg);
            return;
        }
        if (EqualFolded(arg, L"-e") || EqualFolded(arg, L"--eval") || EqualFolded(arg, L"-p") ||
            EqualFolded(arg, L"--print") || EqualFolded(arg, L"-pe")) {
            if (hasValue)
                SetWholeText(command, HOST_TEXT_COMMAND, args->arg[i + 1]);
            return;
        }
        if (StartsFolded(arg, L"--eval=") || StartsFolded(arg, L"--print=")) {
            SetWholeText(command, HOST_TEXT_COMMAND, wcschr(arg, L'=') + 1);
            return;
        }
        for (size_t n = 0; n < ARRAYSIZE(valued); ++n)
            if (wcscmp(arg, valued[n]) == 0) {
                ++i;
                break;
            }
    }
}

struct HostParserEntry {
    const wchar_t* imageName;
    HostCommandParser parse;
};

static const HostParserEntry hostParsers[] = {
    {L"rundll32.exe", ParseRundll32},  {L"regsvr32.exe", ParseRegsvr32}, {L"dllhost.exe", ParseDllhost},
    {L"cmd.exe", ParseCmd},            {L"wscript.exe", ParseScriptHost}, {L"cscript.exe", ParseScriptHost},
    {L"mshta.exe", ParseMshta},        {L"powershell.exe", ParsePowerShell}, {L"pwsh.exe", ParsePowerShell},
    {L"msiexec.exe", ParseMsiexec},    {L"java.exe", ParseJava},         {L"javaw.exe", ParseJava},
    {L"python.exe", ParsePython},      {L"pythonw.exe", ParsePython},    {L"python3.exe", ParsePython},
    {L"py.exe", ParsePython},          {L"pyw.exe", ParsePython},        {L"node.exe", ParseNode},
};

HostCommandParser FindHostCommandParser(const wchar_t* imageName)
{
    if (!imageName)
        return NULL;
    const wchar_t* name = FileNamePart(imageName);
    for (size_t i = 0; i < ARRAYSIZE(hostParsers); ++i)
        if (EqualFolded(name, hostParsers[i].imageName))
            return hostParsers[i].parse;
    return NULL;
}

bool ParseHostCommand(const wchar_t* imageName, const wchar_t* commandLine, CommandArgs* args, HostCommand* command)
{
    ZeroMemory(command, sizeof(*command));
    HostCommandParser parse = FindHostCommandParser(imageName);
    command->isHost = parse != NULL;
    if (!parse || !SplitCommandLine(commandLine, args) || args->count == 0)
        return false;
    parse(commandLine, args, command);
    HostTextKind kind = command->textKind;
    command->unknown = command->unknown || kind == HOST_TEXT_URL || kind == HOST_TEXT_COMMAND ||
                       kind == HOST_TEXT_ENCODED_COMMAND || kind == HOST_TEXT_MODULE || kind == HOST_TEXT_PRODUCT_CODE;
    return true;
}

static int Base64Value(wchar_t c)
{
    if (c >= L'A' && c <= L'Z')
        return c - L'A';
    if (c >= L'a' && c <= L'z')
        return c - L'a' + 26;
    if (c >= L'0' && c <= L'9')
        return c - L'0' + 52;
    return c == L'+' ? 62 : c == L'/' ? 63 : -1;
}

bool DecodeBase64Utf16(const wchar_t* base64, wchar_t* text, size_t capacity)
{
    if (capacity == 0)
        return false;
    text[0] = L'\0';
    DWORD bits = 0;
    int bitCount = 0, lowByte = -1;
    size_t used = 0, sextets = 0, i = 0;
    bool padded = false;
    for (; base64[i] && i < COMMAND_LINE_CAPACITY; ++i) {
        wchar_t c = base64[i];
        if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n')
            continue;
        if (c == L'=') {
            padded = true;
            continue;
        }
        int value = Base64Value(c);
        if (value < 0 || padded)
            break;
        ++sextets;
        bits = ((bits << 6) | (DWORD)value) & 0xFFFFFF;
        bitCount += 6;
        if (bitCount < 8)
            continue;
        bitCount -= 8;
        int byte = (int)((bits >> bitCount) & 0xFF);
        if (lowByte < 0) {
            lowByte = byte;
            continue;
        }
        if (used + 1 >= capacity)
            break;
        wchar_t character = (wchar_t)(lowByte | (byte << 8));
        text[used++] = character ? character : (wchar_t)0xFFFD;
        lowByte = -1;
    }
    // Stopped early (a bad character, text after '=', no room, too long), or
    // one character alone in its group of four: no text at all.
    if (base64[i] || sextets % 4 == 1) {
        text[0] = L'\0';
        return false;
    }
    text[used] = L'\0';
    return true;
}
