// Entry of every test program.
#include <windows.h>
#include <gtest/gtest.h>
#include "app/app_state.h"
#include "core/seams.h"
#include "taskmgr/attachment.h"

namespace {

// Every test ends with the real system calls in place, whatever it replaced
// and however it ended: a failed assertion leaves no fake for the next test.
class SeamKeeper : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { real = seams; }
    void OnTestEnd(const testing::TestInfo&) override { seams = real; }
    SystemSeams real = seams;
};

}  // namespace

int main(int argc, char** argv)
{
    // Wine closes its desktop and tray shortly after the last window goes;
    // this hidden window keeps them for the whole run.
    CreateWindowExW(0, L"STATIC", L"test keeper", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    appState.instance = GetModuleHandleW(NULL);
    attachment.instance = appState.instance;
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new SeamKeeper);
    return RUN_ALL_TESTS();
}
