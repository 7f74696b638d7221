// The pure parsers of what a host runs, one test per family, and the
// splitter they stand on, checked against shell32's own.
#include <windows.h>
#include <shellapi.h>
#include <gtest/gtest.h>
#include <string>
#include "core/host_command.h"
#include "test_support.h"

namespace {

CommandArgs args;
HostCommand command;

// "file|file" and, after " = ", the text, with its kind in front.
std::string Parse(const wchar_t* image, const std::wstring& line)
{
    if (!ParseHostCommand(image, line.c_str(), &args, &command))
        return command.isHost ? "(not split)" : "(no host)";
    std::wstring seen;
    for (size_t i = 0; i < command.fileCount; ++i)
        seen += (i ? L"|" : L"") + std::wstring(command.files[i]);
    if (command.textKind != HOST_TEXT_NONE)
        seen += L" = " + std::to_wstring(command.textKind) + L":" + command.text;
    return NarrowUtf8(seen);
}

std::string Text(HostTextKind kind, const char* text) { return " = " + std::to_string(kind) + ":" + text; }

TEST(CommandLineSplit, GivesWhatShell32GivesAndStaysBounded)
{
    const wchar_t* lines[] = {
        L"x.exe \"abc\" d e", L"x.exe a\\\\\\b d\"e f\"g h", L"x.exe a\\\\\\\"b c d", L"x.exe a\\\\\\\\\"b c\" d e",
        L"x.exe a\"b\"\" c d", L"\"C:\\a b\\x.exe\"tail  \t next", L"x \"\"\"\"\"\" \"a\"\"b\" \\\"\"\" \"", L" lead",
        L"x \"unclosed \\", L"x a\\\\\\\"\"\"b \"\"\"\" ''", L"\"only"};
    for (const wchar_t* line : lines) {
        int expectedCount = 0;
        LPWSTR* expected = CommandLineToArgvW(line, &expectedCount);
        ASSERT_TRUE(expected != NULL);
        ASSERT_TRUE(SplitCommandLine(line, &args));
        EXPECT_EQ((size_t)expectedCount, args.count) << NarrowUtf8(line);
        for (int i = 0; i < expectedCount && (size_t)i < args.count; ++i)
            EXPECT_STREQ(expected[i], args.arg[i]) << NarrowUtf8(line) << " argument " << i;
        LocalFree(expected);
    }
    ASSERT_TRUE(SplitCommandLine(L"x.exe  \"a b\" c", &args));
    EXPECT_EQ(7u, args.start[1]);
    EXPECT_EQ(13u, args.start[2]);

    std::wstring longest(32767, L'a'), many = L"x";
    for (int i = 0; i < 300; ++i)
        many += L" \"\"";
    EXPECT_TRUE(SplitCommandLine(longest.c_str(), &args));
    EXPECT_EQ(32767u, wcslen(args.arg[0]));
    EXPECT_FALSE(SplitCommandLine((longest + L"a").c_str(), &args));
    EXPECT_EQ(0u, args.count);
    EXPECT_FALSE(SplitCommandLine(NULL, &args));
    ASSERT_TRUE(SplitCommandLine(many.c_str(), &args));
    EXPECT_EQ(COMMAND_ARGS_CAPACITY, args.count);
    EXPECT_TRUE(args.cut);
}

TEST(HostCommand, Rundll32AndRegsvr32NameTheirDlls)
{
    EXPECT_EQ("C:\\a b\\x.dll", Parse(L"rundll32.exe", L"rundll32.exe \"C:\\a b\\x.dll\",Entry 1 2"));
    EXPECT_EQ("shell32.dll", Parse(L"C:\\Windows\\System32\\RUNDLL32.EXE", L"rundll32 shell32.dll,#44"));
    EXPECT_EQ("x.dll", Parse(L"rundll32.exe", L"rundll32 x.dll Entry"));
    EXPECT_EQ("x", Parse(L"rundll32.exe", L"rundll32 x ,Entry"));
    EXPECT_EQ("", Parse(L"rundll32.exe", L"rundll32.exe"));
    EXPECT_EQ("", Parse(L"rundll32.exe", L"rundll32.exe ,Entry"));
    EXPECT_EQ("", Parse(L"rundll32.exe", L"rundll32.exe -sta {00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ("", Parse(L"rundll32.exe", L"rundll32.exe " + std::wstring(300, L'a') + L".dll,E"));

    EXPECT_EQ("a b.dll|c.ocx", Parse(L"regsvr32.exe", L"regsvr32 /s /u \"a b.dll\" -n /i:\"x y\" c.ocx /c"));
    EXPECT_EQ("1|2|3|4", Parse(L"regsvr32.exe", L"regsvr32 1 2 3 4 5 6"));
    EXPECT_EQ("", Parse(L"regsvr32.exe", L"regsvr32 /s"));
}

TEST(HostCommand, DllhostGivesItsAppIdOnlyWhenWellFormed)
{
    const char* appId = "{12345678-9ABC-def0-1234-56789abcdef0}";
    EXPECT_EQ(Text(HOST_TEXT_APPID, appId), Parse(L"dllhost.exe", L"dllhost.exe /Processid:" + WidenUtf8(appId)));
    EXPECT_EQ(Text(HOST_TEXT_APPID, appId), Parse(L"dllhost.exe", L"x /PROCESSID:" + WidenUtf8(appId) + L" y"));
    EXPECT_EQ("", Parse(L"dllhost.exe", L"dllhost.exe /Processid:{12345678-9ABC-def0-1234-56789abcdef}"));
    EXPECT_EQ("", Parse(L"dllhost.exe", L"dllhost.exe /Processid:{12345678x9ABC-def0-1234-56789abcdef0}"));
    EXPECT_EQ("", Parse(L"dllhost.exe", L"dllhost.exe /Processid:"));
    EXPECT_EQ("", Parse(L"dllhost.exe", L"dllhost.exe -Embedding"));
}

TEST(HostCommand, CmdNamesTheFileItRunsNotItsBuiltins)
{
    EXPECT_EQ("C:\\a b\\x.bat", Parse(L"cmd.exe", L"cmd.exe /c \"C:\\a b\\x.bat\" arg"));
    EXPECT_EQ("C:\\a b\\x.bat", Parse(L"cmd.exe", L"cmd /d /s /C \"\"C:\\a b\\x.bat\" \"arg 2\"\""));
    EXPECT_EQ("go.cmd", Parse(L"cmd.exe", L"cmd /q /k go.cmd&&exit"));
    EXPECT_EQ("go.cmd", Parse(L"cmd.exe", L"cmd /c call go.cmd 1"));
    EXPECT_EQ("x.bat", Parse(L"cmd.exe", L"cmd /cx.bat"));
    EXPECT_EQ("", Parse(L"cmd.exe", L"cmd /c dir C:\\"));
    EXPECT_EQ("", Parse(L"cmd.exe", L"cmd /c C:\\a.b\\tool"));
    EXPECT_EQ("", Parse(L"cmd.exe", L"cmd.exe"));
    EXPECT_EQ("", Parse(L"cmd.exe", L"cmd /c \""));
}

TEST(HostCommand, ScriptHostsAndMshta)
{
    EXPECT_EQ("C:\\s\\a b.vbs", Parse(L"wscript.exe", L"wscript.exe //B //E:vbscript \"C:\\s\\a b.vbs\" //x arg"));
    EXPECT_EQ("run.js", Parse(L"cscript.exe", L"cscript //nologo run.js"));
    EXPECT_EQ("", Parse(L"cscript.exe", L"cscript //nologo"));
    EXPECT_EQ("C:\\x y\\app.hta", Parse(L"mshta.exe", L"mshta.exe \"C:\\x y\\app.hta\" more"));
    EXPECT_EQ(Text(HOST_TEXT_URL, "https://example.invalid/a b"),
              Parse(L"mshta.exe", L"mshta \"https://example.invalid/a b\" x"));
    EXPECT_EQ(Text(HOST_TEXT_URL, "vbscript:Execute(\"MsgBox 1 : close\")"),
              Parse(L"mshta.exe", L"mshta vbscript:Execute(\"MsgBox 1 : close\")  "));
    EXPECT_EQ("C:\\a.hta", Parse(L"mshta.exe", L"mshta -embedding C:\\a.hta"));
}

TEST(HostCommand, PowerShellFileCommandAndEncodedCommand)
{
    // "dir 'C:\'" as UTF-16LE in base64.
    const wchar_t* encoded = L"ZABpAHIAIAAnAEMAOgBcACcA";
    const std::string decoded = Text(HOST_TEXT_ENCODED_COMMAND, "dir 'C:\\'");
    EXPECT_EQ(decoded, Parse(L"powershell.exe", std::wstring(L"powershell -NoP -w hidden -EncodedCommand ") + encoded));
    for (const wchar_t* name : {L"-enc", L"-e", L"-ec", L"/ENCODEDC", L"-en"})
        EXPECT_EQ(decoded, Parse(L"pwsh.exe", std::wstring(L"pwsh ") + name + L" " + encoded)) << NarrowUtf8(name);
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, "dir"), Parse(L"powershell.exe", L"powershell -e \"ZAB pAH\nIA=\""));
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, ""), Parse(L"powershell.exe", L"powershell -e ZABp*AHIA"));
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, ""), Parse(L"powershell.exe", L"powershell -e ZA=B"));
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, ""), Parse(L"powershell.exe", L"powershell -e"));
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, "d"), Parse(L"powershell.exe", L"powershell -e ZABp"));  // odd byte
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, "a\xEF\xBF\xBD" "b"), Parse(L"powershell.exe", L"powershell -e YQAAAGIA"));
    std::wstring huge = L"powershell -ec " + std::wstring(32700, L'A');
    ASSERT_TRUE(ParseHostCommand(L"powershell.exe", huge.c_str(), &args, &command));
    EXPECT_EQ(HOST_TEXT_ENCODED_COMMAND, command.textKind);
    EXPECT_EQ(12262u, wcslen(command.text));
    EXPECT_EQ(0xFFFD, command.text[0]);

    EXPECT_EQ("C:\\s p\\run.ps1",
              Parse(L"powershell.exe", L"powershell.exe -ExecutionPolicy Bypass -ex b -File \"C:\\s p\\run.ps1\" -x 1"));
    EXPECT_EQ("a.ps1", Parse(L"pwsh.exe", L"pwsh -NoLogo -wd C:\\ a.ps1 -File b.ps1"));
    EXPECT_EQ("a.ps1", Parse(L"pwsh.exe", L"pwsh -f a.ps1"));
    EXPECT_EQ(Text(HOST_TEXT_COMMAND, "Get-Process | Out-File \"x y\""),
              Parse(L"powershell.exe", L"powershell -NonInteractive -Command Get-Process | Out-File \"x y\""));
    EXPECT_EQ(Text(HOST_TEXT_COMMAND, "Get-Date"), Parse(L"powershell.exe", L"powershell -NoProfile Get-Date"));
    EXPECT_EQ("", Parse(L"powershell.exe", L"powershell -File - -Version"));
}

