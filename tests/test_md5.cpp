// MD5 and file fingerprints.
//
// Expected digests come from two independent places: the RFC 1321 test
// vectors, digests that coreutils' md5sum printed for the same content
// (generated on Linux by the same xorshift generator as below), and, at run
// time, the system's own MD5 through CryptoAPI.
//
// SlowFingerprint hashes a sparse file of just over 4 GiB (about half a
// minute under Wine); leave it out with --gtest_filter=-Slow*.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "core/seams.h"
#include "core/file_fingerprint.h"
#include "core/md5.h"
#include "lookup/system_md5.h"
#include "test_support.h"

namespace {

std::string Hex(const unsigned char* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string OurMd5(const void* data, size_t length)
{
    Md5Context context;
    InitMd5(&context);
    UpdateMd5(&context, data, length);
    unsigned char digest[16];
    FinishMd5(&context, digest);
    return Hex(digest, 16);
}

std::string OurMd5(const std::string& text)
{
    return OurMd5(text.data(), text.size());
}

// Deterministic bytes: xorshift32 from a fixed seed, top byte of each state.
std::vector<unsigned char> PseudoRandomBytes(size_t count)
{
    std::vector<unsigned char> bytes(count);
    uint32_t state = 0x9E3779B9u;
    for (size_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = (unsigned char)(state >> 24);
    }
    return bytes;
}

const wchar_t testDirectory[] = L"C:\\tavrowen-test\\md5";

std::wstring TestFile(const std::wstring& name)
{
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(testDirectory, NULL);
    return std::wstring(testDirectory) + L"\\" + name;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) &&
                                written == bytes.size());
    CloseHandle(file);
    return ok;
}

FileFingerprint Fingerprint(const std::wstring& path)
{
    FileFingerprint fingerprint;
    // Garbage first, so a field the call forgets to set shows.
    memset(&fingerprint, 0x5A, sizeof(fingerprint));
    ComputeFileFingerprint(path.c_str(), &fingerprint);
    return fingerprint;
}

std::string Narrow(const wchar_t* text)
{
    return NarrowUtf8(text);
}

TEST(Md5, Rfc1321TestSuite)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", OurMd5(""));
    EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", OurMd5("a"));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", OurMd5("abc"));
    EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", OurMd5("message digest"));
    EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b", OurMd5("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
              OurMd5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              OurMd5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
}

// Every length around the padding boundaries (55, 56, 64, 119, 120) and a
// few blocks beyond, against the system's MD5.
TEST(Md5, EveryLengthUpToThreeBlocksMatchesTheSystem)
{
    std::vector<unsigned char> data = PseudoRandomBytes(200);
    for (size_t length = 0; length <= data.size(); ++length) {
        std::vector<unsigned char> prefix(data.begin(), data.begin() + length);
        ASSERT_EQ(SystemMd5(prefix), OurMd5(prefix.data(), prefix.size())) << "length " << length;
    }
}

// The digest must not depend on how the message is cut into updates:
// partial blocks waiting in the context, blocks straight from the caller.
TEST(Md5, PiecewiseUpdatesGiveTheWholeMessageDigest)
{
    std::vector<unsigned char> data = PseudoRandomBytes(3 * 1024 * 1024 + 17);
    const std::string whole = OurMd5(data.data(), data.size());
    EXPECT_EQ("2b510303de46e4b8b0070723f9d7cf3d", whole);

    const size_t pieces[] = {1, 7, 63, 64, 65, 127, 4096, 4095, 100000, 3};
    Md5Context context;
    InitMd5(&context);
    size_t offset = 0;
    for (size_t i = 0; offset < data.size(); ++i) {
        size_t piece = std::min(pieces[i % (sizeof(pieces) / sizeof(pieces[0]))], data.size() - offset);
        UpdateMd5(&context, data.data() + offset, piece);
        offset += piece;
    }
    UpdateMd5(&context, data.data(), 0);  // an empty update changes nothing
    unsigned char digest[16];
    FinishMd5(&context, digest);
    EXPECT_EQ(whole, Hex(digest, 16));

    // Unaligned source addresses read the same bytes.
    std::vector<unsigned char> shifted(data.size() + 3);
    memcpy(shifted.data() + 3, data.data(), data.size());
    EXPECT_EQ(whole, OurMd5(shifted.data() + 3, data.size()));
}

