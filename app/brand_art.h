// The brand's pictures at a window's DPI: the artwork scaled, and every text
// written over it at its own size, so that no text is a stretched picture.
#pragma once
#include <windows.h>

// The splash screen's face at 96 DPI, and the rounding of its corners.
const int SPLASH_WIDTH = 480;
const int SPLASH_HEIGHT = 280;
const int SPLASH_CORNER = 42;

// The whole face of the splash screen, SPLASH_WIDTH by SPLASH_HEIGHT at 96 DPI.
void PaintSplashFace(HDC dc, UINT dpi);
// The About box's banner, centred in its owner-drawn control.
void DrawAboutBanner(const DRAWITEMSTRUCT* item, UINT dpi);
