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
    std::basic_string<BYTE> der(pem.size(), 0);
    DWORD size = static_cast<DWORD>(der.size()), hashSize = 20;
    BYTE hash[20];
    if (!RunsUnderWine() ||
        !::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                &size, nullptr, nullptr) ||
        !::CertAddEncodedCertificateToSystemStoreA("Root", der.data(), size) ||
        !::CryptHashCertificate(0, CALG_SHA1, 0, der.data(), size, hash, &hashSize))
        return;
    // Wine's store keeps a deleted certificate, so the way out is its key.
    undo_ = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
    for (DWORD i = 0; i < hashSize; ++i)
        undo_.append({"0123456789ABCDEF"[hash[i] >> 4], "0123456789ABCDEF"[hash[i] & 15]});
    trusted_ = true;
}

TrustedCertificate::~TrustedCertificate() {
    if (!undo_.empty()) ::RegDeleteTreeA(HKEY_CURRENT_USER, undo_.c_str());
}

}  // namespace zvek::test