// The 64-bit bit count carries from its low word into its high word.
TEST(Md5, LengthCountCarriesIntoTheHighWord)
{
    Md5Context context;
    InitMd5(&context);
    context.bitCount[0] = 0xFFFFFFF8u;  // 2^29 - 1 bytes so far (state is irrelevant here)
    context.bitCount[1] = 0;
    unsigned char byte = 0;
    // Pretend the waiting block is full except for its last byte.
    UpdateMd5(&context, &byte, 1);
    EXPECT_EQ(0u, context.bitCount[0]);
    EXPECT_EQ(1u, context.bitCount[1]);
}

struct SizedFile {
    size_t size;
    const char* md5sum;  // what coreutils' md5sum printed for the same bytes
};

TEST(FileFingerprint, FilesAroundBlockSizesEqualMd5sum)
{
    const SizedFile files[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},
        {63, "8dc6dd76808b456106e4c3e8976d564f"},
        {64, "013f7db2cc063fa89a6b056bfe1e190a"},
        {65, "04786bf93a241d1f94368b51c6a65a82"},
        {4095, "40e2d6fd1ef7ab914c58978af591e4ba"},
        {4096, "ab1484afc97157be82b2543455ddc54b"},
        {4097, "84795d5be38f9be3552f46d209d39a1b"},
        {3 * 1024 * 1024 + 17, "2b510303de46e4b8b0070723f9d7cf3d"},
    };
    for (const SizedFile& sized : files) {
        std::vector<unsigned char> bytes = PseudoRandomBytes(sized.size);
        std::wstring path = TestFile(L"sized-" + std::to_wstring(sized.size) + L".bin");
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        ASSERT_EQ(sized.md5sum, SystemMd5(bytes)) << "reference disagrees for " << sized.size << " bytes";

        FileFingerprint fingerprint = Fingerprint(path);
        EXPECT_TRUE(fingerprint.valid) << sized.size << " bytes";
        EXPECT_EQ(sized.md5sum, Narrow(fingerprint.digestHex)) << sized.size << " bytes";
        EXPECT_EQ(sized.size, fingerprint.size) << sized.size << " bytes";
        DeleteFileW(path.c_str());
    }
}

TEST(FileFingerprint, MissingFileIsInvalidAndCleared)
{
    FileFingerprint fingerprint = Fingerprint(TestFile(L"no-such-file.exe"));
    EXPECT_FALSE(fingerprint.valid);
    EXPECT_EQ(L'\0', fingerprint.digestHex[0]);
    EXPECT_EQ(0u, fingerprint.size);

    // A directory is no file to read either.
    fingerprint = Fingerprint(testDirectory);
    EXPECT_FALSE(fingerprint.valid);
    EXPECT_EQ(0u, fingerprint.size);
}

// Another process holds the file: writing excludes us, reading does not.
class HeldFile : public testing::Test {
protected:
    void SetUp() override
    {
        path = TestFile(L"held.bin");
        ASSERT_TRUE(WriteWholeFile(path, PseudoRandomBytes(5000)));
    }
    void TearDown() override
    {
        EndProgram(&holder);
        DeleteFileW(path.c_str());
    }
    // Starts a process that opens the file with the given access and sharing
    // and keeps it open; the handle is inherited, so the open is the holder's.
    void HoldInAnotherProcess(DWORD access, DWORD sharing)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
        HANDLE file = CreateFileW(path.c_str(), access, sharing, &inherit, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot open the file to hand over";
        std::wstring command = L"\"" + BinPath(L"file_holder.exe") + L"\" " +
                               std::to_wstring((unsigned long long)(UINT_PTR)file);
        std::vector<wchar_t> buffer(command.begin(), command.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        BOOL started = CreateProcessW(NULL, buffer.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup, &holder);
        CloseHandle(file);  // only the holder's copy stays open
        ASSERT_TRUE(started) << "cannot start file_holder.exe";
        ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(holder.hProcess, 500)) << "file_holder.exe ended early";
    }
    std::wstring path;
    PROCESS_INFORMATION holder = {};
};

