#pragma once

#include "identity/ClientIdentity.h"
#include "identity/CredentialStore.h"

#include "TempDir.h"

#include <filesystem>

namespace telvanto::testing {

// A credential directory holding what pairing leaves behind: identity, pinned key, host.
// The identity is made once per test program (key generation is slow) and copied in.
class PairedStore {
public:
    struct Items {
        bool identity = true;
        bool pin = true;
        const char* host = "192.168.1.20";
    };

    PairedStore() : PairedStore(Items{}) {}
    explicit PairedStore(Items items) : store(dir.path())
    {
        if (items.identity) {
            std::filesystem::copy_file(identityDir().path() / std::string(identity::CredentialStore::identityItem),
                                       dir.path() / std::string(identity::CredentialStore::identityItem));
        }
        if (items.pin) store.storePinnedKey(tvKey());
        if (items.host) store.write(identity::CredentialStore::tvHostItem, toBytes(items.host));
    }

    static identity::RSAPublicKey tvKey() { return {fromHex("00c0ffee0123456789"), fromHex("010001")}; }
    static identity::ClientIdentity clientIdentity()
    {
        const identity::CredentialStore source(identityDir().path());
        return std::get<identity::findResult::Found>(identity::findIdentity(source)).identity;
    }

    TempDir dir;
    identity::CredentialStore store;

private:
    static const TempDir& identityDir()
    {
        static const TempDir made;
        [[maybe_unused]] static const bool created = [] {
            identity::createIdentity(identity::CredentialStore(made.path()), "Telvanto test");
            return true;
        }();
        return made;
    }
};

} // namespace telvanto::testing
