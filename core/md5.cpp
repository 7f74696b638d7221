// MD5 as published in RFC 1321. The whole executable is hashed on the one
// thread while the click waits, so the compression is written for speed:
// all 64 steps unrolled, constants inline, and each step ordered so that the
// work not depending on the previous step's result is done before it arrives.
#include "core/md5.h"
#include <stdlib.h>
#include <string.h>
#include "core/hash_blocks.h"

namespace {

inline uint32_t RotateLeft(uint32_t value, int bits)
{
#if defined(_MSC_VER)
    return _rotl(value, bits);
#else
    // GCC and Clang turn this into one rotate instruction.
    return (value << bits) | (value >> (32 - bits));
#endif
}

// Windows runs little-endian on every processor it supports, so a message
// word is a plain unaligned 4-byte load.
inline uint32_t LoadWord(const unsigned char* bytes)
{
    uint32_t word;
    memcpy(&word, bytes, sizeof(word));
    return word;
}

// Each step adds the message word and constant first (free of b), then the
// round function, then rotates and adds b. The round functions are written so
// that as little as possible waits for b:
//   F = (b & c) | (~b & d)  as  d ^ (b & (c ^ d))
//   G = (b & d) | (c & ~d)  as two disjoint parts added separately
//   H = b ^ c ^ d           as b ^ (c ^ d)
//   I = c ^ (b | ~d)
#define MD5_STEP_F(a, b, c, d, k, t, s)                 \
    a += LoadWord(block + 4 * (k)) + (uint32_t)(t);     \
    a += (d) ^ ((b) & ((c) ^ (d)));                     \
    a = RotateLeft(a, s) + (b);

#define MD5_STEP_G(a, b, c, d, k, t, s)                 \
    a += LoadWord(block + 4 * (k)) + (uint32_t)(t);     \
    a += (c) & ~(d);                                    \
    a += (b) & (d);                                     \
    a = RotateLeft(a, s) + (b);

#define MD5_STEP_H(a, b, c, d, k, t, s)                 \
    a += LoadWord(block + 4 * (k)) + (uint32_t)(t);     \
    a += (b) ^ ((c) ^ (d));                             \
    a = RotateLeft(a, s) + (b);

#define MD5_STEP_I(a, b, c, d, k, t, s)                 \
    a += LoadWord(block + 4 * (k)) + (uint32_t)(t);     \
    a += (c) ^ ((b) | ~(d));                            \
    a = RotateLeft(a, s) + (b);

// Compresses `count` whole 64-byte blocks read straight from `block`.
void CompressBlocks(uint32_t state[4], const unsigned char* block, size_t count)
{
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];

