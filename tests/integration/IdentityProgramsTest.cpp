// The client identity as the programs meet it: a stored file they cannot use, a clock in
// another decade. Real processes, on a pseudo-terminal of their own, with loopback only.
#include "identity/ClientIdentity.h"

#include "TempDir.h"
#include "TestIdentities.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/x509.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace telvanto;
using telvanto::testing::TempDir;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    bool ended = false; // within the limit
    int status = -1;    // exit status, or -1 after a signal
    std::string output; // what it wrote on its terminal
};

// Runs the program on a new pseudo-terminal, so that anything it asks of "the terminal"
// reaches us, and stops it with SIGKILL when it outlives the limit.
Outcome runOnTerminal(const std::vector<std::string>& argv, const std::vector<std::string>& env, std::chrono::milliseconds limit)
{
    std::vector<char*> args, vars;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& v : env) vars.push_back(const_cast<char*>(v.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);

    Outcome outcome;
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) {
        ADD_FAILURE() << "forkpty: " << std::strerror(errno);
        return outcome;
    }
    if (pid == 0) {
        ::execve(args[0], args.data(), vars.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{terminal, POLLIN, 0};
        if (left <= 0ms || ::poll(&p, 1, static_cast<int>(left.count())) == 0) break; // still running: stuck
        char buffer[4096];
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n <= 0) { // EIO: the program and everything it started let go of the terminal
            outcome.ended = true;
            break;
        }
        outcome.output.append(buffer, static_cast<std::size_t>(n));
    }
    if (!outcome.ended) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// A loopback port where nothing listens: connections to it are refused at once.
struct ClosedPort {
    ClosedPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~ClosedPort() { ::close(fd); }
    int fd = -1;
    std::uint16_t port = 0;
};

// The environment of a user whose credentials and settings live in dir.
std::vector<std::string> userEnvironment(const TempDir& dir)
{
    return {"HOME=" + dir.path().string(), "PATH=/usr/bin:/bin", "TELVANTO_DATA_DIR=" + (dir / "data").string(),
            "TELVANTO_CONFIG_DIR=" + (dir / "config").string(), "LANG=C.UTF-8"};
}

std::string program(const char* name) { return std::string(TELVANTO_BIN_DIR "/") + name; }

// The stored identity with its key encrypted under a pass phrase.
std::string encryptedIdentity()
{
    TempDir made;
    const identity::CredentialStore store(made.path());
    identity::createIdentity(store, "Telvanto test");
    const std::string stored = toString(*store.read(identity::CredentialStore::identityItem).data);
    return telvanto::testing::encryptedKeyPem(stored, true) + stored.substr(stored.find("-----BEGIN CERTIFICATE"));
}

struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};

} // namespace

// An encrypted key made OpenSSL ask for a pass phrase on the terminal and wait for ever.
// Sendora treats such an identity as absent (not paired); telvanto-cli replaces it.
TEST(IdentityPrograms, AnEncryptedKeyNeverWaitsForAPassPhrase)
{
    const std::string stored = encryptedIdentity();
    ClosedPort closed;
    const struct {
        const char* name;
        std::vector<std::string> argv;
        int status; // -1: any
        const char* says;
        bool replaces; // leaves a readable identity of its own
    } rows[] = {
        {"sendora", {program("sendora"), "--no-gui", "--remote-port", std::to_string(closed.port), "https://a.example"}, 2,
         "Najprv otvor Telvanto a spáruj ho s TV.", false},
        {"telvanto-cli pair", {program("telvanto-cli"), "pair", "--host", "127.0.0.1", "--pair-port", std::to_string(closed.port), "--code", "ABCDEF"},
         -1, "", true},
    };
    for (const auto& row : rows) {
        TempDir dir;
        identity::CredentialStore store(dir / "data");
        ASSERT_EQ(store.write(identity::CredentialStore::identityItem, toBytes(stored)), 0);
        store.storePinnedKey(identity::RSAPublicKey{fromHex("00c0ffee0123"), fromHex("010001")});
        store.storeHost("127.0.0.1");

        const Outcome outcome = runOnTerminal(row.argv, userEnvironment(dir), 20s);
        EXPECT_TRUE(outcome.ended) << row.name << " is stuck; it said: " << outcome.output;
        EXPECT_EQ(outcome.output.find("pass phrase"), std::string::npos) << row.name << ": " << outcome.output;
        if (row.status >= 0) {
            EXPECT_EQ(outcome.status, row.status) << row.name << ": " << outcome.output;
        }
        EXPECT_NE(outcome.output.find(row.says), std::string::npos) << row.name << ": " << outcome.output;
        EXPECT_EQ(std::holds_alternative<identity::findResult::Found>(identity::findIdentity(store)), row.replaces) << row.name;
    }
}

// The identity a program makes carries validity dates that read back as the same years,
// whatever the year it is made in.
TEST(IdentityPrograms, CertificatesMadeInLaterDecadesStayValid)
{
    ClosedPort closed;
    const struct {
        const char* now;
        const char* notBefore; // as openssl prints them
        const char* notAfter;
        int notAfterType;
    } rows[] = {
        {"2026-06-01 12:00:00", "May 31 12:00:00 2026 GMT", "May 27 12:00:00 2046 GMT", V_ASN1_UTCTIME},
        {"2031-03-01 12:00:00", "Feb 28 12:00:00 2031 GMT", "Feb 24 12:00:00 2051 GMT", V_ASN1_GENERALIZEDTIME},
        {"2051-03-01 12:00:00", "Feb 28 12:00:00 2051 GMT", "Feb 24 12:00:00 2071 GMT", V_ASN1_GENERALIZEDTIME},
    };
    for (const auto& row : rows) {
        TempDir dir;
        std::vector<std::string> env = userEnvironment(dir);
        env.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1"); // timers keep running
        const Outcome outcome = runOnTerminal({"/usr/bin/faketime", "-f", row.now, program("telvanto-cli"), "pair", "--host", "127.0.0.1",
                                               "--pair-port", std::to_string(closed.port), "--code", "ABCDEF"},
                                              env, 20s);
        ASSERT_TRUE(outcome.ended) << row.now << ": " << outcome.output;

        const auto file = dir / "data/Telvanto client";
        std::string dates;
        if (FILE* pipe = ::popen(("openssl x509 -noout -startdate -enddate -in '" + file.string() + "' 2>&1").c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) dates += buffer;
            ::pclose(pipe);
        }
        EXPECT_EQ(dates, std::string("notBefore=") + row.notBefore + "\nnotAfter=" + row.notAfter + "\n") << row.now;

        const auto found = identity::findIdentity(identity::CredentialStore(dir / "data"));
        ASSERT_TRUE(std::holds_alternative<identity::findResult::Found>(found)) << row.now;
        const Bytes& der = std::get<identity::findResult::Found>(found).identity.certificateDer;
        const unsigned char* p = der.data();
        const std::unique_ptr<X509, X509Free> cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
        ASSERT_TRUE(cert);
        EXPECT_EQ(ASN1_STRING_type(X509_get0_notAfter(cert.get())), row.notAfterType) << row.now;
    }
}
