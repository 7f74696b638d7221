#include "lookup/reads_lane_signers.h"

// One thread uses it, so no lock around its making. A file checked for one
// process serves every other process of it, and a row's notes take the
// signer its row's check found.
static SignerCache signerCache;
static bool signerCacheReady;

SignerCache* ReadsLaneSignerCache()
{
    if (!signerCacheReady)
        signerCacheReady = InitSignerCache(&signerCache);
    return signerCacheReady ? &signerCache : NULL;
}
