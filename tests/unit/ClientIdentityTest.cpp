#include "identity/ClientIdentity.h"

#include "TempDir.h"
#include "TestIdentities.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>

using namespace telvanto;
using namespace telvanto::identity;
using telvanto::testing::TempDir;

namespace {

bool notFound(const CredentialStore& store) { return std::holds_alternative<findResult::NotFound>(findIdentity(store)); }

} // namespace

TEST(ClientIdentity, CommonNameRules)
{
    std::string accented; // 33 characters, each with a combining mark that stays with its letter
    for (int i = 0; i < 33; ++i) accented += "e\xCC\x81";
    const struct { std::string device; const char* pattern; } cases[] = {
        {"Jana's laptop", "Telvanto Jana's laptop [0-9A-F]{4}"}, {"  padded\t", "Telvanto padded [0-9A-F]{4}"},
        {"    ", "Telvanto [0-9A-F]{4}"}, {"", "Telvanto [0-9A-F]{4}"},
        {"abcdefghijklmnopqrstuvwxyz0123456789", "Telvanto abcdefghijklmnopqrstuvwxyz012345 [0-9A-F]{4}"},
        {accented, "Telvanto (e\xCC\x81){32} [0-9A-F]{4}"}};
    for (const auto& c : cases) EXPECT_TRUE(std::regex_match(commonName(c.device), std::regex(c.pattern))) << c.device;
}

// UTCTime reads years 50-99 as 19xx, so dates from 2050 on are written as GeneralizedTime.
TEST(ClientIdentity, CertificateFieldsReadBack)
{
    EVP_PKEY* key = EVP_RSA_gen(1024);
    unsigned char* pub = nullptr;
    const int pubLength = i2d_PublicKey(key, &pub);
    const Bytes publicKeyDer(pub, pub + pubLength);
    OPENSSL_free(pub);
    const struct { std::time_t now; const char *notBefore, *notAfter; /* one day back, 7 300 days ahead */ } rows[] = {
        {1796589600, "261205204000Z", "461201204000Z"}, {1893887999, "300104235959Z", "491231235959Z"},
        {1893888000, "300105000000Z", "20500101000000Z"}, {1930089600, "310228000000Z", "20510224000000Z"},
        {2524694399, "491231235959Z", "20691227235959Z"}, {2524694400, "20500101000000Z", "20691228000000Z"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.now);
        const Bytes der = selfSignedCertificate(key, publicKeyDer, "Telvanto obývačka 1A2B", std::chrono::system_clock::from_time_t(row.now));
        const unsigned char* p = der.data();
        X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
        ASSERT_TRUE(cert);
        EXPECT_EQ(X509_verify(cert, key), 1);
        EXPECT_EQ(X509_get_version(cert), 2); // v3, without extensions
        EXPECT_EQ(X509_get_ext_count(cert), 0);
        EXPECT_EQ(X509_get_signature_nid(cert), NID_sha256WithRSAEncryption);
        EXPECT_EQ(X509_NAME_cmp(X509_get_subject_name(cert), X509_get_issuer_name(cert)), 0);
        const ASN1_INTEGER* serial = X509_get0_serialNumber(cert);
        EXPECT_EQ(ASN1_STRING_length(serial), 8);
        EXPECT_EQ(ASN1_STRING_get0_data(serial)[0] & 0x81, 0x01); // positive and not zero
        for (const auto& [time, text] : {std::pair{X509_get0_notBefore(cert), std::string(row.notBefore)},
                                         std::pair{X509_get0_notAfter(cert), std::string(row.notAfter)}}) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(time)), static_cast<std::size_t>(ASN1_STRING_length(time))), text);
            EXPECT_EQ(ASN1_STRING_type(time), text.size() == 13 ? V_ASN1_UTCTIME : V_ASN1_GENERALIZEDTIME) << text;
        }
        X509_free(cert);
        const ClientIdentity identity{der, {}};
        EXPECT_EQ(identity.subjectSummary(), "Telvanto obývačka 1A2B");
        EXPECT_EQ(identity.publicKey().pkcs1(), publicKeyDer);
    }
    EVP_PKEY_free(key);
}

