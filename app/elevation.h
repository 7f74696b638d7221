// Telling Vista from older systems, elevated from not, and handing over.
#pragma once
#include <windows.h>

bool IsVistaOrLater();
bool IsElevated();
void RelaunchElevated();
