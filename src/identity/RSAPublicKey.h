#pragma once

#include "core/Bytes.h"

#include <optional>

namespace telvanto::identity {

// An RSA public key as its big-endian numbers, kept exactly as read (a modulus may carry
// the leading 0x00 of its DER INTEGER). Equal when both byte strings are equal.
struct RSAPublicKey {
    Bytes modulus;
    Bytes exponent;

    bool operator==(const RSAPublicKey&) const = default;

    // PKCS #1 RSAPublicKey: SEQUENCE { INTEGER modulus, INTEGER exponent }. Bytes after the
    // second INTEGER or after the SEQUENCE are ignored.
    static std::optional<RSAPublicKey> fromPkcs1(ByteView der);
    Bytes pkcs1() const;

    // The key of an X.509 certificate (DER), read from its SubjectPublicKeyInfo. None unless
    // the certificate holds an RSA key in a well-formed structure.
    static std::optional<RSAPublicKey> fromCertificate(ByteView certificateDer);
};

} // namespace telvanto::identity
