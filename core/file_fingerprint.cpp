#include "core/file_fingerprint.h"
#include "core/handed_path.h"
#include <strsafe.h>
#include <wchar.h>
#include <winioctl.h>
#include "core/ascii_folding.h"
#include "core/md5.h"
#include "core/scoped_handles.h"
#include "core/seams.h"
#include "core/sha256.h"
#include "core/system_folders.h"

// 64 KiB per read: a sixteenth of the calls into the system that 4 KiB
// reads make (reading alone ran about 30 % faster); larger reads gained
// nothing measurable, and the buffer stays small enough for the cache.
static const DWORD READ_BUFFER_SIZE = 64 * 1024;


static void WriteDigestHex(const unsigned char* digest, int size, wchar_t* text /* 2 * size + 1 */)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    for (int i = 0; i < size; ++i) {
        text[2 * i] = digits[digest[i] >> 4];
        text[2 * i + 1] = digits[digest[i] & 0x0F];
    }
    text[2 * size] = L'\0';
}

static bool SamePath(const wchar_t* a, const wchar_t* b)
{
    return EqualFoldingAsciiLetters(a, b, wcslen(a) + 1);
}

static CachedFingerprint* FindCachedPath(FingerprintCache* cache, const wchar_t* path)
{
    for (int i = 0; i < cache->count; ++i) {
        if (SamePath(cache->entries[i].path, path))
            return &cache->entries[i];
    }
    return NULL;
}

// The entry a new fingerprint of `path` goes into: its old one, a free one,
// or the least recently used.
static CachedFingerprint* ChooseCacheEntry(FingerprintCache* cache, const wchar_t* path)
{
    CachedFingerprint* entry = FindCachedPath(cache, path);
    if (entry)
        return entry;
    if (cache->count < FINGERPRINT_CACHE_ENTRIES)
        return &cache->entries[cache->count++];
    entry = &cache->entries[0];
    for (int i = 1; i < cache->count; ++i) {
        if (cache->entries[i].lastUse < entry->lastUse)
            entry = &cache->entries[i];
    }
    return entry;
}

// The USN of the file's last change (FSCTL_READ_FILE_USN_DATA), which no one
// but an administrator can set back; 0 where the volume keeps no journal.
static LONGLONG ReadFileUsn(HANDLE file)
{
    // A USN_RECORD_V2 or, on ReFS, V3: the USN follows the file's and its
    // parent's references, 8 bytes each in V2 and 16 in V3. The name after
    // it is at most 255 characters.
    union {
        BYTE bytes[1024];
        LONGLONG alignment;
    } record;
    DWORD returned = 0;
    if (!DeviceIoControl(file, FSCTL_READ_FILE_USN_DATA, NULL, 0, record.bytes, sizeof(record.bytes), &returned,
                         NULL) ||
        returned < 8 || returned > sizeof(record.bytes))
        return 0;
    WORD major = 0;
    memcpy(&major, record.bytes + 4, sizeof(major));
    DWORD offset = major == 2 ? 24 : major == 3 ? 40 : 0;
    LONGLONG usn = 0;
    if (offset && returned >= offset + sizeof(usn))
        memcpy(&usn, record.bytes + offset, sizeof(usn));
    return usn;
}

bool SameFileIdentity(const FileIdentity* a, const FileIdentity* b)
{
    return a->size == b->size && CompareFileTime(&a->lastWrite, &b->lastWrite) == 0 && a->volume == b->volume &&
           a->indexHigh == b->indexHigh && a->indexLow == b->indexLow && a->changeTime == b->changeTime &&
           a->usn == b->usn;
}

bool MayRememberFile(const wchar_t* path, const FileIdentity* identity)
{
    return identity->usn != 0 || IsInAdministratorsFolder(path);
}

static bool AnswerFromCache(FingerprintCache* cache, const wchar_t* path, const FileIdentity* identity,
                            bool withSha256, FileFingerprint* fingerprint)
{
    CachedFingerprint* entry = FindCachedPath(cache, path);
    if (!entry || !SameFileIdentity(&entry->identity, identity) || (withSha256 && !entry->sha256Hex[0]))
        return false;
    entry->lastUse = ++cache->useClock;
    StringCchCopyW(fingerprint->digestHex, ARRAYSIZE(fingerprint->digestHex), entry->digestHex);
    if (withSha256)
        StringCchCopyW(fingerprint->sha256Hex, ARRAYSIZE(fingerprint->sha256Hex), entry->sha256Hex);
    fingerprint->size = identity->size;
    fingerprint->valid = true;
    return true;
}

