#pragma once
// Certificates and server-trust evaluation over OpenSSL: what a session hands
// its delegate when a server presents its chain.

#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct x509_st X509;
typedef struct stack_st_X509 STACK_OF_X509;

namespace brs {

// A parsed X.509 certificate (shared, immutable).
class Certificate {
public:
    // Null when the bytes are not one DER-encoded certificate.
    static std::shared_ptr<Certificate> fromDER(const unsigned char* bytes, std::size_t length);
    static std::shared_ptr<Certificate> fromPEM(const std::string& pem);
    ~Certificate();

    X509* x509() const { return x509_; }
    std::string subjectCommonName() const;
    std::string subjectOrganization() const;
    std::size_t derLength() const;

private:
    explicit Certificate(X509* x509) : x509_(x509) {}
    X509* x509_;
};

using CertificateList = std::vector<std::shared_ptr<Certificate>>;

// Result of an evaluation, as trust evaluation reports it.
enum class TrustResult {
    Invalid = 0,
    Proceed = 1,
    Confirm = 2,
    Deny = 3,
    Unspecified = 4,
    RecoverableTrustFailure = 5,
    FatalTrustFailure = 6,
    OtherError = 7,
};

// The chain a server presented for a host. Evaluation trusts the system's
// roots plus any anchors set, or only the anchors once anchorsOnly is set.
class ServerTrust {
public:
    ServerTrust(std::string host, X509* leaf, STACK_OF_X509* intermediates);
    ~ServerTrust();
    ServerTrust(const ServerTrust&) = delete;
    ServerTrust& operator=(const ServerTrust&) = delete;

    const std::string& host() const { return host_; }
    // Each answers 0, or a non-zero status when the trust cannot take it.
    int setAnchorCertificates(const CertificateList& anchors);
    int setAnchorCertificatesOnly(bool only);
    // Answers 0 when the evaluation ran; result says whether the chain is trusted.
    int evaluate(TrustResult& result) const;

private:
    std::string host_;
    X509* leaf_;
    STACK_OF_X509* intermediates_;
    CertificateList anchors_;
    bool anchorsOnly_ = false;
};

}  // namespace brs