TEST_F(HeldFile, OpenForWritingByAnotherProcessIsInvalid)
{
    HoldInAnotherProcess(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    FileFingerprint fingerprint = Fingerprint(path);
    EXPECT_FALSE(fingerprint.valid);
    EXPECT_EQ(L'\0', fingerprint.digestHex[0]);
    EXPECT_EQ(0u, fingerprint.size);
}

TEST_F(HeldFile, OpenForReadingByAnotherProcessIsRead)
{
    HoldInAnotherProcess(GENERIC_READ, FILE_SHARE_READ);
    FileFingerprint fingerprint = Fingerprint(path);
    EXPECT_TRUE(fingerprint.valid);
    EXPECT_EQ(SystemMd5(PseudoRandomBytes(5000)), Narrow(fingerprint.digestHex));
    EXPECT_EQ(5000u, fingerprint.size);
}

// While we read, nobody may open the file for writing.
TEST(FileFingerprint, ReadingLeavesNoHandleBehind)
{
    std::wstring path = TestFile(L"closed.bin");
    ASSERT_TRUE(WriteWholeFile(path, PseudoRandomBytes(10000)));
    Fingerprint(path);
    // Exclusive access succeeds only when our handle is closed.
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive) << "the fingerprint left the file open";
    if (exclusive != INVALID_HANDLE_VALUE)
        CloseHandle(exclusive);
    DeleteFileW(path.c_str());
}

// ---- Reads that fail part-way, a size that cannot be had, the cache -------------

// Reads that succeed before one fails; -1: none fails. Counts every read.
int readsBeforeFailure = -1;
int readsMade = 0;

BOOL WINAPI FailingRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    ++readsMade;
    if (readsBeforeFailure >= 0 && readsMade > readsBeforeFailure) {
        *read = 0;
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    return ReadFile(file, buffer, size, read, overlapped);
}

BOOL WINAPI NoFileInformation(HANDLE, LPBY_HANDLE_FILE_INFORMATION)
{
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

// Writes the first 4 KiB of `bytes` over the file and sets every time back,
// the change time too (NtSetInformationFile, FileBasicInformation).
std::wstring RewriteRestoringTimes(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    typedef LONG(WINAPI * InformationProc)(HANDLE, ULONG_PTR*, void*, ULONG, int);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    InformationProc query = (InformationProc)(void*)GetProcAddress(ntdll, "NtQueryInformationFile");
    InformationProc set = (InformationProc)(void*)GetProcAddress(ntdll, "NtSetInformationFile");
    struct { LARGE_INTEGER creation, access, write, change; ULONG attributes; } times = {};
    ULONG_PTR status[2];
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(0, query(file, status, &times, sizeof(times), 4 /* FileBasicInformation */));
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), 4096, &count, NULL));
    EXPECT_EQ(0, set(file, status, &times, sizeof(times), 4));
    CloseHandle(file);
    return path;
}

// Puts the counting (and perhaps failing) read in ReadFile's place for one test.
class ReplacedRead : public testing::Test {
protected:
    void SetUp() override
    {
        readsBeforeFailure = -1;
        readsMade = 0;
        seams.readFile = FailingRead;
    }
    void TearDown() override
    {
        for (const std::wstring& path : made)
            DeleteFileW(path.c_str());
    }
    // Kept in the cache only under Program Files while Wine keeps no journal.
    std::wstring Make(const std::wstring& name, const std::vector<unsigned char>& bytes, bool kept = true)
    {
        wchar_t programFiles[MAX_PATH] = L"";
        SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, SHGFP_TYPE_CURRENT, programFiles);
        std::wstring folder = std::wstring(programFiles) + L"\\tavrowen-test-md5";
        CreateDirectoryW(folder.c_str(), NULL);
        std::wstring path = kept ? folder + L"\\" + name : TestFile(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes)) << Narrow(path.c_str());
        made.push_back(path);
        return path;
    }
    FileFingerprint Cached(FingerprintCache* cache, const std::wstring& path)
    {
        FileFingerprint fingerprint;
        memset(&fingerprint, 0x5A, sizeof(fingerprint));
        ComputeCachedFingerprint(path.c_str(), cache, NULL, &fingerprint);
        return fingerprint;
    }
    std::vector<std::wstring> made;
};

