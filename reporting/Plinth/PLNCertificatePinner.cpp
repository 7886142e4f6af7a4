#include "reporting/Plinth/PLNCertificatePinner.h"

#include "reporting/Plinth/PLNPinnedRootCertificateData.h"

namespace pln {

brs::CertificateList PLNPinnedRootCertificates()
{
    brs::CertificateList certificates;
    certificates.reserve(8);
    for (const auto& root : pinnedRootCertificateData())
        if (auto certificate = brs::Certificate::fromDER(root.bytes, root.length))
            certificates.push_back(std::move(certificate));
    return certificates;
}

std::shared_ptr<brs::Certificate> PLNCertificatePinner::createCertificationWithData(const unsigned char* bytes, std::size_t length)
{
    return brs::Certificate::fromDER(bytes, length);
}

int PLNCertificatePinner::evaluateTrust(brs::ServerTrust& trust, brs::TrustResult& result) const
{
    if (certificates_.empty()) {
        result = brs::TrustResult::Invalid;
        return 0;
    }
    if (const int status = trust.setAnchorCertificates(certificates_); status != 0) {
        result = brs::TrustResult::FatalTrustFailure;
        return status;
    }
    if (const int status = trust.setAnchorCertificatesOnly(true); status != 0) {
        result = brs::TrustResult::FatalTrustFailure;
        return status;
    }
    if (const int status = trust.evaluate(result); status != 0) {
        result = brs::TrustResult::Invalid;
        return status;
    }
    return 0;
}

bool PLNCertificatePinner::handleChallenge(const brs::AuthenticationChallenge& challenge, brs::BRSURLSession&,
                                           const brs::ChallengeCompletion& completion) const
{
    if (challenge.method != brs::AuthenticationMethod::ServerTrust || !challenge.serverTrust) {
        completion(brs::ChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
        return false;
    }
    brs::TrustResult result = brs::TrustResult::Invalid;
    const int status = evaluateTrust(*challenge.serverTrust, result);
    if (status == 0 && (result == brs::TrustResult::Proceed || result == brs::TrustResult::Unspecified)) {
        completion(brs::ChallengeDisposition::UseCredential, brs::URLCredential{challenge.serverTrust});
        return true;
    }
    completion(brs::ChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
    return false;
}

}  // namespace pln
