#include "identity/ClientIdentity.h"

#include "TempDir.h"
#include "TestIdentities.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <sys/stat.h>

using namespace telvanto;
using namespace telvanto::identity;
using telvanto::testing::TempDir;

namespace {

struct X509Deleter {
    void operator()(X509* p) const { X509_free(p); }
};
using Cert = std::unique_ptr<X509, X509Deleter>;

Cert parse(const Bytes& der)
{
    const unsigned char* p = der.data();
    return Cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::string asn1TimeText(const ASN1_TIME* t)
{
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(t)), static_cast<std::size_t>(ASN1_STRING_length(t)));
}

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    return out;
}

} // namespace

TEST(ClientIdentity, CommonNameRules)
{
    const struct {
        const char* device;
        const char* pattern;
    } cases[] = {
        {"Jana's laptop", "Telvanto Jana's laptop [0-9A-F]{4}"},
        {"  padded\t", "Telvanto padded [0-9A-F]{4}"},
        {"    ", "Telvanto [0-9A-F]{4}"},
        {"", "Telvanto [0-9A-F]{4}"},
        {"abcdefghijklmnopqrstuvwxyz0123456789", "Telvanto abcdefghijklmnopqrstuvwxyz012345 [0-9A-F]{4}"},
        // 32 characters, each with a combining mark: the marks stay with their letters.
        {"e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81"
         "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81"
         "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81"
         "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "e\xCC\x81" "xyz",
         "Telvanto (e\xCC\x81){32} [0-9A-F]{4}"},
    };
    for (const auto& c : cases) {
        const std::string name = commonName(c.device);
        EXPECT_TRUE(std::regex_match(name, std::regex(c.pattern))) << name;
    }
}

TEST(ClientIdentity, CertificateFieldsReadBack)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    ASSERT_NE(key, nullptr);
    unsigned char* pub = nullptr;
    const int pubLength = i2d_PublicKey(key, &pub);
    const Bytes publicKeyDer(pub, pub + pubLength);
    OPENSSL_free(pub);

    // 2026-12-06 20:40:00 UTC
    const auto now = std::chrono::system_clock::from_time_t(1796589600);
    const Bytes der = selfSignedCertificate(key, publicKeyDer, "Telvanto obývačka 1A2B", now);
    const Cert cert = parse(der);
    ASSERT_TRUE(cert);

    EXPECT_EQ(X509_get_version(cert.get()), 2); // v3
    const ASN1_INTEGER* serial = X509_get0_serialNumber(cert.get());
    ASSERT_EQ(ASN1_STRING_length(serial), 8);
    const unsigned char first = ASN1_STRING_get0_data(serial)[0];
    EXPECT_EQ(first & 0x80, 0);
    EXPECT_EQ(first & 0x01, 1);
    EXPECT_EQ(X509_NAME_cmp(X509_get_subject_name(cert.get()), X509_get_issuer_name(cert.get())), 0);
    EXPECT_EQ(X509_get_ext_count(cert.get()), 0);
    EXPECT_EQ(X509_get_signature_nid(cert.get()), NID_sha256WithRSAEncryption);
    EXPECT_EQ(X509_verify(cert.get(), key), 1);

    ClientIdentity identity{der, {}};
    EXPECT_EQ(identity.subjectSummary(), "Telvanto obývačka 1A2B");
    EXPECT_EQ(identity.publicKey().pkcs1(), publicKeyDer);
    EVP_PKEY_free(key);
}