    for (; count > 0; --count, block += 64) {
        const uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP_F(a, b, c, d, 0, 0xd76aa478, 7)
        MD5_STEP_F(d, a, b, c, 1, 0xe8c7b756, 12)
        MD5_STEP_F(c, d, a, b, 2, 0x242070db, 17)
        MD5_STEP_F(b, c, d, a, 3, 0xc1bdceee, 22)
        MD5_STEP_F(a, b, c, d, 4, 0xf57c0faf, 7)
        MD5_STEP_F(d, a, b, c, 5, 0x4787c62a, 12)
        MD5_STEP_F(c, d, a, b, 6, 0xa8304613, 17)
        MD5_STEP_F(b, c, d, a, 7, 0xfd469501, 22)
        MD5_STEP_F(a, b, c, d, 8, 0x698098d8, 7)
        MD5_STEP_F(d, a, b, c, 9, 0x8b44f7af, 12)
        MD5_STEP_F(c, d, a, b, 10, 0xffff5bb1, 17)
        MD5_STEP_F(b, c, d, a, 11, 0x895cd7be, 22)
        MD5_STEP_F(a, b, c, d, 12, 0x6b901122, 7)
        MD5_STEP_F(d, a, b, c, 13, 0xfd987193, 12)
        MD5_STEP_F(c, d, a, b, 14, 0xa679438e, 17)
        MD5_STEP_F(b, c, d, a, 15, 0x49b40821, 22)

        MD5_STEP_G(a, b, c, d, 1, 0xf61e2562, 5)
        MD5_STEP_G(d, a, b, c, 6, 0xc040b340, 9)
        MD5_STEP_G(c, d, a, b, 11, 0x265e5a51, 14)
        MD5_STEP_G(b, c, d, a, 0, 0xe9b6c7aa, 20)
        MD5_STEP_G(a, b, c, d, 5, 0xd62f105d, 5)
        MD5_STEP_G(d, a, b, c, 10, 0x02441453, 9)
        MD5_STEP_G(c, d, a, b, 15, 0xd8a1e681, 14)
        MD5_STEP_G(b, c, d, a, 4, 0xe7d3fbc8, 20)
        MD5_STEP_G(a, b, c, d, 9, 0x21e1cde6, 5)
        MD5_STEP_G(d, a, b, c, 14, 0xc33707d6, 9)
        MD5_STEP_G(c, d, a, b, 3, 0xf4d50d87, 14)
        MD5_STEP_G(b, c, d, a, 8, 0x455a14ed, 20)
        MD5_STEP_G(a, b, c, d, 13, 0xa9e3e905, 5)
        MD5_STEP_G(d, a, b, c, 2, 0xfcefa3f8, 9)
        MD5_STEP_G(c, d, a, b, 7, 0x676f02d9, 14)
        MD5_STEP_G(b, c, d, a, 12, 0x8d2a4c8a, 20)

        MD5_STEP_H(a, b, c, d, 5, 0xfffa3942, 4)
        MD5_STEP_H(d, a, b, c, 8, 0x8771f681, 11)
        MD5_STEP_H(c, d, a, b, 11, 0x6d9d6122, 16)
        MD5_STEP_H(b, c, d, a, 14, 0xfde5380c, 23)
        MD5_STEP_H(a, b, c, d, 1, 0xa4beea44, 4)
        MD5_STEP_H(d, a, b, c, 4, 0x4bdecfa9, 11)
        MD5_STEP_H(c, d, a, b, 7, 0xf6bb4b60, 16)
        MD5_STEP_H(b, c, d, a, 10, 0xbebfbc70, 23)
        MD5_STEP_H(a, b, c, d, 13, 0x289b7ec6, 4)
        MD5_STEP_H(d, a, b, c, 0, 0xeaa127fa, 11)
        MD5_STEP_H(c, d, a, b, 3, 0xd4ef3085, 16)
        MD5_STEP_H(b, c, d, a, 6, 0x04881d05, 23)
        MD5_STEP_H(a, b, c, d, 9, 0xd9d4d039, 4)
        MD5_STEP_H(d, a, b, c, 12, 0xe6db99e5, 11)
        MD5_STEP_H(c, d, a, b, 15, 0x1fa27cf8, 16)
        MD5_STEP_H(b, c, d, a, 2, 0xc4ac5665, 23)

        MD5_STEP_I(a, b, c, d, 0, 0xf4292244, 6)
        MD5_STEP_I(d, a, b, c, 7, 0x432aff97, 10)
        MD5_STEP_I(c, d, a, b, 14, 0xab9423a7, 15)
        MD5_STEP_I(b, c, d, a, 5, 0xfc93a039, 21)
        MD5_STEP_I(a, b, c, d, 12, 0x655b59c3, 6)
        MD5_STEP_I(d, a, b, c, 3, 0x8f0ccc92, 10)
        MD5_STEP_I(c, d, a, b, 10, 0xffeff47d, 15)
        MD5_STEP_I(b, c, d, a, 1, 0x85845dd1, 21)
        MD5_STEP_I(a, b, c, d, 8, 0x6fa87e4f, 6)
        MD5_STEP_I(d, a, b, c, 15, 0xfe2ce6e0, 10)
        MD5_STEP_I(c, d, a, b, 6, 0xa3014314, 15)
        MD5_STEP_I(b, c, d, a, 13, 0x4e0811a1, 21)
        MD5_STEP_I(a, b, c, d, 4, 0xf7537e82, 6)
        MD5_STEP_I(d, a, b, c, 11, 0xbd3af235, 10)
        MD5_STEP_I(c, d, a, b, 2, 0x2ad7d2bb, 15)
        MD5_STEP_I(b, c, d, a, 9, 0xeb86d391, 21)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }

    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_STEP_F
#undef MD5_STEP_G
#undef MD5_STEP_H
#undef MD5_STEP_I

void StoreWord(unsigned char* bytes, uint32_t word)
{
    bytes[0] = (unsigned char)word;
    bytes[1] = (unsigned char)(word >> 8);
    bytes[2] = (unsigned char)(word >> 16);
    bytes[3] = (unsigned char)(word >> 24);
}

// The block feeder's view of CompressBlocks.
void CompressStateBlocks(void* state, const unsigned char* blocks, size_t count)
{
    CompressBlocks((uint32_t*)state, blocks, count);
}

}  // namespace

void InitMd5(Md5Context* context)
{
    context->bitCount[0] = 0;
    context->bitCount[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    memset(context->block, 0, sizeof(context->block));
}

void UpdateMd5(Md5Context* context, const void* data, size_t length)
{
    const unsigned char* input = (const unsigned char*)data;

    // Bytes already waiting in the block buffer, from the length so far.
    size_t waiting = (context->bitCount[0] >> 3) & 63;

    // The length is counted in bits modulo 2^64, in two 32-bit words.
    uint64_t bits = ((uint64_t)context->bitCount[1] << 32) | context->bitCount[0];
    bits += (uint64_t)length << 3;
    context->bitCount[0] = (uint32_t)bits;
    context->bitCount[1] = (uint32_t)(bits >> 32);

    FeedHashBlocks(context->block, waiting, input, length, CompressStateBlocks, context->state);
}

void FinishMd5(Md5Context* context, unsigned char digest[16])
{
    // The length before padding, low word first.
    unsigned char lengthBytes[8];
    StoreWord(lengthBytes, context->bitCount[0]);
    StoreWord(lengthBytes + 4, context->bitCount[1]);

    // One 0x80 byte, then zeros up to 56 bytes modulo 64, then the length.
    static const unsigned char padding[64] = {0x80};
    size_t waiting = (context->bitCount[0] >> 3) & 63;
    size_t padLength = waiting < 56 ? 56 - waiting : 120 - waiting;
    UpdateMd5(context, padding, padLength);
    UpdateMd5(context, lengthBytes, 8);

    for (int i = 0; i < 4; ++i)
        StoreWord(digest + 4 * i, context->state[i]);

    // Nothing of the message stays behind in the context.
    memset(context, 0, sizeof(*context));
}
