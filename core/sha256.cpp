// SHA-256 as FIPS 180-4 publishes it, written plainly: the sheet hashes one
// file when asked, so clarity counts for more than the last few percent.
#include "core/sha256.h"
#include <string.h>
#include "core/hash_blocks.h"

namespace {

const uint32_t ROUND_CONSTANTS[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline uint32_t RotateRight(uint32_t value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

// Message words are big-endian whatever the processor.
inline uint32_t LoadBigEndian(const unsigned char* bytes)
{
    return ((uint32_t)bytes[0] << 24) | ((uint32_t)bytes[1] << 16) | ((uint32_t)bytes[2] << 8) | bytes[3];
}

inline void StoreBigEndian(unsigned char* bytes, uint32_t word)
{
    bytes[0] = (unsigned char)(word >> 24);
    bytes[1] = (unsigned char)(word >> 16);
    bytes[2] = (unsigned char)(word >> 8);
    bytes[3] = (unsigned char)word;
}

void CompressBlocks(uint32_t state[8], const unsigned char* block, size_t count)
{
    for (; count > 0; --count, block += 64) {
        uint32_t schedule[64];
        for (int i = 0; i < 16; ++i)
            schedule[i] = LoadBigEndian(block + 4 * i);
        for (int i = 16; i < 64; ++i) {
            uint32_t w15 = schedule[i - 15], w2 = schedule[i - 2];
            uint32_t s0 = RotateRight(w15, 7) ^ RotateRight(w15, 18) ^ (w15 >> 3);
            uint32_t s1 = RotateRight(w2, 17) ^ RotateRight(w2, 19) ^ (w2 >> 10);
            schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
            uint32_t choose = (e & f) ^ (~e & g);
            uint32_t t1 = h + s1 + choose + ROUND_CONSTANTS[i] + schedule[i];
            uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
            uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            uint32_t t2 = s0 + majority;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

// The block feeder's view of CompressBlocks.
void CompressStateBlocks(void* state, const unsigned char* blocks, size_t count)
{
    CompressBlocks((uint32_t*)state, blocks, count);
}

}  // namespace

void InitSha256(Sha256Context* context)
{
    static const uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    context->byteCount = 0;
    memcpy(context->state, initial, sizeof(initial));
    memset(context->block, 0, sizeof(context->block));
}

void UpdateSha256(Sha256Context* context, const void* data, size_t length)
{
    const unsigned char* input = (const unsigned char*)data;
    size_t waiting = (size_t)(context->byteCount & 63);
    context->byteCount += length;

    FeedHashBlocks(context->block, waiting, input, length, CompressStateBlocks, context->state);
}

void FinishSha256(Sha256Context* context, unsigned char digest[32])
{
    // The length in bits, big-endian, after a 0x80 byte and zeros up to 56 modulo 64.
    uint64_t bits = context->byteCount << 3;
    unsigned char lengthBytes[8];
    StoreBigEndian(lengthBytes, (uint32_t)(bits >> 32));
    StoreBigEndian(lengthBytes + 4, (uint32_t)bits);
    static const unsigned char padding[64] = {0x80};
    size_t waiting = (size_t)(context->byteCount & 63);
    size_t padLength = waiting < 56 ? 56 - waiting : 120 - waiting;
    UpdateSha256(context, padding, padLength);
    UpdateSha256(context, lengthBytes, 8);
    for (int i = 0; i < 8; ++i)
        StoreBigEndian(digest + 4 * i, context->state[i]);
    // Nothing of the message stays behind in the context.
    memset(context, 0, sizeof(*context));
}
