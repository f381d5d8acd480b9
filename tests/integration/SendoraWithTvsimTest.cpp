// sendora, the program, against the simulated TV over real TLS.
#include "Simulator.h"
#include "identity/ClientIdentity.h"
#include "linksender/LinkSender.h"
#include "transport/QtScheduler.h"

#include "EventLoop.h"
#include "Tvsim.h"
#include "TempDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace telvanto;
using telvanto::testing::waitUntil;

namespace {

struct Rig {
    Rig() : tv(telvanto::testing::startTvsim(dir / "tv", scheduler))
    {
        QObject::connect(tv.get(), &tvsim::Simulator::received, [this](const QString& what) {
            received.append(what);
            if (what.startsWith("appLink")) linkArrived = clock.elapsed();
        });
    }

    void pair()
    {
        identity::CredentialStore store(dir / "client");
        const auto client = identity::loadOrCreateIdentity(store, "desk");
        ASSERT_EQ(telvanto::testing::pairWithTvsim(*tv, client), protocol::PairingMsg::Reply{protocol::PairingMsg::reply::SecretAck{}});
        store.storePinnedKey(tv->publicKey());
        store.storeHost("127.0.0.1");
        received.clear();
    }

    // Runs sendora with the items (--no-gui unless a display is given); returns its exit
    // status. display: the variables that say where windows go, all others unset.
    int sendora(const QStringList& items, std::optional<QStringList> display = std::nullopt)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TELVANTO_DATA_DIR", QString::fromStdString(dir / "client"));
        QStringList options{"--no-gui"};
        if (display) {
            options.clear();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
            for (const QString& setting : *display) env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        process.setProcessEnvironment(env);
        clock.start();
        process.start(QStringLiteral(TELVANTO_BIN_DIR "/sendora"),
                      options + QStringList{"--remote-port", QString::number(tv->remotePort())} + items);
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(20)));
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    telvanto::testing::TempDir dir;
    transport::QtScheduler scheduler;
    std::unique_ptr<tvsim::Simulator> tv;
    QStringList received;
    QString out, err;
    QElapsedTimer clock;
    qint64 linkArrived = -1;
};

QString text(linksender::LinkSender::Failure failure)
{
    const auto t = linksender::LinkSender::description(failure);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

} // namespace

TEST(SendoraWithTvsim, TheTvWakesAndOpensExactlyTheLink)
{
    Rig rig;
    rig.pair();
    EXPECT_EQ(rig.sendora({"Pozri toto: https://example.com/článok?id=7, je dobré."}), 0) << rig.err.toStdString();
    const QStringList expected{"configure", "setActive", "key wakeUp", "appLink https://example.com/%C4%8Dl%C3%A1nok?id=7"};
    EXPECT_EQ(rig.received, expected);
    EXPECT_EQ(rig.tv->foregroundApp(), "com.android.chrome");
    std::printf("figure: sendora start to the TV receiving the link: %lld ms\n", static_cast<long long>(rig.linkArrived));
}

TEST(SendoraWithTvsim, StoppedTvIsUnreachable)
{
    Rig rig;
    rig.pair();
    rig.tv->runCommand("refuse on");
    EXPECT_EQ(rig.sendora({"https://example.com"}), 3);
    EXPECT_TRUE(rig.err.contains(text(linksender::LinkSender::Failure::unreachable))) << rig.err.toStdString();
}

TEST(SendoraWithTvsim, WithoutPairingNothingIsTried)
{
    Rig rig;
    EXPECT_EQ(rig.sendora({"https://example.com"}), 2);
    EXPECT_TRUE(rig.err.contains(text(linksender::LinkSender::Failure::notPaired))) << rig.err.toStdString();
    EXPECT_TRUE(rig.received.isEmpty());
}

// The TV no longer takes our certificate, or another TV answers at the address: pairing
// again is what helps, not checking the Wi-Fi.
TEST(SendoraWithTvsim, ATvThatRefusesUsAsksForPairing)
{
    for (const char* change : {"forget", "new-identity"}) {
        SCOPED_TRACE(change);
        Rig rig;
        rig.pair();
        rig.tv->runCommand(change);
        EXPECT_EQ(rig.sendora({"https://example.com"}), 2);
        EXPECT_EQ(rig.err, text(linksender::LinkSender::Failure::notPaired) + "\n");
        EXPECT_TRUE(rig.received.isEmpty()) << rig.received.join(", ").toStdString();
    }
}

namespace {

// An X display number nobody serves here.
QString silentDisplay()
{
    for (int n = 4200;; ++n) {
        if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) && !QFile::exists(QString("/tmp/.X%1-lock").arg(n))) {
            return QString("DISPLAY=:%1").arg(n);
        }
    }
}

} // namespace

// Without a display that answers, the sheet cannot show: the outcome goes to the terminal;
// the clipboard cannot be read, which is a usage error. Never an abort.
TEST(SendoraWithTvsim, WithoutADisplayTheOutcomeGoesToTheTerminal)
{
    const struct {
        const char* name;
        bool paired;
        QStringList display;
        QStringList args;
        int exit;
        QString out, err;
    } rows[] = {
        {"no display", true, {}, {"https://example.com"}, 0, QString::fromUtf8("Beží na TV\n"), ""},
        {"no display, not paired", false, {}, {"https://example.com"}, 2, "", text(linksender::LinkSender::Failure::notPaired)},
        {"no display, clipboard", true, {}, {"--clipboard"}, 64, "", "sendora: no display, so there is no clipboard to read"},
        {"X platform asked, no display", false, {"QT_QPA_PLATFORM=xcb"}, {"https://example.com"}, 2, "",
         text(linksender::LinkSender::Failure::notPaired)},
        {"a Wayland session, no display", false, {"XDG_SESSION_TYPE=wayland"}, {"https://example.com"}, 2, "",
         text(linksender::LinkSender::Failure::notPaired)},
        {"a display nobody serves", true, {silentDisplay()}, {"https://example.com"}, 0, QString::fromUtf8("Beží na TV\n"), ""},
        {"a display nobody serves, clipboard", true, {silentDisplay()}, {"--clipboard", "x"}, 64, "",
         "sendora: no display, so there is no clipboard to read"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        if (row.paired) rig.pair();
        EXPECT_EQ(rig.sendora(row.args, row.display), row.exit) << rig.err.toStdString();
        EXPECT_EQ(rig.out, row.out);
        EXPECT_TRUE(row.err.isEmpty() ? !rig.err.contains("sendora") : rig.err.contains(row.err)) << rig.err.toStdString();
        EXPECT_FALSE(rig.err.contains("qt.qpa")) << rig.err.toStdString();
    }
}
