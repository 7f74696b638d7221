// The tray menu's Language submenu: follow Windows or one language named in
// its own words; a choice holds for every window opened afterwards.
#pragma once
#include <windows.h>

// Fills the submenu that holds "Follow Windows" and checks the current choice.
void FillLanguageMenu(HMENU menu);
// True when the command was a language choice.
bool DispatchLanguageCommand(UINT command);
