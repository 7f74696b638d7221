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
