#include "reporting/BRSURLSession/ServerTrust.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

namespace brs {
namespace {

std::string nameEntry(X509* x509, int nid)
{
    X509_NAME* name = X509_get_subject_name(x509);
    char buffer[256] = {};
    const int length = X509_NAME_get_text_by_NID(name, nid, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, length) : std::string();
}

bool isIPAddress(const std::string& host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

}  // namespace

std::shared_ptr<Certificate> Certificate::fromDER(const unsigned char* bytes, std::size_t length)
{
    if (!bytes || length == 0)
        return nullptr;
    const unsigned char* cursor = bytes;
    X509* x509 = d2i_X509(nullptr, &cursor, static_cast<long>(length));
    if (!x509)
        return nullptr;
    if (cursor != bytes + length) {  // trailing bytes: not exactly one certificate
        X509_free(x509);
        return nullptr;
    }
    return std::shared_ptr<Certificate>(new Certificate(x509));
}

std::shared_ptr<Certificate> Certificate::fromPEM(const std::string& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return x509 ? std::shared_ptr<Certificate>(new Certificate(x509)) : nullptr;
}

Certificate::~Certificate() { X509_free(x509_); }

std::string Certificate::subjectCommonName() const { return nameEntry(x509_, NID_commonName); }
std::string Certificate::subjectOrganization() const { return nameEntry(x509_, NID_organizationName); }
std::size_t Certificate::derLength() const { return static_cast<std::size_t>(i2d_X509(x509_, nullptr)); }

ServerTrust::ServerTrust(std::string host, X509* leaf, STACK_OF_X509* intermediates)
    : host_(std::move(host)), leaf_(leaf), intermediates_(intermediates)
{
    if (leaf_)
        X509_up_ref(leaf_);
    if (intermediates_)
        intermediates_ = reinterpret_cast<STACK_OF_X509*>(X509_chain_up_ref(reinterpret_cast<STACK_OF(X509)*>(intermediates_)));
}

ServerTrust::~ServerTrust()
{
    X509_free(leaf_);
    if (intermediates_)
        sk_X509_pop_free(reinterpret_cast<STACK_OF(X509)*>(intermediates_), X509_free);
}

int ServerTrust::setAnchorCertificates(const CertificateList& anchors)
{
    for (const auto& anchor : anchors)
        if (!anchor)
            return -1;
    anchors_ = anchors;
    return 0;
}

int ServerTrust::setAnchorCertificatesOnly(bool only)
{
    anchorsOnly_ = only;
    return 0;
}

int ServerTrust::evaluate(TrustResult& result) const
{
    result = TrustResult::Invalid;
    if (!leaf_)
        return -1;
    X509_STORE* store = X509_STORE_new();
    if (!store)
        return -1;
    // Without anchors-only, the system's roots (OpenSSL's default locations) count too.
    if (!anchorsOnly_)
        X509_STORE_set_default_paths(store);
    for (const auto& anchor : anchors_)
        X509_STORE_add_cert(store, anchor->x509());

    X509_STORE_CTX* context = X509_STORE_CTX_new();
    int status = 0;
    if (!context || X509_STORE_CTX_init(context, store, leaf_, reinterpret_cast<STACK_OF(X509)*>(intermediates_)) != 1) {
        status = -1;
    } else {
        X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context);
        X509_VERIFY_PARAM_set_purpose(parameters, X509_PURPOSE_SSL_SERVER);
        const bool hostSet = host_.empty() || (isIPAddress(host_) ? X509_VERIFY_PARAM_set1_ip_asc(parameters, host_.c_str())
                                                                  : X509_VERIFY_PARAM_set1_host(parameters, host_.c_str(), host_.size()));
        if (!hostSet)
            status = -1;
        else
            result = X509_verify_cert(context) == 1 ? TrustResult::Unspecified : TrustResult::RecoverableTrustFailure;
    }
    X509_STORE_CTX_free(context);
    X509_STORE_free(store);
    return status;
}

}  // namespace brs
