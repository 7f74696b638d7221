// SHA-256 message digest (FIPS 180-4), computed incrementally. No state
// outside the context: any thread may hash with its own.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct Sha256Context {
    uint64_t byteCount;  // message length so far
    uint32_t state[8];
    unsigned char block[64];
};

void InitSha256(Sha256Context* context);
void UpdateSha256(Sha256Context* context, const void* data, size_t length);
void FinishSha256(Sha256Context* context, unsigned char digest[32]);
