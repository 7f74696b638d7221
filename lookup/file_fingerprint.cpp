#include "lookup/file_fingerprint.h"
#include "lookup/md5.h"

static const DWORD READ_BUFFER_SIZE = 4096;

static void WriteDigestHex(const unsigned char digest[16], wchar_t* text /* 33 */)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = digits[digest[i] >> 4];
        text[2 * i + 1] = digits[digest[i] & 0x0F];
    }
    text[32] = L'\0';
}

void ComputeFileFingerprint(const wchar_t* path, FileFingerprint* fingerprint)
{
    fingerprint->digestHex[0] = L'\0';
    fingerprint->size = 0;
    fingerprint->valid = false;

    // Read sharing only: a file someone is writing is not fingerprinted half-way.
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;

    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information))
        fingerprint->size = ((unsigned long long)information.nFileSizeHigh << 32) | information.nFileSizeLow;

    Md5Context context;
    InitMd5(&context);
    unsigned char buffer[READ_BUFFER_SIZE];
    DWORD bytesRead = 0;
    // A read failing part-way ends the digest where end of file would.
    while (ReadFile(file, buffer, READ_BUFFER_SIZE, &bytesRead, NULL) && bytesRead > 0)
        UpdateMd5(&context, buffer, bytesRead);

    unsigned char digest[16];
    FinishMd5(&context, digest);
    CloseHandle(file);

    WriteDigestHex(digest, fingerprint->digestHex);
    fingerprint->valid = true;
}
