// The client identity as the programs meet it: a stored file they cannot use, a clock in
// another decade. Real processes, with loopback only.
#include "Tvsim.h"

using namespace telvanto;
using namespace telvanto::testing;
using Item = identity::CredentialStore;

namespace {
const QString bin = TELVANTO_BIN_DIR "/";
bool found(const Item& store) { return std::holds_alternative<identity::findResult::Found>(identity::findIdentity(store)); }
} // namespace

// An encrypted key made OpenSSL ask for a pass phrase on the terminal and wait for ever.
// Sendora treats such an identity as absent (not paired); telvanto-cli replaces it. Each runs
// on a terminal of its own (script), so that anything it asks of "the terminal" reaches us.
TEST(IdentityPrograms, AnEncryptedKeyNeverWaitsForAPassPhrase)
{
    const QString port = QString::number(closedPort());
    const std::tuple<QString, int, const char*> rows[] = { // command, exit status (-1: any), what it says; telvanto-cli replaces the identity
        {"sendora --no-gui --remote-port " + port + " https://a.example", 2, "Najprv otvor Telvanto a spáruj ho s TV."},
        {"telvanto-cli pair --host 127.0.0.1 --pair-port " + port + " --code ABCDEF", -1, ""},
    };
    for (const auto& [command, exit, says] : rows) {
        SCOPED_TRACE(command.toStdString());
        ProgramRun run;
        std::filesystem::copy(identityFolder(1).path(), run.dir / "data");
        const Item store(run.dir / "data");
        const std::string plain = toString(*store.read(Item::identityItem).data);
        ASSERT_EQ(store.write(Item::identityItem, toBytes(encryptedKeyPem(plain, true) + plain.substr(plain.find("-----BEGIN CERTIFICATE")))), 0);
        store.storePinnedKey(identity::RSAPublicKey{fromHex("00c0ffee0123"), fromHex("010001")});
        store.storeHost("127.0.0.1");
        run.start("script", {"-qec", bin + command, "/dev/null"});
        const int status = run.finish();
        EXPECT_FALSE(run.out.contains("pass phrase")) << run.out.toStdString();
        if (exit >= 0) { EXPECT_EQ(status, exit) << run.out.toStdString(); }
        EXPECT_TRUE(run.out.contains(QString::fromUtf8(says))) << run.out.toStdString();
        EXPECT_EQ(found(store), command.startsWith("telvanto-cli"));
    }
}

// The identity a program makes carries validity dates that read back as the same years,
// whatever the year it is made in.
TEST(IdentityPrograms, CertificatesMadeInLaterDecadesStayValid)
{
    const QString port = QString::number(closedPort());
    const std::pair<const char*, const char*> rows[] = { // now, the dates as openssl prints them
        {"2026-06-01 12:00:00", "notBefore=May 31 12:00:00 2026 GMT\nnotAfter=May 27 12:00:00 2046 GMT\n"},
        {"2031-03-01 12:00:00", "notBefore=Feb 28 12:00:00 2031 GMT\nnotAfter=Feb 24 12:00:00 2051 GMT\n"},
        {"2051-03-01 12:00:00", "notBefore=Feb 28 12:00:00 2051 GMT\nnotAfter=Feb 24 12:00:00 2071 GMT\n"},
    };
    for (const auto& [now, dates] : rows) {
        SCOPED_TRACE(now);
        ProgramRun run; // FAKETIME_DONT_FAKE_MONOTONIC: timers keep running
        run.start("faketime", {"-f", now, bin + "telvanto-cli", "pair", "--host", "127.0.0.1", "--pair-port", port, "--code", "ABCDEF"}, "data",
                  {"FAKETIME_DONT_FAKE_MONOTONIC=1"});
        run.finish();
        QProcess openssl;
        openssl.start("openssl", {"x509", "-noout", "-startdate", "-enddate", "-in", QString::fromStdString(run.dir / "data/Telvanto client")});
        ASSERT_TRUE(openssl.waitForFinished() && found(Item(run.dir / "data")));
        EXPECT_EQ(openssl.readAll().toStdString(), dates);
    }
}
