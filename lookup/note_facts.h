// Gathers the record the note rules (lookup/file_notes) judge, from what the
// background job has read. Any thread.
#pragma once
#include <windows.h>
#include "core/signer_check.h"
#include "lookup/file_notes.h"
#include "lookup/logon_entries.h"
#include "lookup/process_facts.h"

// The folders the rules compare against, as this system has them.
void ReadNoteFolders(NoteFolders* folders);
// The same as read at most `maximumAgeMs` ago: the rows' notes share one reading.
void ReadNoteFoldersRecently(DWORD maximumAgeMs, NoteFolders* folders);

// Fills `facts` from the process's facts and the rest read for it; the
// strings stay those of the arguments, which must outlive `facts`. NULL
// signer or logon: not known. Asks the system for the path's final form,
// whether the user can add a file to its folder, the drive type and the time.
void GatherNoteFacts(const ProcessFacts* process, const wchar_t* folderWithTokens, const wchar_t* company,
                     const SignerCheck* signer, const LogonEntries* logon, const NoteFolders* folders,
                     NoteFacts* facts);
