#include "identity/PairingSecret.h"

#include "identity/Der.h"

#include <openssl/evp.h>

namespace telvanto::identity {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<Bytes> pairingSecret(std::string_view code, const RSAPublicKey& clientKey, const RSAPublicKey& serverKey)
{
    if (code.size() != 6) return std::nullopt;
    std::uint8_t codeBytes[3];
    for (std::size_t i = 0; i < 3; ++i) {
        const int high = hexDigit(code[2 * i]), low = hexDigit(code[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        codeBytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }

    Bytes digest = pairingDigest(clientKey, serverKey, codeBytes[1], codeBytes[2]);
    if (digest.empty()) return std::nullopt;
    if (digest[0] != codeBytes[0]) return std::nullopt;
    return digest;
}

Bytes pairingDigest(const RSAPublicKey& clientKey, const RSAPublicKey& serverKey, std::uint8_t code1, std::uint8_t code2)
{
    Bytes input;
    for (const Bytes* part : {&clientKey.modulus, &clientKey.exponent, &serverKey.modulus, &serverKey.exponent}) {
        append(input, der::stripLeadingZeros(*part));
    }
    input.push_back(code1);
    input.push_back(code2);
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return {};
    digest.resize(length);
    return digest;
}

} // namespace telvanto::identity
