// The test root of signer/make_signed_samples.sh added to the prefix's Root
// store, so its leaves' signatures verify. The test links crypt32.
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <gtest/gtest.h>
#include <string>
#include "test_support.h"

inline void TrustTestRoot()
{
    std::string der = ReadFileText(BinPath(L"signer-samples\\trusted-root.der").c_str());
    ASSERT_FALSE(der.empty()) << "no test root: did prepare_signed_samples run?";
    HCERTSTORE root = CertOpenSystemStoreW(0, L"Root");
    ASSERT_TRUE(root != NULL);
    EXPECT_TRUE(CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, (const BYTE*)der.data(), (DWORD)der.size(),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, NULL));
    CertCloseStore(root, 0);
}

// signer/make_test_catalog.sh's catalog, signed by the trusted leaf and listing
// signer-samples\catalogued.exe, placed for as long as this lives where the
// system's catalog search looks (the driver subsystem's folder).
class TestCatalog {
public:
    TestCatalog()
    {
        wchar_t system[MAX_PATH] = L"";
        GetSystemDirectoryW(system, MAX_PATH);
        std::wstring folder = std::wstring(system) + L"\\catroot";
        CreateDirectoryW(folder.c_str(), NULL);
        folder += L"\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
        CreateDirectoryW(folder.c_str(), NULL);
        path = folder + L"\\tavrowen-test.cat";
        placed = CopyFileW(BinPath(L"signer-samples\\test.cat").c_str(), path.c_str(), FALSE) != FALSE;
    }
    ~TestCatalog() { DeleteFileW(path.c_str()); }
    bool placed;
    std::wstring path;
};
