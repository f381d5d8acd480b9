// The client identity as the programs meet it: a stored file they cannot use, a clock in
// another decade. Real processes, with loopback only.
#include "Tvsim.h"

using namespace telvanto;
using namespace telvanto::testing;

// An encrypted key made OpenSSL ask for a pass phrase on the terminal and wait for ever. Each
// program runs on a terminal of its own (script), so that anything it asks of "the terminal"
// reaches us. telvanto-cli runs with its clock in 2031: the identity that replaces the
// unreadable one expires in 2051, and its dates read back as those years.
TEST(IdentityPrograms, AnUnreadableIdentityIsReplacedWithoutWaitingForAPassPhrase)
{
    ProgramRun run;
    std::filesystem::copy(identityFolder(1).path(), run.dir / "data");
    const identity::CredentialStore store(run.dir / "data");
    const std::string plain = toString(*store.read(store.identityItem).data);
    ASSERT_EQ(store.write(store.identityItem, toBytes(encryptedKeyPem(plain) + plain.substr(plain.find("-----BEGIN CERTIFICATE")))), 0);
    store.storePinnedKey(identity::RSAPublicKey{fromHex("00c0ffee0123"), fromHex("010001")});
    store.storeHost("127.0.0.1");
    // Sendora takes the identity for none: not paired.
    run.start("script", {"-qec", TELVANTO_BIN_DIR "/sendora --no-gui --remote-port " + QString::number(closedPort()) + " https://a.example", "/dev/null"});
    EXPECT_EQ(run.finish(), 2) << run.out.toStdString();
    const QString pair = TELVANTO_BIN_DIR "/telvanto-cli pair --host 127.0.0.1 --pair-port " + QString::number(closedPort()) + " --code ABCDEF";
    // FAKETIME_DONT_FAKE_MONOTONIC: timers keep running.
    run.start("faketime", {"-f", "2031-03-01 12:00:00", "script", "-qec", pair, "/dev/null"}, "data", {"FAKETIME_DONT_FAKE_MONOTONIC=1"});
    run.finish(); // fails the test if the program waits for a pass phrase
    QProcess openssl;
    openssl.start("openssl", {"x509", "-noout", "-startdate", "-enddate", "-in", QString::fromStdString(run.dir / "data/Telvanto client")});
    ASSERT_TRUE(openssl.waitForFinished());
    EXPECT_EQ(openssl.readAll().toStdString(), "notBefore=Feb 28 12:00:00 2031 GMT\nnotAfter=Feb 24 12:00:00 2051 GMT\n") << run.out.toStdString();
}