TEST(HostCommand, MsiexecPackagesPatchesAndProductCodes)
{
    EXPECT_EQ("C:\\a b\\x.msi", Parse(L"msiexec.exe", L"msiexec /qn /i \"C:\\a b\\x.msi\" PROP=1 /l*v log.txt"));
    EXPECT_EQ("x.msi", Parse(L"msiexec.exe", L"msiexec -package x.msi"));
    EXPECT_EQ("x.msi", Parse(L"msiexec.exe", L"msiexec /fa x.msi"));
    EXPECT_EQ("x.msi", Parse(L"msiexec.exe", L"msiexec /FOMUS x.msi"));
    EXPECT_EQ("x.msi|p1.msp|p 2.msp", Parse(L"msiexec.exe", L"msiexec /i x.msi /update \"p1.msp;p 2.msp;\""));
    EXPECT_EQ(Text(HOST_TEXT_PRODUCT_CODE, "{12345678-9ABC-DEF0-1234-56789ABCDEF0}"),
              Parse(L"msiexec.exe", L"msiexec /x {12345678-9ABC-DEF0-1234-56789ABCDEF0} /qn"));
    EXPECT_EQ("", Parse(L"msiexec.exe", L"msiexec /V"));
    EXPECT_EQ("", Parse(L"msiexec.exe", L"msiexec /i"));
}