// UTCTime reads years 50-99 as 19xx, so dates from 2050 on are written as GeneralizedTime.
TEST(ClientIdentity, ValidityTimesChangeFormAt2050)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    ASSERT_NE(key, nullptr);
    unsigned char* pub = nullptr;
    const int pubLength = i2d_PublicKey(key, &pub);
    const Bytes publicKeyDer(pub, pub + pubLength);
    OPENSSL_free(pub);

    const struct {
        std::time_t now;
        const char* notBefore;
        const char* notAfter; // + 7 300 days
    } rows[] = {
        {1796589600, "261205204000Z", "461201204000Z"},
        {1893887999, "300104235959Z", "491231235959Z"},
        {1893888000, "300105000000Z", "20500101000000Z"},
        {1930089600, "310228000000Z", "20510224000000Z"}, // made in March 2031
        {2524694399, "491231235959Z", "20691227235959Z"},
        {2524694400, "20500101000000Z", "20691228000000Z"},
    };
    for (const auto& row : rows) {
        const Cert cert = parse(selfSignedCertificate(key, publicKeyDer, "Telvanto", std::chrono::system_clock::from_time_t(row.now)));
        ASSERT_TRUE(cert) << row.now;
        const std::pair<const ASN1_TIME*, std::string> times[] = {{X509_get0_notBefore(cert.get()), row.notBefore},
                                                                  {X509_get0_notAfter(cert.get()), row.notAfter}};
        for (const auto& [time, text] : times) {
            EXPECT_EQ(asn1TimeText(time), text) << row.now;
            EXPECT_EQ(ASN1_STRING_type(time), text.size() == 13 ? V_ASN1_UTCTIME : V_ASN1_GENERALIZEDTIME) << text;
            std::tm parts{};
            ASSERT_EQ(ASN1_TIME_to_tm(time, &parts), 1) << text;
            const int year = std::stoi(text.size() == 13 ? "20" + text.substr(0, 2) : text.substr(0, 4));
            EXPECT_EQ(parts.tm_year + 1900, year) << text;
        }
        EXPECT_EQ(X509_verify(cert.get(), key), 1);
    }
    EVP_PKEY_free(key);
}

TEST(ClientIdentity, OpenSslToolsAcceptTheCertificate)
{
    TempDir temp;
    CredentialStore store(temp.path());
    const ClientIdentity identity = loadOrCreateIdentity(store, "desk");
    const auto derPath = temp / "c.der";
    std::ofstream(derPath, std::ios::binary).write(reinterpret_cast<const char*>(identity.certificateDer.data()),
                                                   static_cast<std::streamsize>(identity.certificateDer.size()));
    const std::string text = run("openssl x509 -inform DER -noout -text -in " + derPath.string());
    EXPECT_NE(text.find("Signature Algorithm: sha256WithRSAEncryption"), std::string::npos) << text;
    EXPECT_NE(text.find("Public-Key: (2048 bit)"), std::string::npos) << text;
    EXPECT_NE(text.find("Subject: CN = Telvanto desk "), std::string::npos) << text;

    const auto pemPath = temp / "c.pem";
    run("openssl x509 -inform DER -in " + derPath.string() + " -out " + pemPath.string());
    const std::string verify = run("openssl verify -CAfile " + pemPath.string() + " " + pemPath.string());
    EXPECT_NE(verify.find(": OK"), std::string::npos) << verify;
}

