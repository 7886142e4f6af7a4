#include "tests/support/reporting/TestPKI.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace reportingtest {
namespace {

std::shared_ptr<EVP_PKEY> newKey()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key)
        throw std::runtime_error("cannot make a test key");
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension)
        throw std::runtime_error("cannot make a test certificate extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

std::shared_ptr<brs::Certificate> wrap(X509* certificate)
{
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    auto wrapped = brs::Certificate::fromDER(der, static_cast<std::size_t>(length));
    OPENSSL_free(der);
    X509_free(certificate);
    return wrapped;
}

X509* newCertificate(const std::string& commonName, EVP_PKEY* key, long notBeforeDays, long notAfterDays)
{
    static long serial = 1;
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), notBeforeDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate), notAfterDays * 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Kit Tests"), -1, -1, 0);
    return certificate;
}

bool isAddress(const std::string& name)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, name.c_str(), buffer) == 1 || inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

}  // namespace

std::string TestIdentity::certificatePEM() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate->x509());
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return pem;
}

TestIdentity TestPKI::makeRoot(const std::string& commonName)
{
    auto key = newKey();
    X509* certificate = newCertificate(commonName, key.get(), -1, 3650);
    X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
    addExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(certificate, certificate, NID_subject_key_identifier, "hash");
    X509_sign(certificate, key.get(), EVP_sha256());
    return TestIdentity{wrap(certificate), key};
}

TestIdentity TestPKI::makeLeaf(const TestIdentity& issuer, const std::vector<std::string>& names, long notBeforeDays, long notAfterDays)
{
    auto key = newKey();
    X509* certificate = newCertificate(names.empty() ? "leaf" : names.front(), key.get(), notBeforeDays, notAfterDays);
    X509_set_issuer_name(certificate, X509_get_subject_name(issuer.certificate->x509()));
    std::string alternativeNames;
    for (const auto& name : names)
        alternativeNames += (alternativeNames.empty() ? "" : ",") + std::string(isAddress(name) ? "IP:" : "DNS:") + name;
    addExtension(certificate, issuer.certificate->x509(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate, issuer.certificate->x509(), NID_ext_key_usage, "serverAuth");
    if (!alternativeNames.empty())
        addExtension(certificate, issuer.certificate->x509(), NID_subject_alt_name, alternativeNames);
    X509_sign(certificate, issuer.key.get(), EVP_sha256());
    return TestIdentity{wrap(certificate), key};
}

const KitTestPKI& KitTestPKI::shared()
{
    static const KitTestPKI pki;
    return pki;
}

std::string KitTestPKI::installTrustedRootAsSystemStore(const std::string& folder) const
{
    const std::string path = folder + "/system-roots.pem";
    std::ofstream(path) << trustedRoot.certificatePEM();
    setenv("SSL_CERT_FILE", path.c_str(), 1);
    setenv("SSL_CERT_DIR", folder.c_str(), 1);
    return path;
}

}  // namespace reportingtest
