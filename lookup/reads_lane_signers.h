// The reads' lane's one signer cache.
#pragma once
#include <windows.h>
#include "core/signer_check.h"

// The signer answers kept for the program's life, shared by every check on
// the reads' lane (the rows' signers, their payloads', the sheets', their
// modules'); NULL when none could be made. On the reads' lane only.
SignerCache* ReadsLaneSignerCache();
