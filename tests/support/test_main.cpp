// Entry of every test program.
#include <windows.h>
#include <gtest/gtest.h>
#include "app/app_state.h"
#include "taskmgr/attachment.h"

int main(int argc, char** argv)
{
    // Wine closes its desktop and tray shortly after the last window goes;
    // this hidden window keeps them for the whole run.
    CreateWindowExW(0, L"STATIC", L"test keeper", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    appState.instance = GetModuleHandleW(NULL);
    attachment.instance = appState.instance;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
