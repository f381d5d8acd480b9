#include "identity/RSAPublicKey.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

using namespace telvanto;
using telvanto::identity::RSAPublicKey;

namespace {

struct OpenSslFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
};

// A certificate made by OpenSSL itself, to check our DER walk against its own key export.
struct OpenSslCertificate {
    Bytes der;
    Bytes pkcs1;
};

OpenSslCertificate makeCertificate(unsigned bits)
{
    std::unique_ptr<EVP_PKEY, OpenSslFree> key(EVP_RSA_gen(bits));
    std::unique_ptr<X509, OpenSslFree> cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("test"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    X509_sign(cert.get(), key.get(), EVP_sha256());

    OpenSslCertificate out;
    unsigned char* p = nullptr;
    int n = i2d_X509(cert.get(), &p);
    out.der.assign(p, p + n);
    OPENSSL_free(p);
    p = nullptr;
    n = i2d_PublicKey(key.get(), &p);
    out.pkcs1.assign(p, p + n);
    OPENSSL_free(p);
    return out;
}

} // namespace

TEST(RSAPublicKey, Pkcs1RoundTripKeepsTheLeadingZero)
{
    const RSAPublicKey key{fromHex("00c0ffee"), fromHex("010001")};
    const Bytes der = key.pkcs1();
    EXPECT_EQ(toHex(der), "300b020400c0ffee0203010001");
    EXPECT_EQ(RSAPublicKey::fromPkcs1(der), key);

    // A modulus with its top bit set but no leading zero gains one on the wire.
    const RSAPublicKey bare{fromHex("c0ffee"), fromHex("03")};
    const auto reread = RSAPublicKey::fromPkcs1(bare.pkcs1());
    ASSERT_TRUE(reread);
    EXPECT_EQ(toHex(reread->modulus), "00c0ffee");
    EXPECT_NE(*reread, bare); // equality is byte for byte
}

TEST(RSAPublicKey, Pkcs1ParseTable)
{
    const struct {
        const char* name;
        const char* hex;
        bool parses;
    } cases[] = {
        {"two integers", "3006 020105 020103", true},
        {"trailing bytes inside", "3008 020105 020103 0500", true},
        {"trailing bytes after", "3006 020105 020103 ffff", true},
        {"one integer", "3003 020105", false},
        {"second element not an integer", "3005 020105 0500", false},
        {"not a sequence", "3106 020105 020103", false},
        {"cut inside", "3006 020105 0201", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(RSAPublicKey::fromPkcs1(fromHex(c.hex)).has_value(), c.parses) << c.name;
}

TEST(RSAPublicKey, CertificateKeyMatchesOpenSslExport)
{
    for (unsigned bits : {1024u, 2048u}) {
        const auto cert = makeCertificate(bits);
        const auto fromCert = RSAPublicKey::fromCertificate(cert.der);
        ASSERT_TRUE(fromCert) << bits;
        EXPECT_EQ(fromCert, RSAPublicKey::fromPkcs1(cert.pkcs1));
        EXPECT_EQ(fromCert->pkcs1(), cert.pkcs1);
    }
}

TEST(RSAPublicKey, CutCertificatesYieldNoKey)
{
    const auto cert = makeCertificate(1024);
    for (std::size_t cut = 0; cut < cert.der.size(); ++cut) {
        // Only the part up to the key matters; any cut before its end must fail cleanly.
        const auto key = RSAPublicKey::fromCertificate(ByteView(cert.der).first(cut));
        EXPECT_FALSE(key) << "cut at " << cut;
    }
}
