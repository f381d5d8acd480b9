// sendora, the program, against the simulated TV over real TLS.
#include "Simulator.h"
#include "identity/ClientIdentity.h"
#include "linksender/LinkSender.h"
#include "transport/QtScheduler.h"

#include "EventLoop.h"
#include "Tvsim.h"
#include "TempDir.h"

#include <QElapsedTimer>
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

    // Runs sendora --no-gui with the items; returns its exit status.
    int sendora(const QStringList& items)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TELVANTO_DATA_DIR", QString::fromStdString(dir / "client"));
        process.setProcessEnvironment(env);
        clock.start();
        process.start(QStringLiteral(TELVANTO_BIN_DIR "/sendora"),
                      QStringList{"--no-gui", "--remote-port", QString::number(tv->remotePort())} + items);
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
