#pragma once

#include "core/Bytes.h"
#include "identity/CredentialStore.h"
#include "identity/RSAPublicKey.h"

#include <openssl/types.h>

#include <chrono>
#include <exception>
#include <string>
#include <string_view>
#include <variant>

namespace telvanto::identity {

// The one error of the identity code.
class IdentityError : public std::exception {
public:
    explicit IdentityError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }
    // The error's textual form as the user sees it: keychain("...").
    std::string text() const { return "keychain(\"" + message_ + "\")"; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The client's RSA 2048 key pair and its self-signed certificate, kept together in one
// credential item (PEM: private key, then certificate) so they are replaced as a pair.
struct ClientIdentity {
    Bytes certificateDer;
    Bytes privateKeyDer; // PKCS #8

    RSAPublicKey publicKey() const; // from the certificate
    std::string subjectSummary() const; // the certificate's common name
};

namespace findResult {
struct Found {
    ClientIdentity identity;
};
struct Failure {
    int status; // errno of the failed file operation
};
struct NotFound {};
} // namespace findResult
using FindResult = std::variant<findResult::Found, findResult::Failure, findResult::NotFound>;

// "Telvanto " + the first 32 characters of the trimmed device name + " " + four random
// upper-case hex digits; without a name, "Telvanto " + the digits.
std::string commonName(std::string_view deviceName);

// The certificate for the key, built element by element and signed PKCS #1 v1.5 SHA-256.
// publicKeyDer is the PKCS #1 form of the key's public half.
Bytes selfSignedCertificate(EVP_PKEY* privateKey, ByteView publicKeyDer, std::string_view commonName,
                            std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// An identity that is stored but unreadable or does not match its key counts as not found.
FindResult findIdentity(const CredentialStore& store);
ClientIdentity loadOrCreateIdentity(const CredentialStore& store, std::string_view deviceName);
// Replaces an old identity whose certificate is named just "Telvanto", then loads or creates.
ClientIdentity identityForPairing(const CredentialStore& store, std::string_view deviceName);
void createIdentity(const CredentialStore& store, std::string_view commonName);
void deleteIdentity(const CredentialStore& store);

} // namespace telvanto::identity
