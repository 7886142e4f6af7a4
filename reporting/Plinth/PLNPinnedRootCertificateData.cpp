// The pinned roots' DER, decoded once from the base64 of their PEM files in
// roots/, which the build embeds (roots/embed-roots.cmake writes
// PLNPinnedRoots.cpp into the build folder).

#include "reporting/Plinth/PLNPinnedRootCertificateData.h"

#include <openssl/evp.h>

#include <cstring>
#include <vector>

namespace pln {

namespace {

std::vector<unsigned char> derOfBase64(const char* base64)
{
    const std::size_t length = std::strlen(base64);
    std::vector<unsigned char> der(length / 4 * 3);
    const int decoded = EVP_DecodeBlock(der.data(), reinterpret_cast<const unsigned char*>(base64), int(length));
    // The decoder counts the padding's bytes too.
    const std::size_t padding = length > 1 && base64[length - 1] == '=' ? (base64[length - 2] == '=' ? 2 : 1) : 0;
    der.resize(decoded < 0 ? 0 : std::size_t(decoded) - padding);
    return der;
}

}  // namespace

const std::array<PinnedRootData, 8>& pinnedRootCertificateData()
{
    static const std::array<std::vector<unsigned char>, 8> ders = [] {
        std::array<std::vector<unsigned char>, 8> decoded;
        for (std::size_t i = 0; i < decoded.size(); ++i)
            decoded[i] = derOfBase64(kPinnedRootBase64[i]);
        return decoded;
    }();
    static const std::array<PinnedRootData, 8> roots = [] {
        std::array<PinnedRootData, 8> data{};
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = {ders[i].data(), ders[i].size()};
        return data;
    }();
    return roots;
}

}  // namespace pln
