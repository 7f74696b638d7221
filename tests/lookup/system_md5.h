// MD5 and SHA-256 through the system's CryptoAPI: an implementation
// independent of ours for the tests to compare with.
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <string>
#include <vector>

// Lower-case hex digest, or "(CryptoAPI failed)".
inline std::string SystemMd5(const std::vector<unsigned char>& data)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string result = "(CryptoAPI failed)";
    if (CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
            unsigned char digest[16];
            DWORD length = sizeof(digest);
            if (CryptHashData(hash, data.empty() ? NULL : data.data(), (DWORD)data.size(), 0) &&
                CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) {
                static const char digits[] = "0123456789abcdef";
                result.clear();
                for (DWORD i = 0; i < length; ++i) {
                    result += digits[digest[i] >> 4];
                    result += digits[digest[i] & 15];
                }
            }
            CryptDestroyHash(hash);
        }
        CryptReleaseContext(provider, 0);
    }
    return result;
}

inline std::vector<unsigned char> ReadWholeFile(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    unsigned char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, NULL) && read > 0)
        bytes.insert(bytes.end(), buffer, buffer + read);
    CloseHandle(file);
    return bytes;
}

// CALG_SHA_256, which the XP-level headers leave out.
const ALG_ID SHA256_ALGORITHM = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

inline std::string Hex(const unsigned char* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += std::string(1, digits[bytes[i] >> 4]) + digits[bytes[i] & 15];
    return text;
}

// Lower-case hex digest of `data` by `algorithm` (CALG_MD5, SHA256_ALGORITHM).
inline std::string SystemDigest(const std::string& data, ALG_ID algorithm)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    unsigned char digest[32];
    DWORD length = sizeof(digest);
    bool done = CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
                CryptCreateHash(provider, algorithm, 0, 0, &hash) &&
                CryptHashData(hash, (const BYTE*)data.data(), (DWORD)data.size(), 0) &&
                CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0);
    if (hash)
        CryptDestroyHash(hash);
    if (provider)
        CryptReleaseContext(provider, 0);
    return done ? Hex(digest, length) : "(CryptoAPI failed)";
}
