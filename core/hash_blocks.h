// The buffering that MD5 and SHA-256 share: both digest 64-byte blocks.
#pragma once
#include <stddef.h>

// Digests `count` whole blocks into the hash's state.
typedef void (*CompressBlocksProc)(void* state, const unsigned char* blocks, size_t count);

// Feeds `length` bytes: the partial block (`waiting` bytes of `block`) is
// filled first, whole blocks are digested straight from the input, and what
// is left waits in `block`.
void FeedHashBlocks(unsigned char block[64], size_t waiting, const unsigned char* input, size_t length,
                    CompressBlocksProc compress, void* state);
