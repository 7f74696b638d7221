#include "core/signer_check.h"
#include "core/program_text.h"
#include "resource.h"
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>
#include <stddef.h>
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/published_table.h"
#include "core/scoped_handles.h"
#include "core/seams.h"
#include "core/system_folders.h"
#include "core/system_probes.h"

// WINTRUST_CATALOG_INFO as Windows 8 extended it: the context that hashed the
// file, without which a SHA-256 member is not found. The headers declare the
// field only for Windows 8 targets; older systems read the shorter record.
struct CatalogInfoWithAdmin {
    WINTRUST_CATALOG_INFO info;
    HCATADMIN admin;
};
static_assert(sizeof(WINTRUST_CATALOG_INFO) == offsetof(WINTRUST_CATALOG_INFO, pcCatalogContext) + sizeof(PCCTL_CONTEXT),
              "WINTRUST_CATALOG_INFO already carries hCatAdmin");

typedef LONG (WINAPI* WinVerifyTrustProc)(HWND, GUID*, LPVOID);
typedef CRYPT_PROVIDER_DATA* (WINAPI* ProviderDataProc)(HANDLE);
typedef CRYPT_PROVIDER_SGNR* (WINAPI* ProviderSignerProc)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
typedef CRYPT_PROVIDER_CERT* (WINAPI* ProviderCertProc)(CRYPT_PROVIDER_SGNR*, DWORD);
typedef BOOL (WINAPI* AcquireContextProc)(HCATADMIN*, const GUID*, DWORD);
// The strong-signature policy (Windows 8 headers only) is never given: no type needed.
typedef BOOL (WINAPI* AcquireContext2Proc)(HCATADMIN*, const GUID*, const WCHAR*, const void*, DWORD);
typedef BOOL (WINAPI* CalcHashProc)(HANDLE, DWORD*, BYTE*, DWORD);
typedef BOOL (WINAPI* CalcHash2Proc)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
typedef HCATINFO (WINAPI* EnumCatalogProc)(HCATADMIN, BYTE*, DWORD, DWORD, HCATINFO*);
typedef BOOL (WINAPI* CatalogInfoProc)(HCATINFO, CATALOG_INFO*, DWORD);
typedef BOOL (WINAPI* ReleaseCatalogProc)(HCATADMIN, HCATINFO, DWORD);
typedef BOOL (WINAPI* ReleaseContextProc)(HCATADMIN, DWORD);
typedef DWORD (WINAPI* CertNameProc)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// wintrust.dll and crypt32.dll are no KnownDLLs: loaded from the system
// folder, once, and kept. The SHA-256 catalog calls exist from Windows 8 on.
struct TrustFunctions {
    WinVerifyTrustProc verifyTrust;
    ProviderDataProc providerData;
    ProviderSignerProc providerSigner;
    ProviderCertProc providerCert;
    AcquireContextProc acquireContext;
    AcquireContext2Proc acquireContext2;  // may be NULL
    CalcHashProc calcHash;
    CalcHash2Proc calcHash2;              // may be NULL
    EnumCatalogProc enumCatalog;
    CatalogInfoProc catalogInfo;
    ReleaseCatalogProc releaseCatalog;
    ReleaseContextProc releaseContext;
    CertNameProc certName;
};

