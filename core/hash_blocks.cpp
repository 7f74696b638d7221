#include "core/hash_blocks.h"
#include <string.h>

void FeedHashBlocks(unsigned char block[64], size_t waiting, const unsigned char* input, size_t length,
                    CompressBlocksProc compress, void* state)
{
    if (waiting > 0) {
        size_t room = 64 - waiting;
        if (length < room) {
            memcpy(block + waiting, input, length);
            return;
        }
        memcpy(block + waiting, input, room);
        compress(state, block, 1);
        input += room;
        length -= room;
    }
    size_t blocks = length / 64;
    if (blocks > 0) {
        compress(state, input, blocks);
        input += blocks * 64;
        length -= blocks * 64;
    }
    if (length > 0)
        memcpy(block, input, length);
}
