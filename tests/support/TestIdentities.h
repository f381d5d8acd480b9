#pragma once

#include "identity/ClientIdentity.h"

#include "TempDir.h"

#include <map>
#include <string>

namespace telvanto::testing {

// Identities made once per test program: key generation takes a tenth of a second.
inline const identity::ClientIdentity& testIdentity(int which)
{
    static std::map<int, identity::ClientIdentity> made;
    auto it = made.find(which);
    if (it == made.end()) {
        TempDir dir;
        identity::CredentialStore store(dir.path());
        it = made.emplace(which, identity::loadOrCreateIdentity(store, "test " + std::to_string(which))).first;
    }
    return it->second;
}

} // namespace telvanto::testing