TEST(ClientIdentity, LoadOrCreateKeepsOneIdentity)
{
    TempDir temp;
    CredentialStore store(temp.path());
    EXPECT_TRUE(std::holds_alternative<findResult::NotFound>(findIdentity(store)));
    const ClientIdentity created = loadOrCreateIdentity(store, "desk");
    const ClientIdentity again = loadOrCreateIdentity(store, "other name");
    EXPECT_EQ(again.certificateDer, created.certificateDer);
    EXPECT_EQ(again.privateKeyDer, created.privateKeyDer);

    struct stat st {};
    ASSERT_EQ(::stat((temp / "Telvanto client").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    deleteIdentity(store);
    EXPECT_TRUE(std::holds_alternative<findResult::NotFound>(findIdentity(store)));
    deleteIdentity(store); // deleting nothing is fine
}

TEST(ClientIdentity, DamagedStoredIdentityIsReplaced)
{
    TempDir temp;
    CredentialStore store(temp.path());
    const ClientIdentity original = loadOrCreateIdentity(store, "desk");
    const auto stored = *store.read(CredentialStore::identityItem).data;
    const std::string text = toString(stored);
    const std::size_t certStart = text.find("-----BEGIN CERTIFICATE");

    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty", ""},
        {"garbage", "\x01\x02garbage"},
        {"key only", text.substr(0, certStart)},
        {"cut in the certificate", text.substr(0, certStart + 100)},
        // Read with a pass phrase, these would wait for one on the terminal.
        {"encrypted PKCS #8 key", telvanto::testing::encryptedKeyPem(text, true) + text.substr(certStart)},
        {"encrypted traditional key", telvanto::testing::encryptedKeyPem(text, false) + text.substr(certStart)},
        {"over the size limit", text + std::string(CredentialStore::maxItemSize, '\n')},
    };
    for (const auto& c : cases) {
        std::ofstream(temp / "Telvanto client", std::ios::binary | std::ios::trunc) << c.content;
        EXPECT_TRUE(std::holds_alternative<findResult::NotFound>(findIdentity(store))) << c.name;
        const ClientIdentity fresh = loadOrCreateIdentity(store, "desk");
        EXPECT_NE(fresh.certificateDer, original.certificateDer) << c.name;
    }

    // A certificate that belongs to another key does not make an identity.
    TempDir other;
    CredentialStore otherStore(other.path());
    loadOrCreateIdentity(otherStore, "x");
    const std::string otherText = toString(*otherStore.read(CredentialStore::identityItem).data);
    std::ofstream(temp / "Telvanto client", std::ios::binary | std::ios::trunc)
        << text.substr(0, certStart) << otherText.substr(otherText.find("-----BEGIN CERTIFICATE"));
    EXPECT_TRUE(std::holds_alternative<findResult::NotFound>(findIdentity(store)));
}

TEST(ClientIdentity, ErrorsCarryTheirExactTexts)
{
    TempDir temp;
    // The item is a directory: reading it fails with EISDIR.
    std::filesystem::create_directories(temp / "data/Telvanto client");
    CredentialStore unreadable(temp / "data");
    try {
        loadOrCreateIdentity(unreadable, "desk");
        FAIL() << "no error";
    } catch (const IdentityError& e) {
        EXPECT_EQ(e.text(), "keychain(\"kľúčenka nedostupná (21)\")");
    }

    // Nothing stored, and the directory cannot be made (sysfs refuses new entries).
    CredentialStore blocked("/sys/telvanto-test");
    try {
        loadOrCreateIdentity(blocked, "desk");
        FAIL() << "no error";
    } catch (const IdentityError& e) {
        EXPECT_EQ(e.message(), "add certificate: " + std::to_string(EPERM));
    }

    // A path below a plain file cannot even be read.
    std::ofstream(temp / "file") << "x";
    try {
        loadOrCreateIdentity(CredentialStore(temp / "file/telvanto"), "desk");
        FAIL() << "no error";
    } catch (const IdentityError& e) {
        EXPECT_EQ(e.message(), "kľúčenka nedostupná (" + std::to_string(ENOTDIR) + ")");
    }
}

TEST(ClientIdentity, PairingReplacesOnlyAnOldPlainIdentity)
{
    TempDir temp;
    CredentialStore store(temp.path());
    createIdentity(store, "Telvanto");
    const ClientIdentity old = loadOrCreateIdentity(store, "desk");
    EXPECT_EQ(old.subjectSummary(), "Telvanto");
    EXPECT_EQ(loadOrCreateIdentity(store, "desk").certificateDer, old.certificateDer); // remote keeps it

    const ClientIdentity paired = identityForPairing(store, "desk");
    EXPECT_NE(paired.certificateDer, old.certificateDer);
    EXPECT_TRUE(std::regex_match(paired.subjectSummary(), std::regex("Telvanto desk [0-9A-F]{4}")));
    EXPECT_EQ(identityForPairing(store, "desk").certificateDer, paired.certificateDer); // a named one stays
}
