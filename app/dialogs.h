// The About box, the search dialog and the splash screen.
#pragma once
#include <windows.h>

void ShowAboutDialog(HWND owner);
void ShowSearchDialog(HWND owner);
void ShowSplash(HWND owner);
void CentreWindow(HWND reference, HWND dialog);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
