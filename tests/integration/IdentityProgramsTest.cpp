// The client identity as a program meets it: a stored file it cannot use, a clock in another
// decade. A real process, with loopback only.
#include "Tvsim.h"

#include <QSslCertificate>

using namespace telvanto;
using namespace telvanto::testing;

// An encrypted key made OpenSSL ask for a pass phrase on the terminal and wait for ever (the
// reader is the one every program shares). telvanto-cli runs on a terminal of its own (script),
// so that anything it asks of "the terminal" reaches us, with its clock in 2031: the identity
// that replaces the unreadable one expires in 2051, and its dates read back as those years.
TEST(IdentityPrograms, AnUnreadableIdentityIsReplacedWithoutWaitingForAPassPhrase)
{
    ProgramRun run;
    std::filesystem::copy(identityFolder(1).path(), run.dir / "data");
    const identity::CredentialStore store(run.dir / "data");
    const std::string plain = toString(*store.read(store.identityItem).data);
    ASSERT_EQ(store.write(store.identityItem, toBytes(encryptedKeyPem(plain) + plain.substr(plain.find("-----BEGIN CERTIFICATE")))), 0);
    const QString pair = TELVANTO_BIN_DIR "/telvanto-cli pair --host 127.0.0.1 --pair-port 9 --code ABCDEF"; // nobody listens there
    // FAKETIME_DONT_FAKE_MONOTONIC: timers keep running.
    run.start("faketime", {"-f", "2031-03-01 12:00:00", "script", "-qec", pair, "/dev/null"}, "data", {"FAKETIME_DONT_FAKE_MONOTONIC=1"});
    run.finish(); // fails the test if the program waits for a pass phrase
    const QSslCertificate made = QSslCertificate::fromPath(QString::fromStdString(run.dir / "data/Telvanto client")).value(0);
    EXPECT_EQ(made.effectiveDate().toString(Qt::ISODate) + " " + made.expiryDate().toString(Qt::ISODate), "2031-02-28T12:00:00Z 2051-02-24T12:00:00Z");
}
