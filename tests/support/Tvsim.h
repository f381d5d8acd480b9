#pragma once

#include "Simulator.h"
#include "identity/PairingSecret.h"
#include "protocol/PairingMsg.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "VirtualScheduler.h"

#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace telvanto::testing {

// A simulated TV on loopback at free ports, keeping its state in stateDir.
inline std::unique_ptr<tvsim::Simulator> startTvsim(const std::filesystem::path& stateDir, core::Scheduler& scheduler)
{
    tvsim::Simulator::Options options;
    options.pairingPort = 0;
    options.remotePort = 0;
    options.stateDir = stateDir;
    auto tv = std::make_unique<tvsim::Simulator>(options, scheduler);
    QString error;
    EXPECT_TRUE(tv->start(&error)) << error.toStdString();
    return tv;
}

// Runs the pairing dialogue with a simulated TV as a remote does, over real TLS, and returns
// the TV's answer to the secret. mistype flips a bit of the secret the TV receives.
inline protocol::PairingMsg::Reply pairWithTvsim(tvsim::Simulator& tv, const identity::ClientIdentity& client,
                                                 bool mistype = false)
{
    using namespace protocol;
    static transport::QtScheduler scheduler;
    transport::ChannelPtr channel(new transport::TLSChannel("127.0.0.1", tv.pairingPort(), client, std::nullopt, scheduler));
    std::vector<PairingMsg::Reply> replies;
    bool ready = false, closed = false;
    channel->onEvent = [&](const transport::Channel::Event& e) {
        if (const auto* m = std::get_if<transport::Channel::Message>(&e)) replies.push_back(PairingMsg::decode(m->payload));
        closed = closed || std::holds_alternative<transport::Channel::Closed>(e);
        ready = ready || std::holds_alternative<transport::Channel::Ready>(e);
    };
    channel->start();
    auto exchange = [&](const Bytes& frame) -> std::optional<PairingMsg::Reply> {
        const std::size_t before = replies.size();
        channel->send(frame);
        if (!waitUntil([&] { return replies.size() > before || closed; }) || replies.size() == before) return std::nullopt;
        return replies.back();
    };
    EXPECT_TRUE(waitUntil([&] { return ready || closed; }));
    if (!exchange(PairingMsg::request("test")) || !exchange(PairingMsg::option()) || !exchange(PairingMsg::configuration())) {
        ADD_FAILURE() << "the pairing dialogue stopped early";
        return PairingMsg::reply::Other{};
    }
    auto secret = identity::pairingSecret(tv.code().toStdString(), client.publicKey(), *channel->serverKey());
    EXPECT_TRUE(secret) << "the code's check byte must match";
    if (!secret) return PairingMsg::reply::Other{};
    if (mistype) (*secret)[5] ^= 1;
    return exchange(PairingMsg::secret(*secret)).value_or(PairingMsg::reply::Other{});
}

// A program run with the data folder dir/data (or another under dir), settings of its own
// and a system bus that does not exist, so nothing leaves loopback.
struct ProgramRun {
    // env: NAME=value to set, NAME alone to remove.
    void start(const QString& program, const QStringList& args, const std::string& data = "data", const QStringList& env = {})
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("TELVANTO_DATA_DIR", QString::fromStdString(dir / data));
        e.insert("TELVANTO_CONFIG_DIR", QString::fromStdString(dir / (data + ".config")));
        e.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/telvanto-test-bus");
        for (const QString& v : env) v.contains('=') ? e.insert(v.section('=', 0, 0), v.section('=', 1)) : e.remove(v);
        process.setProcessEnvironment(e);
        process.start(program, args);
        ASSERT_TRUE(process.waitForStarted());
    }
    bool exited(std::chrono::milliseconds within) { return waitUntil([&] { return process.state() == QProcess::NotRunning; }, within); }
    // The exit status (-1 after a signal or when still running after 20 s); out and err hold what it wrote.
    int finish()
    {
        if (!exited(std::chrono::seconds(20))) {
            ADD_FAILURE() << "still running after 20 s";
            process.kill();
            process.waitForFinished();
        }
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    TempDir dir;
    QProcess process;
    QString out, err;
};

// A port on loopback where nobody listens.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One simulated TV for a whole test, and the programs run against it. virtualPings: the
// TV's pings come only when the test advances `pings`.
struct TvsimRig : ProgramRun {
    explicit TvsimRig(bool virtualPings = false)
        : tv(startTvsim(dir / "tv", virtualPings ? static_cast<core::Scheduler&>(pings) : scheduler))
    {
        QObject::connect(tv.get(), &tvsim::Simulator::received, [this](const QString& what) { received.append(what); });
    }

    // Leaves in dir/name what a finished pairing leaves (the identity is made once).
    void pair(const std::string& name = "client")
    {
        identity::CredentialStore store(dir / name);
        const auto client = identity::loadOrCreateIdentity(store, "desk");
        ASSERT_EQ(pairWithTvsim(*tv, client), protocol::PairingMsg::Reply{protocol::PairingMsg::reply::SecretAck{}});
        store.storePinnedKey(tv->publicKey());
        store.storeHost("127.0.0.1");
        received.clear();
    }

    transport::QtScheduler scheduler;
    VirtualScheduler pings;
    std::unique_ptr<tvsim::Simulator> tv;
    QStringList received; // by the TV, as its log names them
};

} // namespace telvanto::testing
