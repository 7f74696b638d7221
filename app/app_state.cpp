#include "app/app_state.h"
#include "core/ascii_folding.h"

AppState appState;

bool IsSwitch(const wchar_t* commandLine, const wchar_t* name)
{
    // Comparing the terminator too makes it a whole-string match.
    return commandLine && EqualFoldingAsciiLetters(commandLine, name, wcslen(name) + 1);
}

bool StartUpInterrupted()
{
    return appState.shutdownBegun != 0;
}
