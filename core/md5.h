// MD5 message digest (RFC 1321), computed incrementally.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct Md5Context {
    uint32_t bitCount[2];   // message length in bits, low word first
    uint32_t state[4];
    unsigned char block[64];
};

void InitMd5(Md5Context* context);
void UpdateMd5(Md5Context* context, const void* data, size_t length);
void FinishMd5(Md5Context* context, unsigned char digest[16]);
