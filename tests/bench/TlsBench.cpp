// Key generation, and a TLS channel from start to ready against a local server.
#include "identity/ClientIdentity.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "TlsListener.h"

#include <benchmark/benchmark.h>

using namespace telvanto;

namespace {

void identityCreation(benchmark::State& state)
{
    testing::TempDir dir;
    identity::CredentialStore store(dir.path());
    for (auto _ : state) {
        identity::createIdentity(store, "Telvanto bench 0000");
    }
}
BENCHMARK(identityCreation)->Name("Identity/createRSA2048")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(25)->ReportAggregatesOnly();

void channelReady(benchmark::State& state)
{
    testing::TempDir dir;
    identity::CredentialStore serverStore(dir / "server"), clientStore(dir / "client");
    const auto server = identity::loadOrCreateIdentity(serverStore, "server");
    const auto client = identity::loadOrCreateIdentity(clientStore, "client");
    tvsim::TlsListener listener({server, true, {}, QSsl::TlsV1_2OrLater});
    listener.listen(QHostAddress::LocalHost, 0);
    transport::QtScheduler scheduler;
    for (auto _ : state) {
        transport::ChannelPtr channel(new transport::TLSChannel("127.0.0.1", listener.serverPort(), client, server.publicKey(), scheduler));
        bool done = false;
        channel->onEvent = [&](const transport::TLSChannel::Event&) { done = true; };
        channel->start();
        testing::waitUntil([&] { return done; });
    }
}
BENCHMARK(channelReady)->Name("TLSChannel/startToReady")->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(20)->ReportAggregatesOnly();

} // namespace
