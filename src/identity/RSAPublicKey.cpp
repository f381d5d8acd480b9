#include "identity/RSAPublicKey.h"

#include "identity/Der.h"

namespace telvanto::identity {

namespace {
// 1.2.840.113549.1.1.1, rsaEncryption, as its DER content bytes.
constexpr std::uint8_t rsaEncryptionOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
} // namespace

std::optional<RSAPublicKey> RSAPublicKey::fromPkcs1(ByteView input)
{
    der::Reader outer(input);
    const auto sequence = outer.read(der::tag::sequence);
    if (!sequence) return std::nullopt;
    der::Reader inner(*sequence);
    const auto modulus = inner.read(der::tag::integer);
    if (!modulus) return std::nullopt;
    const auto exponent = inner.read(der::tag::integer);
    if (!exponent) return std::nullopt;
    return RSAPublicKey{Bytes(modulus->begin(), modulus->end()), Bytes(exponent->begin(), exponent->end())};
}

Bytes RSAPublicKey::pkcs1() const
{
    return der::sequence({der::integer(modulus), der::integer(exponent)});
}

std::optional<RSAPublicKey> RSAPublicKey::fromCertificate(ByteView certificateDer)
{
    // Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signature }
    // TBSCertificate ::= SEQUENCE { [0] version OPTIONAL, serialNumber, signature, issuer,
    //                               validity, subject, subjectPublicKeyInfo, ... }
    der::Reader certificate(certificateDer);
    const auto certificateContent = certificate.read(der::tag::sequence);
    if (!certificateContent) return std::nullopt;
    der::Reader tbs(*certificateContent);
    const auto tbsContent = tbs.read(der::tag::sequence);
    if (!tbsContent) return std::nullopt;

    der::Reader fields(*tbsContent);
    if (fields.peekTag() == der::tag::context0 && !fields.read(der::tag::context0)) return std::nullopt;
    if (!fields.read(der::tag::integer)) return std::nullopt;
    for (int i = 0; i < 4; ++i) { // signature, issuer, validity, subject
        if (!fields.read(der::tag::sequence)) return std::nullopt;
    }
    const auto spki = fields.read(der::tag::sequence);
    if (!spki) return std::nullopt;

    // SubjectPublicKeyInfo ::= SEQUENCE { AlgorithmIdentifier, BIT STRING }
    der::Reader keyInfo(*spki);
    const auto algorithm = keyInfo.read(der::tag::sequence);
    if (!algorithm) return std::nullopt;
    const auto oid = der::Reader(*algorithm).read(der::tag::objectIdentifier);
    if (!oid || !equal(*oid, rsaEncryptionOid)) return std::nullopt;
    const auto bits = keyInfo.read(der::tag::bitString);
    if (!bits || bits->empty() || bits->front() != 0x00) return std::nullopt;
    return fromPkcs1(bits->subspan(1));
}

} // namespace telvanto::identity
