#include "identity/Der.h"
#include "identity/PairingSecret.h"
#include "identity/RSAPublicKey.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

using namespace telvanto;
using telvanto::identity::RSAPublicKey;
namespace der = telvanto::identity::der;

// The other elements are checked as OpenSSL reads our certificates (ClientIdentity.CertificateFieldsReadBack).
TEST(Der, WriterTable)
{
    const struct { Bytes encoded; const char* hex; } cases[] = {
        {der::length(0), "00"}, {der::length(127), "7f"}, {der::length(128), "8180"}, {der::length(255), "81ff"},
        {der::length(256), "820100"}, {der::length(65535), "82ffff"}, {der::length(65536), "83010000"},
        {der::length(0x01000000), "8401000000"}, {der::integer({}), "020100"}, {der::integer(fromHex("0000")), "020100"},
        {der::integer(fromHex("7f")), "02017f"}, {der::integer(fromHex("80")), "02020080"},
        {der::integer(fromHex("000080")), "02020080"}, {der::integer(fromHex("00017f")), "0202017f"},
        {der::integer(fromHex("ff00")), "020300ff00"}, {der::objectIdentifier({2, 5, 4, 3}), "0603550403"},
        {der::objectIdentifier({1, 2, 840, 113549, 1, 1, 11}), "06092a864886f70d01010b"}};
    for (const auto& c : cases) EXPECT_EQ(toHex(c.encoded), c.hex);
}

TEST(Der, ReaderTable)
{
    const auto sized = [](const char* head, std::size_t total) { Bytes b = fromHex(head); b.resize(total); return b; };
    const struct { const char* name; Bytes input; std::optional<std::size_t> contentLength; } cases[] = {
        {"short form", fromHex("0403 aabbcc"), 3}, {"0x80 reads as length 0", fromHex("0480 aabb"), 0},
        {"long form 0x81", sized("048180", 3 + 128), 128}, {"long form 0x82", sized("04820100", 4 + 256), 256},
        {"four length bytes", fromHex("0484 00000002 aabb"), 2},
        {"five length bytes", fromHex("0485 0000000002 aabb"), std::nullopt},
        {"length runs past the end", fromHex("0404 aabbcc"), std::nullopt},
        {"long length runs past the end", fromHex("048180 aa"), std::nullopt},
        {"length bytes cut short", fromHex("048201"), std::nullopt}, {"no length byte", fromHex("04"), std::nullopt},
        {"empty input", Bytes{}, std::nullopt}, {"other tag", fromHex("0201 00"), std::nullopt},
        {"huge four-byte length", fromHex("0484 ffffffff 00"), std::nullopt}};
    for (const auto& c : cases) {
        const auto content = der::Reader(c.input).read(0x04);
        EXPECT_EQ(content ? std::optional(content->size()) : std::nullopt, c.contentLength) << c.name;
    }
    EXPECT_EQ(der::Reader(Bytes{}).peekTag(), std::nullopt);
}

TEST(RSAPublicKey, Pkcs1Table)
{
    const struct { const char* name; const char* hex; std::optional<RSAPublicKey> key; } cases[] = {
        {"leading zero kept", "300b 020400c0ffee 0203010001", RSAPublicKey{fromHex("00c0ffee"), fromHex("010001")}},
        {"trailing bytes inside", "3008 020105 020103 0500", RSAPublicKey{{5}, {3}}},
        {"trailing bytes after", "3006 020105 020103 ffff", RSAPublicKey{{5}, {3}}},
        {"one integer", "3003 020105", std::nullopt}, {"second element not an integer", "3005 020105 0500", std::nullopt},
        {"not a sequence", "3106 020105 020103", std::nullopt}, {"cut inside", "3006 020105 0201", std::nullopt},
        {"empty", "", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(RSAPublicKey::fromPkcs1(fromHex(c.hex)), c.key) << c.name;
    // A modulus with its top bit set gains a zero on the wire; equality is byte for byte.
    const RSAPublicKey bare{fromHex("c0ffee"), fromHex("00000003")};
    EXPECT_EQ(toHex(bare.pkcs1()), "3009020400c0ffee020103");
    EXPECT_NE(RSAPublicKey::fromPkcs1(bare.pkcs1()), bare);
}

// The key of a certificate OpenSSL made (v1, without the version field) is OpenSSL's own export.
// Our own v3 certificates are read back in ClientIdentity.CertificateFieldsReadBack.
TEST(RSAPublicKey, CertificateKeyMatchesOpenSslExport)
{
    EVP_PKEY* key = EVP_RSA_gen(1024);
    X509* cert = X509_new();
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    EXPECT_GT(X509_sign(cert, key, EVP_sha256()), 0);
    unsigned char *certDer = nullptr, *keyDer = nullptr;
    const auto certLength = static_cast<std::size_t>(i2d_X509(cert, &certDer));
    const auto keyLength = static_cast<std::size_t>(i2d_PublicKey(key, &keyDer));
    const auto fromCert = RSAPublicKey::fromCertificate(ByteView(certDer, certLength));
    EXPECT_EQ(fromCert, RSAPublicKey::fromPkcs1(ByteView(keyDer, keyLength)));
    EXPECT_EQ(fromCert ? fromCert->modulus.size() : 0, 129u);
    EXPECT_EQ(RSAPublicKey::fromCertificate(ByteView(certDer, certLength - 1)), std::nullopt);
    OPENSSL_free(certDer);
    OPENSSL_free(keyDer);
    X509_free(cert);
    EVP_PKEY_free(key);
}

// Digests computed with `openssl dgst -sha256` over the stripped numbers and code bytes.
TEST(PairingSecret, MatchesIndependentVectors)
{
    const RSAPublicKey client1{fromHex("00c1c2c3"), fromHex("010001")}, server1{fromHex("d1d2d3d4"), fromHex("03")};
    const RSAPublicKey client2{fromHex("a1a2"), fromHex("010001")}, server2{fromHex("00b1b2"), fromHex("010001")};
    const std::string digest1 = "d455c230208d1014eb930d3bb822474bd8434c0ef4e1ee006f375e0fd2112945";
    const std::string digest2 = "926ac6c2b70dac04359738fae116c73d8ce0492b6f13c16743dddc073b50f981";
    const struct { const char* code; const RSAPublicKey& client; const RSAPublicKey& server; std::string expected; } cases[] = {
        {"D4AB00", client1, server1, digest1}, // a code byte 0x00, a modulus with 0x00
        {"d4ab00", client1, server1, digest1}, {"D5AB00", client1, server1, "refused"}, // wrong check byte
        {"923456", client2, server2, digest2}, {"92345", client2, server2, "refused"},
        {"9234567", client2, server2, "refused"}, {"92345G", client2, server2, "refused"}, {"", client2, server2, "refused"}};
    for (const auto& c : cases) {
        const auto secret = identity::pairingSecret(c.code, c.client, c.server);
        EXPECT_EQ(secret ? toHex(*secret) : "refused", c.expected) << c.code;
    }
    // The numbers are hashed without their leading zeros, whichever form they were kept in.
    const RSAPublicKey client1Stripped{fromHex("c1c2c3"), fromHex("00010001")};
    EXPECT_EQ(identity::pairingSecret("D4AB00", client1Stripped, server1), identity::pairingSecret("D4AB00", client1, server1));
}
