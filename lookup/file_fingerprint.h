// A file's MD5 digest and size.
#pragma once
#include <windows.h>

struct FileFingerprint {
    wchar_t digestHex[33];
    unsigned long long size;
    bool valid;
};

void ComputeFileFingerprint(const wchar_t* path, FileFingerprint* fingerprint);