TEST(HostCommand, JavaPythonAndNodeScripts)
{
    EXPECT_EQ("C:\\j k\\app.jar", Parse(L"javaw.exe", L"javaw -Xmx1g -cp -jar -jar \"C:\\j k\\app.jar\" -x"));
    EXPECT_EQ(Text(HOST_TEXT_MODULE, "org.Main"), Parse(L"java.exe", L"java -classpath a.jar;b.jar org.Main -jar x"));
    EXPECT_EQ(Text(HOST_TEXT_MODULE, "m/a.B"), Parse(L"java.exe", L"java --module-path mods -m m/a.B"));
    EXPECT_EQ("", Parse(L"java.exe", L"java -version"));

    EXPECT_EQ("s p\\run.py", Parse(L"python.exe", L"python -u -O -W ignore -X utf8 \"s p\\run.py\" -c x"));
    EXPECT_EQ("run.py", Parse(L"py.exe", L"py -3.12 -uB run.py"));
    EXPECT_EQ("-odd.py", Parse(L"pythonw.exe", L"pythonw -Wd -- -odd.py"));
    EXPECT_EQ(Text(HOST_TEXT_MODULE, "http.server"), Parse(L"python.exe", L"python -m http.server 8000"));
    EXPECT_EQ(Text(HOST_TEXT_MODULE, "pip"), Parse(L"python.exe", L"python -Empip install"));
    EXPECT_EQ(Text(HOST_TEXT_COMMAND, "import os; print(1)"), Parse(L"python.exe", L"python -c \"import os; print(1)\" a.py"));
    EXPECT_EQ("", Parse(L"python.exe", L"python - a.py"));
    EXPECT_EQ("", Parse(L"python.exe", L"python -W"));

    EXPECT_EQ("C:\\n o\\server.js", Parse(L"node.exe", L"node --inspect -r dotenv/config \"C:\\n o\\server.js\" 80"));
    EXPECT_EQ("app.mjs", Parse(L"node.exe", L"node --max-old-space-size=4096 -- app.mjs"));
    EXPECT_EQ(Text(HOST_TEXT_COMMAND, "1+1"), Parse(L"node.exe", L"node -p 1+1 x.js"));
    EXPECT_EQ(Text(HOST_TEXT_COMMAND, "x()"), Parse(L"node.exe", L"node --eval=x() y.js"));

    EXPECT_EQ("(no host)", Parse(L"notepad.exe", L"notepad.exe a.txt"));
    EXPECT_EQ("(no host)", Parse(NULL, L"x"));
    EXPECT_FALSE(ParseHostCommand(L"node.exe", NULL, &args, &command));
    EXPECT_TRUE(command.isHost);
}

