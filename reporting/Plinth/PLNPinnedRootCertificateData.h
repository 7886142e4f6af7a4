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

}  // namespace pln
