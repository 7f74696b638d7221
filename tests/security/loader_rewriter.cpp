// A process that names another file as its own, as a hostile one would: it
// rewrites its loader entry's FullDllName and its parameters' ImagePathName
// to argument 1, and its current folder to argument 2 when given, then idles
// (ten minutes at most).
#include <windows.h>
#include <winternl.h>
#include <shellapi.h>

static void Rewrite(UNICODE_STRING* string, const wchar_t* text)
{
    string->Buffer = (PWSTR)text;
    string->Length = (USHORT)(lstrlenW(text) * sizeof(wchar_t));
    string->MaximumLength = (USHORT)(string->Length + sizeof(wchar_t));
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    PEB* peb = NtCurrentTeb()->ProcessEnvironmentBlock;
    if (arguments && count > 1) {
        Rewrite(&CONTAINING_RECORD(peb->Ldr->InMemoryOrderModuleList.Flink, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks)
                     ->FullDllName, arguments[1]);
        Rewrite(&peb->ProcessParameters->ImagePathName, arguments[1]);
    }
    // RTL_USER_PROCESS_PARAMETERS.CurrentDirectory.DosPath
    if (arguments && count > 2)
        Rewrite((UNICODE_STRING*)((BYTE*)peb->ProcessParameters + (sizeof(void*) == 8 ? 0x38 : 0x24)), arguments[2]);
    Sleep(600000);
    return 0;
}
