#include "app/setting_names.h"
#include "core/settings.h"

const wchar_t noSplashSetting[] = L"NoSplashScreen";
const wchar_t extendedInfoSetting[] = L"SendExtendedInfo";
const wchar_t placementSetting[] = L"ProcessWindowPlacement";
const wchar_t processesHintSetting[] = L"ProcessesHintShown";
const wchar_t unverifiedOnlySetting[] = L"ProcessesUnverifiedOnly";
const wchar_t processColumnsSetting[] = L"ProcessWindowColumns";
const wchar_t processTreeSetting[] = L"ProcessesShowTree";
const wchar_t moduleColumnsSetting[] = L"ModuleListColumns";
const wchar_t startupPlacementSetting[] = L"StartupWindowPlacement";
const wchar_t startupColumnsSetting[] = L"StartupWindowColumns";
const wchar_t startupShowWindowsSetting[] = L"StartupShowWindowsEntries";
const wchar_t startupSeenSetting[] = L"StartupEntriesSeen";
const wchar_t startupOpenedSetting[] = L"StartupWindowOpened";

bool IsExtendedInfoOn()
{
    return ReadSetting(extendedInfoSetting);
}