static void RememberFingerprint(FingerprintCache* cache, const wchar_t* path, const FileIdentity* identity,
                                const FileFingerprint* fingerprint)
{
    // A path that would not fit whole is not remembered under a cut one.
    if (wcslen(path) >= MAX_PATH)
        return;
    CachedFingerprint* entry = ChooseCacheEntry(cache, path);
    StringCchCopyW(entry->path, ARRAYSIZE(entry->path), path);
    entry->identity = *identity;
    StringCchCopyW(entry->digestHex, ARRAYSIZE(entry->digestHex), fingerprint->digestHex);
    StringCchCopyW(entry->sha256Hex, ARRAYSIZE(entry->sha256Hex), fingerprint->sha256Hex);
    entry->lastUse = ++cache->useClock;
}

bool ReadFileIdentity(HANDLE file, FileIdentity* identity)
{
    ZeroMemory(identity, sizeof(*identity));
    BY_HANDLE_FILE_INFORMATION information;
    if (!seams.fileInformation(file, &information))
        return false;
    identity->size = ((unsigned long long)information.nFileSizeHigh << 32) | information.nFileSizeLow;
    identity->lastWrite = information.ftLastWriteTime;
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    // Vista and later; 0 elsewhere.
    FileBasics basics;
    identity->changeTime = ReadFileBasics(file, &basics) ? (LONGLONG)basics.changeTime : 0;
    identity->usn = ReadFileUsn(file);
    return true;
}

void ComputeFileFingerprint(const wchar_t* path, FileFingerprint* fingerprint)
{
    ComputeCachedFingerprint(path, NULL, NULL, fingerprint);
}

void ComputeCachedFingerprint(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop,
                              FileFingerprint* fingerprint)
{
    ComputeFileDigests(path, cache, stop, false, fingerprint);
}

void ComputeFileDigests(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop, bool withSha256,
                        FileFingerprint* fingerprint)
{
    fingerprint->digestHex[0] = L'\0';
    fingerprint->sha256Hex[0] = L'\0';
    fingerprint->size = 0;
    fingerprint->valid = false;

    // Read sharing only: a file someone is writing is not fingerprinted half-way.
    // Closed on every way out, and as soon as the reading is done.
    // A pipe server named by the path learns nothing of who we are, and what
    // is no disk file is not read.
    ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL));
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK)
        return;

    // Size and write time of the file we hold open, so nothing can change
    // it between the question and the read.
    FileIdentity identity;
    bool informed = ReadFileIdentity(file.Get(), &identity);
    unsigned long long size = identity.size;
    if (informed && cache && AnswerFromCache(cache, path, &identity, withSha256, fingerprint)) {
        return;
    }

    unsigned char* buffer = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, READ_BUFFER_SIZE);
    bool readToEnd = false;
    unsigned long long hashed = 0;
    Md5Context context;
    InitMd5(&context);
    // One read feeds both digests: SHA-256 costs its compression, not a second pass.
    Sha256Context sha256;
    InitSha256(&sha256);
    while (buffer && !(stop && *stop)) {
        DWORD bytesRead = 0;
        // A read failing part-way leaves the fingerprint invalid: a digest of
        // part of the file would name another file.
        if (!seams.readFile(file.Get(), buffer, READ_BUFFER_SIZE, &bytesRead, NULL))
            break;
        if (bytesRead == 0) {
            readToEnd = true;
            break;
        }
        UpdateMd5(&context, buffer, bytesRead);
        if (withSha256)
            UpdateSha256(&sha256, buffer, bytesRead);
        hashed += bytesRead;
    }
    if (buffer)
        HeapFree(GetProcessHeap(), 0, buffer);
    file.Close();

    if (!readToEnd || (informed && hashed != size))
        return;
    unsigned char digest[16];
    FinishMd5(&context, digest);
    WriteDigestHex(digest, 16, fingerprint->digestHex);
    if (withSha256) {
        unsigned char sha256Digest[32];
        FinishSha256(&sha256, sha256Digest);
        WriteDigestHex(sha256Digest, 32, fingerprint->sha256Hex);
    }
    fingerprint->size = informed ? size : hashed;
    fingerprint->valid = true;
    if (informed && cache && MayRememberFile(path, &identity))
        RememberFingerprint(cache, path, &identity, fingerprint);
}
