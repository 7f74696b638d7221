#include "lookup/process_details.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/executable_locator.h"
#include "core/file_fingerprint.h"
#include "core/folder_tokens.h"
#include "core/system_folders.h"
#include "core/version_info.h"
#include "core/seams.h"

static const int SIZE_TEXT_CAPACITY = 64;

// Decimal digits of an unsigned 64-bit number, without leading zeros.
static void FormatUnsigned64(unsigned long long number, wchar_t* text, int capacity)
{
    wchar_t reversed[32];
    int count = 0;
    do {
        reversed[count++] = (wchar_t)(L'0' + (int)(number % 10));
        number /= 10;
    } while (number > 0 && count < (int)ARRAYSIZE(reversed));
    int i = 0;
    for (; i < count && i < capacity - 1; ++i)
        text[i] = reversed[count - 1 - i];
    text[i] = L'\0';
}

static void AppendExtendedDetails(const VersionInfoBlock* version, const wchar_t* directory, LookupUrl* url)
{
    AppendQueryParameter(url, L"path", directory);

    wchar_t value[VERSION_STRING_CAPACITY];
    ZeroMemory(value, sizeof(value));
    if (version->loaded && version->fixedInfo) {
        const VS_FIXEDFILEINFO* fixed = version->fixedInfo;
        if (SUCCEEDED(StringCchPrintfW(value, ARRAYSIZE(value), L"%u.%u.%u.%u",
                                       (unsigned)HIWORD(fixed->dwFileVersionMS), (unsigned)LOWORD(fixed->dwFileVersionMS),
                                       (unsigned)HIWORD(fixed->dwFileVersionLS), (unsigned)LOWORD(fixed->dwFileVersionLS))))
            AppendQueryParameter(url, L"bfv", value);
    }

    static const wchar_t* const names[][2] = {
        {L"FileDescription", L"fd"},
        {L"ProductName", L"pn"},
        {L"CompanyName", L"cn"},
        {L"FileVersion", L"fv"},
    };
    for (int i = 0; i < (int)ARRAYSIZE(names); ++i) {
        if (QueryVersionString(version, names[i][0], value))
            AppendQueryParameter(url, names[i][1], value);
    }

    if (version->loaded && version->hasTranslation && version->translation) {
        if (SUCCEEDED(StringCchPrintfW(value, ARRAYSIZE(value), L"%.04x%.04x",
                                       (unsigned)version->translation[0], (unsigned)version->translation[1])))
            AppendQueryParameter(url, L"lacp", value);
    }
}

void ReadExecutableDetails(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop,
                           ExecutableDetails* details)
{
    // The file the path names, not the one redirection would give a 32-bit
    // program; on XP, where a process's path is what it reports itself, only
    // a drive's disk file. Nothing is read of a name that is not one.
    wchar_t readable[PROCESS_PATH_CAPACITY + 8];
    if (!PrepareImageRead(path, IsImagePathReportedByProcess(), readable, ARRAYSIZE(readable)))
        readable[0] = L'\0';
    ReadExecutableDetailsAt(readable, cache, stop, details);
}

void ReadExecutableDetailsAt(const wchar_t* readable, FingerprintCache* cache, const volatile LONG* stop,
                             ExecutableDetails* details)
{
    seams.loadVersionInfo(&details->version, readable);
    ComputeCachedFingerprint(readable, cache, stop, &details->fingerprint);
}

void FreeExecutableDetails(ExecutableDetails* details)
{
    FreeVersionInfo(&details->version);
}

bool AppendExecutableDetails(wchar_t* path, const ExecutableDetails* details, bool extended, LookupUrl* url)
{
    // The version resource and the fingerprint describe the file itself;
    // everything after describes its directory.
    wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash)
        *lastBackslash = L'\0';

    wchar_t tokenText[FOLDER_TOKEN_TEXT_CAPACITY];
    ZeroMemory(tokenText, sizeof(tokenText));
    ApplyFolderTokens(path, tokenText);
    // A folder that filled the text was cut: it is not sent.
    bool whole = wcslen(tokenText) < FOLDER_TOKEN_TEXT_CAPACITY - 1 && AppendQueryParameter(url, L"lpath", tokenText);

    const FileFingerprint& fingerprint = details->fingerprint;
    if (fingerprint.valid) {
        wchar_t sizeText[SIZE_TEXT_CAPACITY];
        FormatUnsigned64(fingerprint.size, sizeText, ARRAYSIZE(sizeText));
        whole = AppendQueryParameter(url, L"md5", fingerprint.digestHex) &&
                AppendQueryParameter(url, L"size", sizeText) && whole;
    }

    // The extended details are extras: one left out changes no file's identity.
    if (extended)
        AppendExtendedDetails(&details->version, path, url);
    return whole;
}

bool AppendProcessDetails(wchar_t* path, bool extended, LookupUrl* url)
{
    ExecutableDetails details;
    ReadExecutableDetails(path, NULL, NULL, &details);
    bool whole = AppendExecutableDetails(path, &details, extended, url);
    FreeExecutableDetails(&details);
    return whole;
}