// An identity named just "Telvanto" comes from an earlier version: remote connections keep
// using it, pairing replaces it with one named after the device.
TEST(ClientIdentity, StoredIdentityLifecycle)
{
    TempDir temp;
    const CredentialStore store(temp.path());
    EXPECT_TRUE(notFound(store));
    createIdentity(store, "Telvanto");
    const ClientIdentity old = loadOrCreateIdentity(store, "desk");
    EXPECT_EQ(old.subjectSummary(), "Telvanto");
    EXPECT_EQ(loadOrCreateIdentity(store, "other").certificateDer, old.certificateDer);
    const ClientIdentity paired = identityForPairing(store, "desk");
    EXPECT_NE(paired.certificateDer, old.certificateDer);
    EXPECT_TRUE(std::regex_match(paired.subjectSummary(), std::regex("Telvanto desk [0-9A-F]{4}")));
    EXPECT_EQ(identityForPairing(store, "other").certificateDer, paired.certificateDer);
    EXPECT_EQ(loadOrCreateIdentity(store, "other").privateKeyDer, paired.privateKeyDer);
    struct stat st {};
    ASSERT_EQ(::stat((temp / "Telvanto client").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // OpenSSL's own tools read and verify the certificate (the PEM file gets the text form too).
    std::ofstream(temp / "c.der", std::ios::binary) << toString(paired.certificateDer);
    std::string out;
    if (FILE* pipe = ::popen(("(cd '" + temp.path().string() + "' && openssl x509 -inform DER -in c.der -text -out c.pem "
                              "&& cat c.pem && openssl verify -CAfile c.pem c.pem) 2>&1").c_str(), "r")) {
        for (char buffer[512]; std::fgets(buffer, sizeof buffer, pipe);) out += buffer;
        ::pclose(pipe);
    }
    for (const char* line : {"Signature Algorithm: sha256WithRSAEncryption", "Public-Key: (2048 bit)", "Subject: CN = Telvanto desk ", "c.pem: OK"})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in:\n" << out;

    deleteIdentity(store);
    EXPECT_TRUE(notFound(store));
    deleteIdentity(store); // deleting nothing is fine
}

TEST(ClientIdentity, DamagedStoredIdentityIsReplaced)
{
    TempDir temp;
    const CredentialStore store(temp.path());
    const ClientIdentity original = loadOrCreateIdentity(store, "desk");
    const std::string text = toString(*store.read(CredentialStore::identityItem).data);
    const std::size_t certStart = text.find("-----BEGIN CERTIFICATE");
    const auto put = [&](const std::string& content) { std::ofstream(temp / "Telvanto client", std::ios::binary) << content; };
    const struct { const char* name; std::string content; } cases[] = {
        {"empty", ""}, {"garbage", "\x01\x02garbage"}, {"key only", text.substr(0, certStart)},
        {"cut in the certificate", text.substr(0, certStart + 100)},
        // Read with a pass phrase, these would wait for one on the terminal.
        {"encrypted PKCS #8 key", telvanto::testing::encryptedKeyPem(text, true) + text.substr(certStart)},
        {"encrypted traditional key", telvanto::testing::encryptedKeyPem(text, false) + text.substr(certStart)},
        {"over the size limit", text + std::string(CredentialStore::maxItemSize, '\n')}};
    for (const auto& c : cases) {
        put(c.content);
        EXPECT_TRUE(notFound(store)) << c.name;
    }
    EXPECT_NE(loadOrCreateIdentity(store, "desk").certificateDer, original.certificateDer);
    // A certificate that belongs to another key does not make an identity.
    const std::string fresh = toString(*store.read(CredentialStore::identityItem).data);
    put(text.substr(0, certStart) + fresh.substr(fresh.find("-----BEGIN CERTIFICATE")));
    EXPECT_TRUE(notFound(store));
}

TEST(ClientIdentity, ErrorsCarryTheirExactTexts)
{
    TempDir temp;
    std::filesystem::create_directories(temp / "item is a directory/Telvanto client");
    std::ofstream(temp / "file") << "x";
    std::filesystem::create_directory_symlink(temp / "removed", temp / "dangling link");
    const struct { const char *directory, *message; } cases[] = {
        {"item is a directory", "kľúčenka nedostupná (21)"}, // EISDIR
        {"file/telvanto", "kľúčenka nedostupná (20)"},      // ENOTDIR
        {"dangling link/telvanto", "add certificate: 2"}};  // nothing stored, and nowhere to store it
    for (const auto& c : cases) {
        try {
            loadOrCreateIdentity(CredentialStore(temp / c.directory), "desk");
            ADD_FAILURE() << c.directory << ": no error";
        } catch (const IdentityError& e) {
            EXPECT_EQ(e.message(), c.message) << c.directory;
            EXPECT_EQ(e.text(), "keychain(\"" + std::string(c.message) + "\")"); // as the user sees it
        }
    }
}
