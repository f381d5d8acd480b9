#include "identity/CredentialStore.h"

#include "core/Utf8.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telvanto::identity {

namespace {

// Closes a descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

int writeAll(int fd, ByteView data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

CredentialStore::CredentialStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::filesystem::path CredentialStore::defaultDirectory()
{
    if (const char* dir = std::getenv("TELVANTO_DATA_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        return std::filesystem::path(xdg) / "telvanto";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/") / ".local/share/telvanto";
}

std::filesystem::path CredentialStore::path(std::string_view item) const { return directory_ / std::string(item); }

int CredentialStore::ensureDirectory() const
{
    std::error_code ec;
    std::filesystem::create_directories(directory_.parent_path(), ec);
    if (::mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    // A directory made by someone else (or an older version) is made private too.
    struct stat st {};
    if (::stat(directory_.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    if ((st.st_mode & 07777) != 0700 && ::chmod(directory_.c_str(), 0700) != 0) return errno;
    return 0;
}

CredentialStore::ReadResult CredentialStore::read(std::string_view item) const
{
    Fd file{::open(path(item).c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return {std::nullopt, errno == ENOENT ? 0 : errno};
    Bytes data;
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return {std::nullopt, errno};
        }
        if (n == 0) break;
        data.insert(data.end(), chunk, chunk + n);
        if (data.size() > maxItemSize) return {std::nullopt, EFBIG};
    }
    return {std::move(data), 0};
}

int CredentialStore::write(std::string_view item, ByteView data) const
{
    if (int error = ensureDirectory()) return error;
    const std::string target = path(item);
    std::string temp = (directory_ / ("." + std::string(item) + ".XXXXXX")).string();
    Fd file{::mkostemp(temp.data(), O_CLOEXEC)}; // created 0600
    if (file.fd < 0) return errno;
    int error = writeAll(file.fd, data);
    if (!error && ::fsync(file.fd) != 0) error = errno;
    if (!error && ::close(file.fd) != 0) error = errno;
    file.fd = -1;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        return error;
    }
    // Make the rename itself durable.
    Fd dir{::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) ::fsync(dir.fd);
    return 0;
}

void CredentialStore::remove(std::string_view item) const { ::unlink(path(item).c_str()); }

std::optional<RSAPublicKey> CredentialStore::loadPinnedKey() const
{
    const auto stored = read(tvKeyItem);
    if (!stored.data) return std::nullopt;
    return RSAPublicKey::fromPkcs1(*stored.data);
}

void CredentialStore::storePinnedKey(const std::optional<RSAPublicKey>& key) const
{
    if (!key) {
        remove(tvKeyItem);
        return;
    }
    write(tvKeyItem, key->pkcs1());
}

std::optional<std::string> CredentialStore::loadHost() const
{
    const auto stored = read(tvHostItem);
    if (!stored.data) return std::nullopt;
    std::string host = toString(*stored.data);
    if (!isValidUtf8(host)) return std::nullopt;
    return host;
}

void CredentialStore::storeHost(std::string_view host) const
{
    if (host.empty() || loadHost() == host) return;
    const auto* data = reinterpret_cast<const std::uint8_t*>(host.data());
    write(tvHostItem, ByteView(data, host.size()));
}

} // namespace telvanto::identity
