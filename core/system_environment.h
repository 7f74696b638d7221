// Variables in a value that names a file the system will run (ServiceDll,
// InprocServer32, a Run value, a shortcut's target), expanded as the machine
// defines them: a variable the user set under HKCU\Environment (SystemRoot,
// ProgramFiles pointed at a copy in their own folder) never moves what we
// describe away from the file that runs.
#pragma once
#include <windows.h>

// `raw` with each %NAME% replaced, into `text` (`capacity` characters):
//   SystemRoot, windir, SystemDrive, the Program Files and Common Files
//   folders: from the system's own calls and its HKLM record;
//   the user's profile folders (USERPROFILE, APPDATA, LOCALAPPDATA, TEMP,
//   TMP) and ProgramData, ALLUSERSPROFILE: from the shell, which knows them
//   without the environment;
//   any other name: the machine's environment (HKLM Session Manager), once.
// A name none of these knows stays as written, % signs and all. False, with
// an empty text, when the result does not fit.
bool ExpandSystemVariables(const wchar_t* raw, wchar_t* text, size_t capacity);
