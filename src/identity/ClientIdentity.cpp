#include "identity/ClientIdentity.h"

#include "identity/Der.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cstring>
#include <ctime>
#include <memory>

namespace telvanto::identity {

namespace {

struct Free {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Certificate = std::unique_ptr<X509, Free>;

constexpr int keyBits = 2048;
constexpr auto validityBefore = std::chrono::seconds(86'400);      // one day back
constexpr auto validityAfter = std::chrono::seconds(630'720'000);  // 7 300 days ahead
constexpr std::size_t maxNameCharacters = 32;

std::string openSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

Bytes randomBytes(std::size_t count)
{
    Bytes out(count);
    if (RAND_bytes(out.data(), static_cast<int>(count)) != 1) throw IdentityError("key: " + openSslError());
    return out;
}

// UTCTime for the years 1950-2049, GeneralizedTime for any other (RFC 5280): UTCTime's two
// digits read 50-99 as 19xx, so a certificate made from 2030 on would expire in the 1950s.
Bytes validityTime(std::chrono::system_clock::time_point t)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    const int year = parts.tm_year + 1900;
    char text[32];
    if (year >= 1950 && year < 2050) {
        std::strftime(text, sizeof text, "%y%m%d%H%M%SZ", &parts);
        return der::utcTime(text);
    }
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &parts);
    return der::generalizedTime(text);
}

// Stored keys are never encrypted. OpenSSL's default would ask for a pass phrase on the
// terminal and wait there for good; refusing makes such a key unreadable, like any damage.
int refusePassPhrase(char*, int, int, void*) { return -1; }

// Decodes one UTF-8 scalar at i (advancing i); invalid bytes decode as themselves.
char32_t nextScalar(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i++]);
    int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : 0;
    char32_t value = extra == 3 ? b0 & 0x07 : extra == 2 ? b0 & 0x0F : extra == 1 ? b0 & 0x1F : b0;
    while (extra-- > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) {
        value = value << 6 | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return value;
}

// Marks that belong to the character before them: combining marks, variation selectors,
// emoji modifiers, and whatever follows a zero-width joiner.
bool extendsCharacter(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) ||
           (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0100 && c <= 0xE01EF) || c == 0x200D;
}

// The first `count` user-perceived characters (a character keeps its combining marks).
std::string_view firstCharacters(std::string_view s, std::size_t count)
{
    std::size_t i = 0, characters = 0;
    bool joined = false;
    while (i < s.size()) {
        std::size_t next = i;
        const char32_t c = nextScalar(s, next);
        const bool starts = !extendsCharacter(c) && !joined;
        if (starts && characters == count) break;
        if (starts) ++characters;
        joined = c == 0x200D;
        i = next;
    }
    return s.substr(0, i);
}

std::string_view trimmed(std::string_view s)
{
    constexpr std::string_view space = " \t\n\r\v\f";
    const std::size_t first = s.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

Bytes derOf(int (*encode)(const EVP_PKEY*, unsigned char**), const EVP_PKEY* key)
{
    unsigned char* out = nullptr;
    const int n = encode(key, &out);
    if (n <= 0) throw IdentityError("key: " + openSslError());
    Bytes bytes(out, out + n);
    OPENSSL_free(out);
    return bytes;
}

Bytes pkcs8Of(EVP_PKEY* key)
{
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    if (!bio || i2d_PKCS8PrivateKey_bio(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw IdentityError("key: " + openSslError());
    }
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return Bytes(data, data + n);
}

std::string pem(const char* label, ByteView der)
{
    std::string base64(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), der.data(), static_cast<int>(der.size()));
    base64.resize(static_cast<std::size_t>(n));
    std::string out = std::string("-----BEGIN ") + label + "-----\n";
    for (std::size_t i = 0; i < base64.size(); i += 64) out += base64.substr(i, 64) + "\n";
    return out + "-----END " + label + "-----\n";
}

// Reads the stored PEM pair; none when either part is missing or they do not belong together.
std::optional<ClientIdentity> parseStoredIdentity(ByteView stored)
{
    std::unique_ptr<BIO, Free> bio(BIO_new_mem_buf(stored.data(), static_cast<int>(stored.size())));
    if (!bio) return std::nullopt;
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, refusePassPhrase, nullptr));
    Certificate cert(key ? PEM_read_bio_X509(bio.get(), nullptr, refusePassPhrase, nullptr) : nullptr);
    ERR_clear_error();
    if (!key || !cert || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA || X509_check_private_key(cert.get(), key.get()) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    unsigned char* der = nullptr;
    const int n = i2d_X509(cert.get(), &der);
    if (n <= 0) return std::nullopt;
    ClientIdentity identity;
    identity.certificateDer.assign(der, der + n);
    OPENSSL_free(der);
    try {
        identity.privateKeyDer = pkcs8Of(key.get());
    } catch (const IdentityError&) {
        return std::nullopt;
    }
    return identity;
}

} // namespace

RSAPublicKey ClientIdentity::publicKey() const
{
    return RSAPublicKey::fromCertificate(certificateDer).value_or(RSAPublicKey{});
}

