#include "app/main_window.h"
#include "core/system_folders.h"

#ifdef TAVROWEN_COMPANION
// The unelevated copy terminates right after starting us and may still hold the mutex.
static const DWORD companionWaitMs = 5000;
#else
static const DWORD companionWaitMs = 0;
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    RestrictDllSearch();
    return RunTavrowen(instance, commandLine, companionWaitMs);
}