// Published once, whole (core/published_table).
static const TrustFunctions* FindTrustFunctions()
{
    static void* volatile published;
    if (published)
        return (const TrustFunctions*)published;
    HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
    HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
    if (!wintrust || !crypt32)
        return NULL;
    TrustFunctions loaded;
    loaded.verifyTrust = (WinVerifyTrustProc)(void*)GetProcAddress(wintrust, "WinVerifyTrust");
    loaded.providerData = (ProviderDataProc)(void*)GetProcAddress(wintrust, "WTHelperProvDataFromStateData");
    loaded.providerSigner = (ProviderSignerProc)(void*)GetProcAddress(wintrust, "WTHelperGetProvSignerFromChain");
    loaded.providerCert = (ProviderCertProc)(void*)GetProcAddress(wintrust, "WTHelperGetProvCertFromChain");
    loaded.acquireContext = (AcquireContextProc)(void*)GetProcAddress(wintrust, "CryptCATAdminAcquireContext");
    loaded.acquireContext2 = (AcquireContext2Proc)(void*)GetProcAddress(wintrust, "CryptCATAdminAcquireContext2");
    loaded.calcHash = (CalcHashProc)(void*)GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle");
    loaded.calcHash2 = (CalcHash2Proc)(void*)GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2");
    loaded.enumCatalog = (EnumCatalogProc)(void*)GetProcAddress(wintrust, "CryptCATAdminEnumCatalogFromHash");
    loaded.catalogInfo = (CatalogInfoProc)(void*)GetProcAddress(wintrust, "CryptCATCatalogInfoFromContext");
    loaded.releaseCatalog = (ReleaseCatalogProc)(void*)GetProcAddress(wintrust, "CryptCATAdminReleaseCatalogContext");
    loaded.releaseContext = (ReleaseContextProc)(void*)GetProcAddress(wintrust, "CryptCATAdminReleaseContext");
    loaded.certName = (CertNameProc)(void*)GetProcAddress(crypt32, "CertGetNameStringW");
    if (!loaded.verifyTrust || !loaded.providerData || !loaded.providerSigner || !loaded.providerCert ||
        !loaded.acquireContext || !loaded.calcHash || !loaded.enumCatalog || !loaded.catalogInfo ||
        !loaded.releaseCatalog || !loaded.releaseContext || !loaded.certName)
        return NULL;
    return (const TrustFunctions*)PublishTableOnce(&published, &loaded, sizeof(loaded));
}

LONG WINAPI CallWinVerifyTrust(HWND window, GUID* action, LPVOID data)
{
    const TrustFunctions* trust = FindTrustFunctions();
    return trust ? trust->verifyTrust(window, action, data) : TRUST_E_PROVIDER_UNKNOWN;
}

// What WinVerifyTrust's answer alone says. The certificate errors
// (CERT_E_EXPIRED to CERT_E_INVALID_NAME) leave the signature intact.
static SignerVerdict JudgeTrustStatus(LONG status)
{
    switch (status) {
    case ERROR_SUCCESS:
        return SIGNER_VERIFIED;
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
        return SIGNER_NOT_SIGNED;
    case TRUST_E_PROVIDER_UNKNOWN:
    case TRUST_E_ACTION_UNKNOWN:
    case NTE_BAD_ALGID:
    case CRYPT_E_UNKNOWN_ALGO:
        return SIGNER_CANNOT_CHECK;
    case TRUST_E_SUBJECT_NOT_TRUSTED:
    case CRYPT_E_SECURITY_SETTINGS:
        return SIGNER_UNTRUSTED;
    case CRYPT_E_FILE_ERROR:
        return SIGNER_UNREADABLE;
    }
    if ((DWORD)status > (DWORD)TRUST_E_NOSIGNATURE && (DWORD)status <= 0x800B01FFu)
        return SIGNER_UNTRUSTED;
    if (HRESULT_FACILITY(status) == FACILITY_WIN32)
        return SIGNER_UNREADABLE;
    return SIGNER_NOT_VALID;
}

// Chain faults that make a signer untrusted whatever WinVerifyTrust said:
// some implementations check only that the bytes match the signature.
static const DWORD EXPLICIT_DISTRUST = 0x04000000;  // CERT_TRUST_IS_EXPLICIT_DISTRUST, Windows 8 headers
static const DWORD UNTRUSTED_CHAIN = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                                     CERT_TRUST_IS_CYCLIC | CERT_TRUST_IS_NOT_SIGNATURE_VALID |
                                     CERT_TRUST_IS_REVOKED | EXPLICIT_DISTRUST;

// The first signer's name, and whether its chain stands: it must end in a
// trusted root, and be time-valid unless a time stamp vouches for the
// signing time. A verified answer without a chain to look at is untrusted.
static SignerVerdict JudgeSigner(const TrustFunctions* trust, HANDLE state, SignerVerdict verdict, wchar_t* signer)
{
    CRYPT_PROVIDER_DATA* provider = state ? trust->providerData(state) : NULL;
    CRYPT_PROVIDER_SGNR* first = provider ? trust->providerSigner(provider, 0, FALSE, 0) : NULL;
    CRYPT_PROVIDER_CERT* leaf = first ? trust->providerCert(first, 0) : NULL;
    if (leaf && leaf->pCert)
        trust->certName(leaf->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, signer, SIGNER_NAME_CAPACITY);
    if (verdict != SIGNER_VERIFIED)
        return verdict;
    if (!first || !WVT_ISINSTRUCT(CRYPT_PROVIDER_SGNR, first->cbStruct, pChainContext) || !first->pChainContext)
        return SIGNER_UNTRUSTED;
    DWORD errors = first->pChainContext->TrustStatus.dwErrorStatus;
    bool timeStamped = first->csCounterSigners > 0;
    if ((errors & UNTRUSTED_CHAIN) || ((errors & CERT_TRUST_IS_NOT_TIME_VALID) && !timeStamped))
        return SIGNER_UNTRUSTED;
    return SIGNER_VERIFIED;
}

