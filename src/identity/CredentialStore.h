#pragma once

#include "core/Bytes.h"
#include "identity/RSAPublicKey.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace telvanto::identity {

// The credentials both programs share: one directory private to the user (0700), one file
// per item (0600), each write atomic (temporary file, fsync, rename), so a reader sees the
// old content or the new one, never a mix. A temporary file left by a writer that died
// before its rename is removed by the next write.
class CredentialStore {
public:
    static constexpr std::string_view tvKeyItem = "com.korbith.telvanto.tvkey";
    static constexpr std::string_view tvHostItem = "com.korbith.telvanto.tvhost";
    static constexpr std::string_view identityItem = "Telvanto client";

    // Items are small; anything larger is not ours and reads as absent.
    static constexpr std::size_t maxItemSize = 1 << 20;

    explicit CredentialStore(std::filesystem::path directory);

    // $TELVANTO_DATA_DIR, else $XDG_DATA_HOME/telvanto, else ~/.local/share/telvanto.
    static std::filesystem::path defaultDirectory();

    const std::filesystem::path& directory() const { return directory_; }

    struct ReadResult {
        std::optional<Bytes> data; // absent when the item does not exist, is not a regular file
                                   // or is over maxItemSize (not ours), or cannot be read
        int error = 0;             // errno of a failed read other than "no such item"
    };
    ReadResult read(std::string_view item) const;

    // Replaces the item atomically; returns 0 or the errno of the failed step, in which case
    // the previous content is left whole.
    int write(std::string_view item, ByteView data) const;
    void remove(std::string_view item) const;

    // The pinned key of the paired TV (PKCS #1 DER); unreadable bytes read as none.
    std::optional<RSAPublicKey> loadPinnedKey() const;
    // An absent key deletes the item.
    void storePinnedKey(const std::optional<RSAPublicKey>& key) const;

    // The address at which the TV last answered (UTF-8); invalid text reads as none.
    std::optional<std::string> loadHost() const;
    // An empty host, or the host already stored, writes nothing.
    void storeHost(std::string_view host) const;

private:
    std::filesystem::path path(std::string_view item) const;
    int ensureDirectory() const;

    std::filesystem::path directory_;
};

} // namespace telvanto::identity
