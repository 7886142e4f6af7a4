#pragma once
// The DER bytes of the pinned root certificates, stored in the program.

#include <array>
#include <cstddef>

namespace pln {

struct PinnedRootData {
    const unsigned char* bytes;
    std::size_t length;
};

const std::array<PinnedRootData, 8>& pinnedRootCertificateData();

// The roots' PEM bodies, in pinning order, as the build embeds them from
// roots/*.pem.
extern const std::array<const char*, 8> kPinnedRootBase64;

}  // namespace pln
