#pragma once

#include "Simulator.h"
#include "identity/PairingSecret.h"
#include "protocol/PairingMsg.h"
#include "protocol/RemoteMsg.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "TestIdentities.h"
#include "VirtualScheduler.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace telvanto::testing {

inline transport::QtScheduler& qtScheduler() { static transport::QtScheduler scheduler; return scheduler; }

// A simulated TV on loopback at free ports, keeping its state in stateDir.
inline std::unique_ptr<tvsim::Simulator> startTvsim(const std::filesystem::path& stateDir, core::Scheduler& scheduler)
{
    tvsim::Simulator::Options options;
    options.pairingPort = options.remotePort = 0;
    options.stateDir = stateDir;
    auto tv = std::make_unique<tvsim::Simulator>(options, scheduler);
    QString error;
    EXPECT_TRUE(tv->start(&error)) << error.toStdString();
    return tv;
}

// Our TLS channel to a loopback port, keeping its events in words ("ready", "closed tls") and
// the messages it gets. A remote (`answers`) answers the TV's configure, setActive and pings.
struct Peer {
    Peer(quint16 port, const identity::ClientIdentity& client, std::optional<identity::RSAPublicKey> pin, bool answers = false,
         bool start = true, core::Scheduler& scheduler = qtScheduler())
        : tls(new transport::TLSChannel("127.0.0.1", port, client, std::move(pin), scheduler)), channel(tls)
    {
        channel->onEvent = [this, answers](const transport::Channel::Event& e) {
            namespace in = protocol::RemoteMsg::in;
            const char* kinds[] = {" connection", " tls", " oversized", " io"};
            if (const auto* c = std::get_if<transport::Channel::Closed>(&e)) said.push_back(std::string("closed") + (c->error ? kinds[int(c->error->kind)] : ""));
            if (std::holds_alternative<transport::Channel::Ready>(e)) said.push_back("ready");
            const auto* m = std::get_if<transport::Channel::Message>(&e);
            if (!m) return;
            messages.push_back(m->payload);
            remote.push_back(protocol::RemoteMsg::decode(m->payload));
            if (!answers) return;
            if (std::holds_alternative<in::Configure>(remote.back())) channel->send(protocol::RemoteMsg::configure(615));
            if (std::holds_alternative<in::SetActive>(remote.back())) channel->send(protocol::RemoteMsg::setActive(615));
            if (const auto* p = std::get_if<in::Ping>(&remote.back())) channel->send(protocol::RemoteMsg::pingResponse(p->value));
        };
        if (start) channel->start();
    }
    bool closed() const { return !said.empty() && said.back().starts_with("closed"); }
    bool ends() { return waitUntil([&] { return closed(); }); }
    template <class T> bool got() const { return std::ranges::any_of(remote, [](const auto& m) { return std::holds_alternative<T>(m); }); }
    template <class T> bool gets() { return waitUntil([&] { return got<T>() || closed(); }) && got<T>(); }
    // Sends a frame and returns the next message (empty when the channel closes first).
    Bytes ask(const Bytes& frame)
    {
        const std::size_t before = messages.size();
        channel->send(frame);
        return waitUntil([&] { return messages.size() > before || closed(); }) && messages.size() > before ? messages[before] : Bytes{};
    }

    transport::TLSChannel* tls;
    transport::ChannelPtr channel;
    std::vector<std::string> said;
    std::vector<Bytes> messages;
    std::vector<protocol::RemoteMsg::Incoming> remote; // the messages read as the remote protocol
};

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
        process.setProcessEnvironment(e), process.start(program, args);
        ASSERT_TRUE(process.waitForStarted());
    }
    bool exited(std::chrono::milliseconds within) { return waitUntil([&] { return process.state() == QProcess::NotRunning; }, within); }
    // The exit status (-1 after a signal or when still running after 20 s); out and err hold what it wrote.
    int finish()
    {
        if (!exited(std::chrono::seconds(20))) ADD_FAILURE() << "still running after 20 s", process.kill(), process.waitForFinished();
        out = QString::fromUtf8(process.readAllStandardOutput()), err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    TempDir dir;
    QProcess process;
    QString out, err;
};

// One simulated TV for a whole test, and the programs run against it. virtualPings: the
// TV's pings come only when the test advances `pings`.
struct TvsimRig : ProgramRun {
    explicit TvsimRig(bool virtualPings = false) : tv(startTvsim(dir / "tv", virtualPings ? static_cast<core::Scheduler&>(pings) : qtScheduler()))
    {
        QObject::connect(tv.get(), &tvsim::Simulator::received, [this](const QString& what) { received.append(what); });
    }

    // Runs the pairing dialogue with testIdentity(1) as a remote does, over real TLS, and leaves
    // in dir/client what a finished pairing leaves.
    void pair()
    {
        using namespace protocol;
        Peer peer(tv->pairingPort(), testIdentity(1), std::nullopt);
        for (const Bytes& frame : {PairingMsg::request("test"), PairingMsg::option(), PairingMsg::configuration()})
            ASSERT_FALSE(peer.ask(frame).empty()) << "the pairing dialogue stopped early";
        const auto secret = identity::pairingSecret(tv->code().toStdString(), testIdentity(1).publicKey(), *peer.channel->serverKey());
        ASSERT_TRUE(secret) << "the code's check byte must match";
        ASSERT_EQ(PairingMsg::decode(peer.ask(PairingMsg::secret(*secret))), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});
        if (!std::filesystem::exists(dir / "client")) std::filesystem::copy(identityFolder(1).path(), dir / "client");
        const identity::CredentialStore store(dir / "client");
        store.storePinnedKey(tv->publicKey()), store.storeHost("127.0.0.1"), received.clear();
    }

    VirtualScheduler pings;
    std::unique_ptr<tvsim::Simulator> tv;
    QStringList received; // by the TV, as its log names them
};

} // namespace telvanto::testing
