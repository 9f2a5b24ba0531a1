#include "platform/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tw {

std::array<std::uint8_t, 32> sha256(std::string_view bytes) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length != digest.size()) {
        throw std::runtime_error("SHA-256 digest failed");
    }
    return digest;
}

std::string sha256Hex(std::string_view bytes) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    const auto digest = sha256(bytes);
    std::string out;
    out.reserve(digest.size() * 2);
    for (std::uint8_t byte : digest) {
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0x0F];
    }
    return out;
}

}  // namespace tw
