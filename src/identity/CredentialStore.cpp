#include "identity/CredentialStore.h"

#include "core/Utf8.h"

#include <algorithm>
#include <utility>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
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

void syncDirectory(const std::filesystem::path& directory)
{
    Fd dir{::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) ::fsync(dir.fd);
}

// The name write() gives its temporary files: "." + item + "." + six random characters.
bool isTemporaryName(const std::string& name)
{
    constexpr std::size_t suffix = 6;
    if (name.size() < suffix + 3 || name.front() != '.' || name[name.size() - suffix - 1] != '.') return false;
    return std::all_of(name.end() - suffix, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Removes temporary files that no writer holds: leftovers of a writer that died before its
// rename. A live writer keeps its file locked from just after creating it until the rename.
void removeStaleTemporaries(const std::filesystem::path& directory)
{
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(directory, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        const std::filesystem::directory_entry& entry = *it;
        if (!isTemporaryName(entry.path().filename().string())) continue;
        Fd file{::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)};
        struct stat held {}, named {};
        if (file.fd < 0 || ::fstat(file.fd, &held) != 0 || !S_ISREG(held.st_mode)) continue;
        if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) continue;
        // Still the file we locked, not one renamed into its place meanwhile.
        if (::lstat(entry.path().c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev) {
            ::unlink(entry.path().c_str());
        }
    }
}

// A new temporary file for the item, created 0600 and locked; -1 with errno on failure.
int createTemporary(const std::filesystem::path& directory, std::string_view item, std::string& name)
{
    // A clean-up by another writer may take the file in the instant before it is locked;
    // then it is gone, and another name is drawn.
    for (int attempt = 0; attempt < 4; ++attempt) {
        name = (directory / ("." + std::string(item) + ".XXXXXX")).string();
        Fd file{::mkostemp(name.data(), O_CLOEXEC)};
        if (file.fd < 0) return -1;
        struct stat st {};
        if (::flock(file.fd, LOCK_EX) != 0 || ::fstat(file.fd, &st) != 0) {
            const int error = errno;
            ::unlink(name.c_str());
            errno = error;
            return -1;
        }
        if (st.st_nlink > 0) return std::exchange(file.fd, -1);
    }
    errno = EAGAIN;
    return -1;
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
    // Not blocking: a pipe put where an item belongs must not stop the program.
    Fd file{::open(path(item).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) return {std::nullopt, errno == ENOENT ? 0 : errno};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) return {std::nullopt, errno};
    if (S_ISDIR(st.st_mode)) return {std::nullopt, EISDIR};
    if (!S_ISREG(st.st_mode)) return {}; // not an item of ours
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
        if (data.size() > maxItemSize) return {}; // not ours: reads as absent
    }
    return {std::move(data), 0};
}

int CredentialStore::write(std::string_view item, ByteView data) const
{
    if (int error = ensureDirectory()) return error;
    const std::string target = path(item);
    removeStaleTemporaries(directory_);
    std::string temp;
    Fd file{createTemporary(directory_, item, temp)};
    if (file.fd < 0) return errno;
    int error = writeAll(file.fd, data);
    if (!error && ::fsync(file.fd) != 0) error = errno;
    // Renamed while still open: closing drops the lock that keeps other writers' clean-up
    // away. After fsync, close has nothing left to report.
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    ::close(std::exchange(file.fd, -1));
    if (error) {
        ::unlink(temp.c_str());
        return error;
    }
    syncDirectory(directory_); // makes the rename itself durable
    return 0;
}

void CredentialStore::remove(std::string_view item) const
{
    if (::unlink(path(item).c_str()) == 0) syncDirectory(directory_);
}

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