std::string ClientIdentity::subjectSummary() const
{
    const unsigned char* p = certificateDer.data();
    Certificate cert(d2i_X509(nullptr, &p, static_cast<long>(certificateDer.size())));
    if (!cert) return {};
    char name[256] = {};
    const int n = X509_NAME_get_text_by_NID(X509_get_subject_name(cert.get()), NID_commonName, name, sizeof name);
    return n > 0 ? std::string(name, static_cast<std::size_t>(n)) : std::string();
}

std::string commonName(std::string_view deviceName)
{
    const Bytes r = randomBytes(2);
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(r[0] << 8 | r[1]));
    const std::string_view name = firstCharacters(trimmed(deviceName), maxNameCharacters);
    if (name.empty()) return std::string("Telvanto ") + digits;
    return "Telvanto " + std::string(name) + " " + digits;
}

Bytes selfSignedCertificate(EVP_PKEY* privateKey, ByteView publicKeyDer, std::string_view name,
                            std::chrono::system_clock::time_point now)
{
    Bytes serial = randomBytes(8);
    serial[0] = static_cast<std::uint8_t>((serial[0] & 0x7F) | 0x01);

    const Bytes algorithm = der::sequence({der::objectIdentifier({1, 2, 840, 113549, 1, 1, 11}), der::null()});
    const Bytes commonNameAttribute = der::sequence({der::objectIdentifier({2, 5, 4, 3}), der::utf8String(name)});
    const Bytes distinguishedName = der::sequence({der::set({commonNameAttribute})});
    const Bytes validity = der::sequence({validityTime(now - validityBefore), validityTime(now + validityAfter)});
    const Bytes rsaAlgorithm = der::sequence({der::objectIdentifier({1, 2, 840, 113549, 1, 1, 1}), der::null()});
    const Bytes keyInfo = der::sequence({rsaAlgorithm, der::bitString(publicKeyDer)});
    const Bytes version = der::context0(der::integer(Bytes{0x02}));
    const Bytes toBeSigned = der::sequence(
        {version, der::integer(serial), algorithm, distinguishedName, validity, distinguishedName, keyInfo});

    std::unique_ptr<EVP_MD_CTX, Free> context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, privateKey) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, toBeSigned.data(), toBeSigned.size()) != 1) {
        throw IdentityError("sign: " + openSslError());
    }
    Bytes signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, toBeSigned.data(), toBeSigned.size()) != 1) {
        throw IdentityError("sign: " + openSslError());
    }
    signature.resize(length);
    return der::sequence({toBeSigned, algorithm, der::bitString(signature)});
}

FindResult findIdentity(const CredentialStore& store)
{
    const auto stored = store.read(CredentialStore::identityItem);
    if (stored.error) return findResult::Failure{stored.error};
    if (!stored.data) return findResult::NotFound{};
    if (auto identity = parseStoredIdentity(*stored.data)) return findResult::Found{std::move(*identity)};
    return findResult::NotFound{};
}

void createIdentity(const CredentialStore& store, std::string_view name)
{
    Key key(EVP_RSA_gen(keyBits));
    if (!key) throw IdentityError("key: " + openSslError());
    const Bytes publicKeyDer = derOf(i2d_PublicKey, key.get());
    const Bytes certificateDer = selfSignedCertificate(key.get(), publicKeyDer, name);

    const unsigned char* p = certificateDer.data();
    Certificate check(d2i_X509(nullptr, &p, static_cast<long>(certificateDer.size())));
    if (!check || p != certificateDer.data() + certificateDer.size()) {
        ERR_clear_error();
        throw IdentityError("certificate rejected");
    }
    const std::string stored = pem("PRIVATE KEY", pkcs8Of(key.get())) + pem("CERTIFICATE", certificateDer);
    const int error = store.write(CredentialStore::identityItem,
                                  ByteView(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size()));
    if (error) throw IdentityError("add certificate: " + std::to_string(error));
}

ClientIdentity loadOrCreateIdentity(const CredentialStore& store, std::string_view deviceName)
{
    const FindResult first = findIdentity(store);
    if (const auto* found = std::get_if<findResult::Found>(&first)) return found->identity;
    if (const auto* failure = std::get_if<findResult::Failure>(&first)) {
        throw IdentityError("kľúčenka nedostupná (" + std::to_string(failure->status) + ")");
    }
    createIdentity(store, commonName(deviceName));
    const FindResult second = findIdentity(store);
    if (const auto* found = std::get_if<findResult::Found>(&second)) return found->identity;
    throw IdentityError("identity not found after create");
}

ClientIdentity identityForPairing(const CredentialStore& store, std::string_view deviceName)
{
    const FindResult existing = findIdentity(store);
    if (const auto* found = std::get_if<findResult::Found>(&existing); found && found->identity.subjectSummary() == "Telvanto") {
        deleteIdentity(store);
    }
    return loadOrCreateIdentity(store, deviceName);
}

void deleteIdentity(const CredentialStore& store) { store.remove(CredentialStore::identityItem); }

} // namespace telvanto::identity
