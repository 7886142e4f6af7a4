#pragma once
// A certificate authority made at test start: roots, and leaves under them
// for hosts and validity periods of a test's choosing.

#include "reporting/BRSURLSession/ServerTrust.h"

#include <memory>
#include <string>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace reportingtest {

struct TestIdentity {
    std::shared_ptr<brs::Certificate> certificate;
    std::shared_ptr<EVP_PKEY> key;
    std::string certificatePEM() const;
};

class TestPKI {
public:
    // A self-signed root.
    static TestIdentity makeRoot(const std::string& commonName);
    // A server leaf signed by issuer, valid for the names (DNS names or IP
    // addresses) from notBeforeDays to notAfterDays around now.
    static TestIdentity makeLeaf(const TestIdentity& issuer, const std::vector<std::string>& names, long notBeforeDays = -1,
                                 long notAfterDays = 30);
};

// The set every pinning test uses.
struct KitTestPKI {
    TestIdentity pinnedRoot = TestPKI::makeRoot("Kit Test Pinned Root");
    TestIdentity trustedRoot = TestPKI::makeRoot("Kit Test System Root");
    TestIdentity pinnedLeaf = TestPKI::makeLeaf(pinnedRoot, {"localhost", "127.0.0.1"});
    TestIdentity trustedLeaf = TestPKI::makeLeaf(trustedRoot, {"localhost", "127.0.0.1"});
    TestIdentity wrongHostLeaf = TestPKI::makeLeaf(pinnedRoot, {"elsewhere.invalid"});
    TestIdentity expiredLeaf = TestPKI::makeLeaf(pinnedRoot, {"localhost", "127.0.0.1"}, -30, -1);

    static const KitTestPKI& shared();
    // Makes the trusted root the only root that the system store holds, for
    // this process (through OpenSSL's SSL_CERT_FILE), and answers the file.
    std::string installTrustedRootAsSystemStore(const std::string& folder) const;
};

}  // namespace reportingtest
