#pragma once
// Accepts a server only when its chain ends in one of the pinned roots.

#include "reporting/BRSURLSession/BRSURLSession.h"

namespace pln {

// The eight root certificates the kit carries, in pinning order; a new list each call.
brs::CertificateList PLNPinnedRootCertificates();

class PLNCertificatePinner {
public:
    explicit PLNCertificatePinner(brs::CertificateList certificates) : certificates_(std::move(certificates)) {}

    static std::shared_ptr<brs::Certificate> createCertificationWithData(const unsigned char* bytes, std::size_t length);

    const brs::CertificateList& certificates() const { return certificates_; }
    // 0 when the evaluation ran; result tells whether the chain is trusted.
    int evaluateTrust(brs::ServerTrust& trust, brs::TrustResult& result) const;
    // Answers a server-trust challenge with a credential only for a pinned
    // chain; everything else is cancelled. True when a credential was given.
    bool handleChallenge(const brs::AuthenticationChallenge& challenge, brs::BRSURLSession& session,
                         const brs::ChallengeCompletion& completion) const;

private:
    brs::CertificateList certificates_;
};

}  // namespace pln