// Runs WinVerifyTrust on the subject `data` names, offline and without UI,
// and closes its state again on every way out.
static SignerVerdict VerifySubject(const TrustFunctions* trust, WINTRUST_DATA* data, wchar_t* signer)
{
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    signer[0] = L'\0';
    data->cbStruct = sizeof(*data);
    data->dwUIChoice = WTD_UI_NONE;
    data->fdwRevocationChecks = WTD_REVOKE_NONE;
    data->dwStateAction = WTD_STATEACTION_VERIFY;
    // Nothing goes online: only what the system already holds (Vista and later).
    data->dwProvFlags = IsVistaOrLater() ? WTD_CACHE_ONLY_URL_RETRIEVAL : 0;
    HWND noUser = (HWND)INVALID_HANDLE_VALUE;
    LONG status = seams.verifyTrust(noUser, &action, data);
    SignerVerdict verdict = JudgeTrustStatus(status);
    if (verdict == SIGNER_VERIFIED || verdict == SIGNER_UNTRUSTED)
        verdict = JudgeSigner(trust, data->hWVTStateData, verdict, signer);
    data->dwStateAction = WTD_STATEACTION_CLOSE;
    seams.verifyTrust(noUser, &action, data);
    if (verdict != SIGNER_VERIFIED && verdict != SIGNER_UNTRUSTED)
        signer[0] = L'\0';
    return verdict;
}

static SignerVerdict CheckEmbeddedSignature(const TrustFunctions* trust, const wchar_t* path, HANDLE file,
                                            wchar_t* signer)
{
    WINTRUST_FILE_INFO fileInfo;
    ZeroMemory(&fileInfo, sizeof(fileInfo));
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path;
    fileInfo.hFile = file;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof(data));
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    return VerifySubject(trust, &data, signer);
}

// The driver subsystem's catalogs are files in its own folder under CatRoot
// (exempt from WOW64's redirection). With none there no catalog can hold the
// file, and hashing it for the search would be for nothing. True when it
// cannot tell: the search goes on as before.
static bool HasCatalogFiles()
{
    wchar_t pattern[MAX_PATH];
    UINT length = GetSystemDirectoryW(pattern, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        FAILED(StringCchCatW(pattern, MAX_PATH, L"\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\*.cat")))
        return true;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(pattern, &found);
    if (listing == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    FindClose(listing);
    return true;
}

bool OpenSystemCatalogSearch(HANDLE file, CatalogHash algorithm, CatalogSearch* search)
{
    ZeroMemory(search, sizeof(*search));
    search->algorithm = algorithm;
    const TrustFunctions* trust = FindTrustFunctions();
    if (!trust || (algorithm == CATALOG_SHA256 && (!trust->acquireContext2 || !trust->calcHash2)) ||
        !HasCatalogFiles())
        return false;
    GUID subsystem = DRIVER_ACTION_VERIFY;
    HCATADMIN admin = NULL;
    BOOL acquired = algorithm == CATALOG_SHA256 ? trust->acquireContext2(&admin, &subsystem, L"SHA256", NULL, 0)
                                                : trust->acquireContext(&admin, &subsystem, 0);
    if (!acquired || !admin)
        return false;
    // WinVerifyTrust has read the file: the hash starts at its beginning again.
    LARGE_INTEGER start;
    start.QuadPart = 0;
    DWORD size = sizeof(search->hash);
    BOOL hashed = SetFilePointerEx(file, start, NULL, FILE_BEGIN) &&
                  (algorithm == CATALOG_SHA256 ? trust->calcHash2(admin, file, &size, search->hash, 0)
                                               : trust->calcHash(file, &size, search->hash, 0));
    if (!hashed || size == 0 || size > sizeof(search->hash)) {
        trust->releaseContext(admin, 0);
        return false;
    }
    static const wchar_t digits[] = L"0123456789ABCDEF";
    for (DWORD i = 0; i < size; ++i) {
        search->memberTag[2 * i] = digits[search->hash[i] >> 4];
        search->memberTag[2 * i + 1] = digits[search->hash[i] & 0x0F];
    }
    search->memberTag[2 * size] = L'\0';
    search->hashSize = size;
    search->admin = admin;
    return true;
}

bool FindNextCatalogVerdict(CatalogSearch* search, const wchar_t* path, HANDLE file, SignerVerdict* verdict,
                            wchar_t* signer)
{
    const TrustFunctions* trust = FindTrustFunctions();
    if (!trust || !search->admin)
        return false;
    // The enumeration takes the previous catalog's handle and releases it.
    HCATINFO previous = search->catalog;
    search->catalog = trust->enumCatalog(search->admin, search->hash, search->hashSize, 0,
                                         previous ? &previous : NULL);
    if (!search->catalog)
        return false;
    CATALOG_INFO catalog;
    ZeroMemory(&catalog, sizeof(catalog));
    catalog.cbStruct = sizeof(catalog);
    size_t length = 0;
    if (!trust->catalogInfo(search->catalog, &catalog, 0) ||
        FAILED(StringCchLengthW(catalog.wszCatalogFile, ARRAYSIZE(catalog.wszCatalogFile), &length))) {
        *verdict = SIGNER_NOT_SIGNED;
        signer[0] = L'\0';
        return true;
    }
    CatalogInfoWithAdmin member;
    ZeroMemory(&member, sizeof(member));
    member.info.cbStruct = IsWindows8OrLater() ? sizeof(member) : sizeof(member.info);
    member.info.pcwszCatalogFilePath = catalog.wszCatalogFile;
    member.info.pcwszMemberTag = search->memberTag;
    member.info.pcwszMemberFilePath = path;
    member.info.hMemberFile = file;
    member.info.pbCalculatedFileHash = search->hash;
    member.info.cbCalculatedFileHash = search->hashSize;
    member.admin = search->admin;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof(data));
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &member.info;
    *verdict = VerifySubject(trust, &data, signer);
    return true;
}