// Wine reads through another process's LockFileEx range, so the read that
// fails part-way is put in ReadFile's place.
TEST_F(ReplacedRead, ReadFailingPartWayGivesNoFingerprint)
{
    std::vector<unsigned char> bytes = PseudoRandomBytes(300000);
    std::wstring path = Make(L"failing.bin", bytes);
    for (int good : {2, 0}) {
        readsBeforeFailure = good;
        readsMade = 0;
        FileFingerprint fingerprint = Fingerprint(path);
        EXPECT_FALSE(fingerprint.valid) << "failing after " << good << " reads";
        EXPECT_EQ(L'\0', fingerprint.digestHex[0]) << "failing after " << good << " reads";
        EXPECT_EQ(0u, fingerprint.size) << "failing after " << good << " reads";
        EXPECT_EQ(good + 1, readsMade) << "reading went on after the failure";
    }
    // The same reads without a failure give the file's fingerprint.
    readsBeforeFailure = -1;
    FileFingerprint fingerprint = Fingerprint(path);
    EXPECT_TRUE(fingerprint.valid);
    EXPECT_EQ(SystemMd5(bytes), Narrow(fingerprint.digestHex));
}

TEST_F(ReplacedRead, SizeQueryFailingGivesTheBytesHashed)
{
    seams.fileInformation = NoFileInformation;
    for (size_t size : {(size_t)300000, (size_t)0}) {
        std::vector<unsigned char> bytes = PseudoRandomBytes(size);
        FileFingerprint fingerprint = Fingerprint(Make(L"unsized-" + std::to_wstring(size) + L".bin", bytes));
        EXPECT_TRUE(fingerprint.valid) << size << " bytes";
        EXPECT_EQ(SystemMd5(bytes), Narrow(fingerprint.digestHex)) << size << " bytes";
        EXPECT_EQ(size, fingerprint.size) << size << " bytes";
    }
}

TEST_F(ReplacedRead, CacheAnswersForUnchangedFilesOnly)
{
    std::vector<FingerprintCache> cache(1);
    std::vector<unsigned char> bytes = PseudoRandomBytes(200000);
    std::wstring path = Make(L"cached.bin", bytes);
    FileFingerprint first = Cached(&cache[0], path);
    ASSERT_TRUE(first.valid);
    EXPECT_EQ(SystemMd5(bytes), Narrow(first.digestHex));
    EXPECT_GT(readsMade, 0);

    readsMade = 0;
    FileFingerprint again = Cached(&cache[0], path);
    EXPECT_EQ(0, readsMade) << "an unchanged file was read again";
    EXPECT_TRUE(again.valid);
    EXPECT_EQ(Narrow(first.digestHex), Narrow(again.digestHex));
    EXPECT_EQ(200000u, again.size);
    // The path's letters A to Z fold.
    Cached(&cache[0], CharUpperW(&std::wstring(path)[0]));
    EXPECT_EQ(0, readsMade) << "the same path in capitals was read again";

    // Touched: the same bytes with a new write time are read again.
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME written;
    GetFileTime(file, NULL, NULL, &written);
    ULARGE_INTEGER later = {{written.dwLowDateTime, written.dwHighDateTime}};
    later.QuadPart += 10000000ull * 3600;
    written.dwLowDateTime = later.LowPart;
    written.dwHighDateTime = later.HighPart;
    EXPECT_TRUE(SetFileTime(file, NULL, NULL, &written));
    CloseHandle(file);
    readsMade = 0;
    again = Cached(&cache[0], path);
    EXPECT_GT(readsMade, 0) << "a touched file was answered from the cache";
    EXPECT_EQ(Narrow(first.digestHex), Narrow(again.digestHex));

    // Rewritten with other bytes: the new digest.
    std::vector<unsigned char> other = PseudoRandomBytes(200001);
    ASSERT_TRUE(WriteWholeFile(path, other));
    again = Cached(&cache[0], path);
    EXPECT_EQ(SystemMd5(other), Narrow(again.digestHex));
    EXPECT_EQ(200001u, again.size);

    // Rewritten in place with its size, write and change times set back: still read again.
    ASSERT_TRUE(Cached(&cache[0], path).valid);
    std::vector<unsigned char> mixed(bytes.begin(), bytes.begin() + 4096);
    mixed.insert(mixed.end(), other.begin() + 4096, other.end());
    EXPECT_EQ(SystemMd5(mixed), Narrow(Cached(&cache[0], RewriteRestoringTimes(path, bytes)).digestHex))
        << "answered from the cache";

    // A read that failed is not remembered.
    std::wstring failing = Make(L"cached-failing.bin", bytes);
    readsBeforeFailure = 1;
    EXPECT_FALSE(Cached(&cache[0], failing).valid);
    readsBeforeFailure = -1;
    readsMade = 0;
    EXPECT_TRUE(Cached(&cache[0], failing).valid);
    EXPECT_GT(readsMade, 0) << "a failed read was remembered";
}

