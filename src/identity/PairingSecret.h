#pragma once

#include "core/Bytes.h"
#include "identity/RSAPublicKey.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace telvanto::identity {

// The proof that the user saw the TV's code: SHA-256 over both keys' numbers (leading zeros
// stripped) and the code's last two bytes. None when the code is not six hex digits or its
// first byte does not match the digest's first byte (a mistyped code). Case-insensitive.
std::optional<Bytes> pairingSecret(std::string_view code, const RSAPublicKey& clientKey, const RSAPublicKey& serverKey);

// The digest itself, for the TV's side, which picks the last two code bytes and shows the
// digest's first byte in front of them.
Bytes pairingDigest(const RSAPublicKey& clientKey, const RSAPublicKey& serverKey, std::uint8_t code1, std::uint8_t code2);

} // namespace telvanto::identity