void CloseSystemCatalogSearch(CatalogSearch* search)
{
    const TrustFunctions* trust = FindTrustFunctions();
    if (trust && search->admin && search->catalog)
        trust->releaseCatalog(search->admin, search->catalog, 0);
    if (trust && search->admin)
        trust->releaseContext(search->admin, 0);
    search->catalog = NULL;
    search->admin = NULL;
}

// The catalogs' word on a file without a signature of its own: SHA-256
// hashes first where the system has them (Windows 8 and later), then SHA-1.
// The strongest answer of any catalog holding the file stands; a verified
// one ends the search.
static SignerVerdict CheckCatalogs(const wchar_t* path, HANDLE file, wchar_t* signer)
{
    CatalogHash algorithms[2];
    int count = 0;
    if (IsWindows8OrLater())
        algorithms[count++] = CATALOG_SHA256;
    algorithms[count++] = CATALOG_SHA1;
    SignerVerdict answer = SIGNER_NOT_SIGNED;
    signer[0] = L'\0';
    for (int i = 0; i < count && answer != SIGNER_VERIFIED; ++i) {
        CatalogSearch search;
        if (!seams.openCatalogSearch(file, algorithms[i], &search))
            continue;
        SignerVerdict verdict;
        wchar_t name[SIGNER_NAME_CAPACITY] = L"";
        while (answer != SIGNER_VERIFIED && seams.findNextCatalogVerdict(&search, path, file, &verdict, name)) {
            if (verdict < answer) {
                answer = verdict;
                StringCchCopyW(signer, SIGNER_NAME_CAPACITY, name);
            }
        }
        seams.closeCatalogSearch(&search);
    }
    return answer;
}

static CachedSigner* FindCachedSigner(SignerCache* cache, const wchar_t* path)
{
    for (int i = 0; i < cache->count; ++i) {
        if (EqualFoldingAsciiLetters(cache->entries[i].path, path, wcslen(path) + 1))
            return &cache->entries[i];
    }
    return NULL;
}

static bool AnswerFromSignerCache(SignerCache* cache, const wchar_t* path, const FileIdentity* identity,
                                  SignerCheck* check)
{
    EnterCriticalSection(&cache->lock);
    CachedSigner* entry = FindCachedSigner(cache, path);
    bool found = entry && SameFileIdentity(&entry->identity, identity);
    if (found) {
        entry->lastUse = ++cache->useClock;
        *check = entry->check;
    }
    LeaveCriticalSection(&cache->lock);
    return found;
}

