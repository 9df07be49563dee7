// A certificate trusted for a test under Wine: added to the current user's
// Root store of the test's private Wine prefix, and taken out again. On a
// real Windows that store is the user's own (and adding to it asks the user),
// so nothing is trusted there and the test is skipped.
#include "platform/windows/Win32.h"
#include "LoopbackServer.h"

#include <wincrypt.h>

namespace zvek::test {

namespace {

bool RunsUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace

TrustedCertificate::TrustedCertificate(const LoopbackServer& server, const std::string&) {
    const std::string& pem = server.Certificate();
    DWORD size = 0;
    if (!RunsUnderWine() || !::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()),
                                                    CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return;
    std::string der(size, '\0');
    ::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                           reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
    const HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    PCCERT_CONTEXT added = nullptr;
    if (store && ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                    size, CERT_STORE_ADD_REPLACE_EXISTING, &added)) {
        BYTE hash[20];
        DWORD hashSize = sizeof hash;
        if (::CertGetCertificateContextProperty(added, CERT_SHA1_HASH_PROP_ID, hash, &hashSize)) {
            // Wine's store keeps a deleted certificate, so the way out is its key.
            undo_ = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
            for (DWORD i = 0; i < hashSize; ++i)
                undo_.append({"0123456789ABCDEF"[hash[i] >> 4], "0123456789ABCDEF"[hash[i] & 15]});
        }
        ::CertFreeCertificateContext(added);
        trusted_ = true;
    }
    if (store) ::CertCloseStore(store, 0);
}

TrustedCertificate::~TrustedCertificate() {
    if (!undo_.empty()) ::RegDeleteTreeA(HKEY_CURRENT_USER, undo_.c_str());
}

}  // namespace zvek::test
