#pragma once

#include "identity/CredentialStore.h"

#include "TestIdentities.h"

#include <filesystem>

namespace telvanto::testing {

// A credential directory holding what pairing leaves behind: identity (testIdentity(0)),
// pinned key, host.
class PairedStore {
public:
    struct Items {
        bool identity = true;
        bool pin = true;
        const char* host = "192.168.1.20";
    };

    explicit PairedStore(Items items) : store(dir.path())
    {
        const std::string item(identity::CredentialStore::identityItem);
        if (items.identity) std::filesystem::copy_file(identityFolder(0) / item, dir / item);
        if (items.pin) store.storePinnedKey(identity::RSAPublicKey{fromHex("00c0ffee0123456789"), fromHex("010001")});
        if (items.host) store.write(identity::CredentialStore::tvHostItem, toBytes(items.host));
    }

    TempDir dir;
    identity::CredentialStore store;
};

} // namespace telvanto::testing
