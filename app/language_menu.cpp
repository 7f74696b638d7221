#include "app/language_menu.h"
#include "core/program_language.h"
#include "resource.h"

static const int TAG_CAPACITY = 16;

// The popup holding the item, searched one level down.
static HMENU FindSubmenuHolding(HMENU menu, UINT command)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(menu, i);
        if (sub && GetMenuState(sub, command, MF_BYCOMMAND) != (UINT)-1)
            return sub;
    }
    return NULL;
}

void FillLanguageMenu(HMENU menu)
{
    HMENU languagesMenu = FindSubmenuHolding(menu, IDM_LANGUAGE_FOLLOW_WINDOWS);
    if (!languagesMenu)
        return;
    wchar_t chosen[TAG_CAPACITY];
    bool hasChoice = ReadLanguageChoice(chosen, ARRAYSIZE(chosen));
    LANGID chosenLanguage = hasChoice ? SpokenLanguageForTag(chosen) : 0;
    CheckMenuRadioItem(languagesMenu, IDM_LANGUAGE_FOLLOW_WINDOWS, IDM_LANGUAGE_FOLLOW_WINDOWS,
                       chosenLanguage ? 0 : IDM_LANGUAGE_FOLLOW_WINDOWS, MF_BYCOMMAND);
    AppendMenuW(languagesMenu, MF_SEPARATOR, 0, NULL);
    int count = 0;
    const ProgramLanguageInfo* languages = ProgramLanguages(&count);
    for (int i = 0; i < count && IDM_LANGUAGE_FIRST + i <= IDM_LANGUAGE_LAST; ++i) {
        UINT command = IDM_LANGUAGE_FIRST + i;
        AppendMenuW(languagesMenu, MF_STRING, command, languages[i].nativeName);
        if (languages[i].id == chosenLanguage)
            CheckMenuRadioItem(languagesMenu, command, command, command, MF_BYCOMMAND);
    }
}

bool DispatchLanguageCommand(UINT command)
{
    if (command == IDM_LANGUAGE_FOLLOW_WINDOWS) {
        ChooseProgramLanguage(NULL);
        return true;
    }
    int count = 0;
    const ProgramLanguageInfo* languages = ProgramLanguages(&count);
    if (command < IDM_LANGUAGE_FIRST || command >= IDM_LANGUAGE_FIRST + (UINT)count)
        return false;
    ChooseProgramLanguage(languages[command - IDM_LANGUAGE_FIRST].tag);
    return true;
}
