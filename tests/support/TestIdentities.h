#pragma once

#include "identity/ClientIdentity.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "TempDir.h"

#include <map>
#include <string>

namespace telvanto::testing {

// Identities made once per test program (key generation takes a tenth of a second), each kept
// in a credential folder of its own that tests copy from.
inline const TempDir& identityFolder(int which)
{
    static std::map<int, TempDir> folders;
    const auto [it, fresh] = folders.try_emplace(which);
    if (fresh) identity::createIdentity(identity::CredentialStore(it->second.path()), "test " + std::to_string(which));
    return it->second;
}

inline const identity::ClientIdentity& testIdentity(int which)
{
    static std::map<int, identity::ClientIdentity> read;
    if (!read.contains(which))
        read.emplace(which, std::get<identity::findResult::Found>(identity::findIdentity(identity::CredentialStore(identityFolder(which).path()))).identity);
    return read.at(which);
}

// The stored key again, encrypted with a pass phrase.
inline std::string encryptedKeyPem(const std::string& stored)
{
    BIO* in = BIO_new_mem_buf(stored.data(), static_cast<int>(stored.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(in, nullptr, nullptr, nullptr);
    BIO* out = BIO_new(BIO_s_mem());
    char pass[] = "tajné";
    EXPECT_EQ(PEM_write_bio_PKCS8PrivateKey(out, key, EVP_aes_256_cbc(), pass, 6, nullptr, nullptr), 1);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(out), EVP_PKEY_free(key), BIO_free(in);
    return pem;
}

} // namespace telvanto::testing