// Whether the line runs what no file tells, and for cmd the text "Runs" shows then.
std::string Unknown(const wchar_t* image, const std::wstring& line)
{
    if (!ParseHostCommand(image, line.c_str(), &args, &command))
        return "(not parsed)";
    std::string seen = command.unknown ? "unknown" : "known";
    std::wstring text = command.shellTextStart ? line.substr(command.shellTextStart) : L"";
    text.erase(text.find_last_not_of(L' ') + 1);
    return command.shellTextStart ? seen + ": " + NarrowUtf8(text) : seen;
}

TEST(HostCommand, QuotedRundllNamesCmdOperatorsAndPowerShellDashes)
{
    EXPECT_EQ("C:\\x\\a,b.dll", Parse(L"rundll32.exe", L"rundll32 \"C:\\x\\a,b.dll\",Entry"));
    EXPECT_EQ("C:\\x\\a,b.dll", Parse(L"rundll32.exe", L"rundll32 C:\\x\\\"a,b\".dll,Entry x"));
    EXPECT_EQ("C:\\x\\a.dll", Parse(L"rundll32.exe", L"rundll32 C:\\x\\a.dll,\"b,c\""));

    EXPECT_EQ("unknown: \"C:\\x\\ev^il.bat\"", Unknown(L"cmd.exe", L"cmd /c \"C:\\x\\ev^il.bat\""));
    for (const wchar_t* text : {L"a.bat & b.exe", L"a.bat|more", L"a.bat >out", L"a.bat<in", L"(a.bat)",
                                L"\"a.bat\" \"x\"", L"a.bat \"x\""})
        EXPECT_EQ("unknown: " + NarrowUtf8(text), Unknown(L"cmd.exe", std::wstring(L"cmd /d /k  ") + text + L"  "))
            << NarrowUtf8(text);
    EXPECT_EQ("known", Unknown(L"cmd.exe", L"cmd /c \"C:\\a b\\x.bat\"  "));
    EXPECT_EQ("known", Unknown(L"cmd.exe", L"cmd /c x.bat arg"));
    EXPECT_EQ("unknown", Unknown(L"cmd.exe", L"cmd /c dir C:\\"));

    // En dash, em dash and horizontal bar stand for the hyphen, as PowerShell takes them.
    EXPECT_EQ(Text(HOST_TEXT_ENCODED_COMMAND, "dir"), Parse(L"powershell.exe", L"powershell \x2013" L"enc ZABpAHIA"));
    EXPECT_EQ("a.ps1", Parse(L"powershell.exe", L"powershell \x2014NoProfile \x2014\x2014" L"File a.ps1"));
    EXPECT_EQ(Text(HOST_TEXT_COMMAND, "Get-Date"), Parse(L"pwsh.exe", L"pwsh \x2015" L"c Get-Date"));
    EXPECT_EQ("", Parse(L"powershell.exe", L"powershell -File \x2013"));
    EXPECT_EQ("unknown", Unknown(L"powershell.exe", L"powershell \x2013" L"enc ZABpAHIA"));
    EXPECT_EQ("unknown", Unknown(L"pwsh.exe", L"pwsh \x2015" L"c Get-Date"));
    EXPECT_EQ("known", Unknown(L"powershell.exe", L"powershell \x2014" L"File a.ps1"));
    EXPECT_EQ("unknown", Unknown(L"mshta.exe", L"mshta vbscript:Execute(\"x\")"));
    EXPECT_EQ("unknown", Unknown(L"python.exe", L"python -m http.server"));
    EXPECT_EQ("known", Unknown(L"rundll32.exe", L"rundll32 x.dll,E"));
}

}  // namespace