static void RememberSigner(SignerCache* cache, const wchar_t* path, const FileIdentity* identity,
                           const SignerCheck* check)
{
    // A path that would not fit whole is not remembered under a cut one.
    if (wcslen(path) >= MAX_PATH)
        return;
    EnterCriticalSection(&cache->lock);
    CachedSigner* entry = FindCachedSigner(cache, path);
    if (!entry && cache->count < SIGNER_CACHE_ENTRIES)
        entry = &cache->entries[cache->count++];
    if (!entry) {
        entry = &cache->entries[0];
        for (int i = 1; i < cache->count; ++i) {
            if (cache->entries[i].lastUse < entry->lastUse)
                entry = &cache->entries[i];
        }
    }
    StringCchCopyW(entry->path, ARRAYSIZE(entry->path), path);
    entry->identity = *identity;
    entry->check = *check;
    entry->lastUse = ++cache->useClock;
    LeaveCriticalSection(&cache->lock);
}

bool InitSignerCache(SignerCache* cache)
{
    InitializeCriticalSection(&cache->lock);
    cache->count = 0;
    cache->useClock = 0;
    cache->entries = (CachedSigner*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                              SIGNER_CACHE_ENTRIES * sizeof(CachedSigner));
    return cache->entries != NULL;
}

void FreeSignerCache(SignerCache* cache)
{
    if (cache->entries)
        HeapFree(GetProcessHeap(), 0, cache->entries);
    cache->entries = NULL;
    cache->count = 0;
    DeleteCriticalSection(&cache->lock);
}

void CheckFileSigner(const wchar_t* path, SignerCache* cache, SignerCheck* check)
{
    check->verdict = SIGNER_UNREADABLE;
    check->source = SIGNER_FROM_NONE;
    check->signer[0] = L'\0';
    if (cache && !cache->entries)
        cache = NULL;
    wchar_t readable[MAX_PATH];
    if (!BuildReadablePath(path, readable))
        return;
    // Read sharing only, as for fingerprints: a file being written is not judged half-way.
    ScopedHandle file(CreateFileW(readable, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL));
    if (!file.Valid())
        return;
    FileIdentity identity;
    bool identified = ReadFileIdentity(file.Get(), &identity);
    if (identified && cache && AnswerFromSignerCache(cache, path, &identity, check))
        return;
    const TrustFunctions* trust = FindTrustFunctions();
    if (!trust) {
        check->verdict = SIGNER_CANNOT_CHECK;
        return;
    }
    check->verdict = CheckEmbeddedSignature(trust, readable, file.Get(), check->signer);
    if (check->verdict != SIGNER_NOT_SIGNED && check->verdict != SIGNER_UNREADABLE)
        check->source = SIGNER_FROM_EMBEDDED;
    if (check->verdict == SIGNER_NOT_SIGNED && identified && identity.size <= SIGNER_CATALOG_SIZE_LIMIT) {
        check->verdict = CheckCatalogs(readable, file.Get(), check->signer);
        if (check->verdict != SIGNER_NOT_SIGNED && check->verdict != SIGNER_UNREADABLE)
            check->source = SIGNER_FROM_CATALOG;
    }
    file.Close();
    if (identified && cache && MayRememberFile(path, &identity))
        RememberSigner(cache, path, &identity, check);
}

void FormatSignerText(const SignerCheck* check, wchar_t* text, size_t capacity)
{
    UINT id = IDS_SIGNER_NOT_SIGNED;
    switch (check->verdict) {
    case SIGNER_VERIFIED:
        StringCchCopyW(text, capacity, check->signer);
        return;
    case SIGNER_UNTRUSTED:
        if (check->signer[0] && FormatProgramText(text, capacity, IDS_SIGNER_UNTRUSTED_BY, check->signer))
            return;
        id = IDS_SIGNER_UNTRUSTED;
        break;
    case SIGNER_CANNOT_CHECK:
        id = IDS_SIGNER_CANNOT_CHECK;
        break;
    case SIGNER_NOT_VALID:
        id = IDS_SIGNER_NOT_VALID;
        break;
    case SIGNER_UNREADABLE:
        id = IDS_SIGNER_UNREADABLE;
        break;
    default:
        break;
    }
    if (!LoadProgramText(id, text, capacity) && capacity > 0)
        text[0] = L'\0';
}
