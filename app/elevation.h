// The hand-over to the elevated companion.
#pragma once
#include <windows.h>

// The hand-over: on Vista and later, unelevated, starts the elevated companion
// beside us and ends the process. Returns false when a hand-over is due but
// cannot happen now (a dialog is open, or shutdown has begun): the caller then
// does nothing more. True otherwise: the caller goes on by itself.
bool RelaunchElevated();