// Wine keeps no USN journal: a file its owner could patch and set back is
// read every time, unchanged or rewritten with every time restored.
TEST_F(ReplacedRead, WithoutAJournalOnlyAdministratorsFoldersAreCached)
{
    std::vector<FingerprintCache> cache(1);
    std::vector<unsigned char> bytes = PseudoRandomBytes(100000), other = PseudoRandomBytes(100001);
    std::wstring path = Make(L"outside.bin", other, false);
    for (int i = 0; i < 2; ++i) {
        readsMade = 0;
        EXPECT_EQ(SystemMd5(other), Narrow(Cached(&cache[0], path).digestHex));
        EXPECT_GT(readsMade, 0) << "answered from the cache, time " << i + 1;
    }
    std::vector<unsigned char> mixed(bytes.begin(), bytes.begin() + 4096);
    mixed.insert(mixed.end(), other.begin() + 4096, other.end());
    EXPECT_EQ(SystemMd5(mixed), Narrow(Cached(&cache[0], RewriteRestoringTimes(path, bytes)).digestHex));
    EXPECT_EQ(0, cache[0].count) << "kept a file outside the administrators' folders";
}

TEST_F(ReplacedRead, CacheKeepsTheSixtyFourMostRecentlyUsed)
{
    std::vector<std::wstring> paths;
    for (int i = 0; i <= FINGERPRINT_CACHE_ENTRIES; ++i) {
        std::vector<unsigned char> bytes = PseudoRandomBytes(100 + i);
        paths.push_back(Make(L"entry-" + std::to_wstring(i) + L".bin", bytes));
    }
    auto readsFor = [&](FingerprintCache* cache, int index) {
        readsMade = 0;
        EXPECT_TRUE(Cached(cache, paths[index]).valid) << "file " << index;
        return readsMade;
    };

    // 65 files one after another: the first goes.
    std::vector<FingerprintCache> cache(1);
    for (int i = 0; i <= FINGERPRINT_CACHE_ENTRIES; ++i)
        readsFor(&cache[0], i);
    EXPECT_EQ(FINGERPRINT_CACHE_ENTRIES, cache[0].count);
    for (int i = FINGERPRINT_CACHE_ENTRIES; i >= 1; --i)
        EXPECT_EQ(0, readsFor(&cache[0], i)) << "file " << i << " was pushed out";
    EXPECT_GT(readsFor(&cache[0], 0), 0) << "the first file stayed";

    // The first used again before the 65th: the second goes instead.
    std::vector<FingerprintCache> fresh(1);
    for (int i = 0; i < FINGERPRINT_CACHE_ENTRIES; ++i)
        readsFor(&fresh[0], i);
    EXPECT_EQ(0, readsFor(&fresh[0], 0));
    readsFor(&fresh[0], FINGERPRINT_CACHE_ENTRIES);
    EXPECT_EQ(FINGERPRINT_CACHE_ENTRIES, fresh[0].count);
    EXPECT_EQ(0, readsFor(&fresh[0], 0)) << "the most recently used was pushed out";
    EXPECT_GT(readsFor(&fresh[0], 1), 0) << "the least recently used stayed";
}

TEST(SlowFingerprint, SparseFileOverFourGiBReportsItsFullSize)
{
    const unsigned long long size = 4294967296ull + 8192;
    std::wstring path = TestFile(L"sparse.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD returned = 0;
    // Sparse on NTFS so nothing is written; Wine's files are sparse anyway.
    DeviceIoControl(file, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &returned, NULL);
    LARGE_INTEGER tail;
    tail.QuadPart = (LONGLONG)(size - 8);
    DWORD written = 0;
    bool made = SetFilePointerEx(file, tail, NULL, FILE_BEGIN) && WriteFile(file, "TAVROWEN", 8, &written, NULL) &&
                written == 8;
    CloseHandle(file);
    ASSERT_TRUE(made) << "cannot make a file of " << size << " bytes";

    FileFingerprint fingerprint = Fingerprint(path);
    DeleteFileW(path.c_str());
    EXPECT_TRUE(fingerprint.valid);
    EXPECT_EQ(size, fingerprint.size);
    // md5sum of 4 GiB + 8184 zero bytes followed by "TAVROWEN".
    EXPECT_EQ("3999637ec3f1d0521d7a25168101df76", Narrow(fingerprint.digestHex));
}

}  // namespace
