#include <filesystem>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "web/HttpClient.h"

namespace zvek::test {

TrustedCertificate::TrustedCertificate(const LoopbackServer& server, const std::string& folder) {
    const std::string file = (std::filesystem::path(folder) / "trusted.pem").string();
    WriteBytes(file, server.Certificate());
    InetLimits limits = GetInetLimits();
    undo_ = limits.trustedCertificates;
    limits.trustedCertificates = file;
    SetInetLimits(limits);
    trusted_ = true;
}

TrustedCertificate::~TrustedCertificate() {
    InetLimits limits = GetInetLimits();
    limits.trustedCertificates = undo_;
    SetInetLimits(limits);
}

}  // namespace zvek::test
