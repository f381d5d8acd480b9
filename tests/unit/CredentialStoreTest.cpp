#include "identity/CredentialStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace telvanto;
using namespace telvanto::identity;
using telvanto::testing::TempDir;

namespace {

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

ino_t inodeOf(const std::filesystem::path& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

void writeRaw(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

const RSAPublicKey sampleKey{fromHex("00c0ffee0123"), fromHex("010001")};

} // namespace

TEST(CredentialStore, DirectoryAndFilesArePrivate)
{
    TempDir temp;
    const auto dir = temp / "nested/telvanto";
    CredentialStore store(dir);
    store.storeHost("192.168.1.20");
    store.storePinnedKey(sampleKey);
    EXPECT_EQ(modeOf(dir), 0700u);
    EXPECT_EQ(modeOf(dir / "com.korbith.telvanto.tvhost"), 0600u);
    EXPECT_EQ(modeOf(dir / "com.korbith.telvanto.tvkey"), 0600u);

    // A directory that already existed with wider rights is narrowed.
    const auto loose = temp / "loose";
    std::filesystem::create_directory(loose);
    ::chmod(loose.c_str(), 0755);
    CredentialStore(loose).storeHost("tv.local");
    EXPECT_EQ(modeOf(loose), 0700u);
}

TEST(CredentialStore, PinnedKeyRoundTripAndDeletion)
{
    TempDir temp;
    CredentialStore store(temp.path());
    EXPECT_EQ(store.loadPinnedKey(), std::nullopt);
    store.storePinnedKey(sampleKey);
    EXPECT_EQ(store.loadPinnedKey(), sampleKey);
    EXPECT_EQ(toHex(*store.read(CredentialStore::tvKeyItem).data), toHex(sampleKey.pkcs1()));
    store.storePinnedKey(std::nullopt);
    EXPECT_EQ(store.loadPinnedKey(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(temp / "com.korbith.telvanto.tvkey"));
}

TEST(CredentialStore, UnreadableContentReadsAsNone)
{
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty", ""},
        {"text", "not a key"},
        {"one integer", std::string("\x30\x03\x02\x01\x05", 5)},
        {"cut key", toString(ByteView(sampleKey.pkcs1()).first(6))},
    };
    for (const auto& c : cases) {
        TempDir temp;
        writeRaw(temp / "com.korbith.telvanto.tvkey", c.content);
        EXPECT_EQ(CredentialStore(temp.path()).loadPinnedKey(), std::nullopt) << c.name;
    }
    TempDir temp;
    writeRaw(temp / "com.korbith.telvanto.tvhost", "\xff\xfe");
    EXPECT_EQ(CredentialStore(temp.path()).loadHost(), std::nullopt);
    writeRaw(temp / "com.korbith.telvanto.tvhost", std::string(CredentialStore::maxItemSize + 1, 'a'));
    EXPECT_EQ(CredentialStore(temp.path()).loadHost(), std::nullopt);
}

TEST(CredentialStore, HostWritesOnlyWhenItChanges)
{
    TempDir temp;
    CredentialStore store(temp.path());
    const auto file = temp / "com.korbith.telvanto.tvhost";

    store.storeHost("");
    EXPECT_FALSE(std::filesystem::exists(file));

    store.storeHost("192.168.1.20");
    EXPECT_EQ(store.loadHost(), "192.168.1.20");
    const ino_t first = inodeOf(file);

    store.storeHost("192.168.1.20"); // the same host: no write, the file stays the same file
    EXPECT_EQ(inodeOf(file), first);
    store.storeHost(""); // empty never overwrites
    EXPECT_EQ(store.loadHost(), "192.168.1.20");

    store.storeHost("obývačka.local");
    EXPECT_EQ(store.loadHost(), "obývačka.local");
    EXPECT_NE(inodeOf(file), first);
}

TEST(CredentialStore, FailedWriteLeavesThePreviousContentWhole)
{
    TempDir temp;
    CredentialStore store(temp.path());
    store.storePinnedKey(sampleKey);

    // Make the write itself fail part-way: files may not grow beyond 64 bytes.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int error = store.write(CredentialStore::tvKeyItem, Bytes(4096, 0x30));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(store.loadPinnedKey(), sampleKey);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp.path())) ++files;
    EXPECT_EQ(files, 1u) << "a temporary file was left behind";
}

TEST(CredentialStore, DefaultDirectoryFollowsTheEnvironment)
{
    const struct {
        const char* dataDir;
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/tmp/profile2", "/x", "/home/a", "/tmp/profile2"},
        {nullptr, "/x/data", "/home/a", "/x/data/telvanto"},
        {nullptr, "relative", "/home/a", "/home/a/.local/share/telvanto"},
        {nullptr, nullptr, "/home/a", "/home/a/.local/share/telvanto"},
        {"", "", "/home/b", "/home/b/.local/share/telvanto"},
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    auto set = [](const char* name, const char* value) {
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    };
    for (const auto& c : cases) {
        set("TELVANTO_DATA_DIR", c.dataDir);
        set("XDG_DATA_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(CredentialStore::defaultDirectory(), c.expected);
    }
    ::unsetenv("TELVANTO_DATA_DIR");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}
