// Key latency at the TV: from TVController::send to tvsim logging the key, with tvsim in a
// process of its own, over 1 000 presses one after another.
#include "platform/Settings.h"
#include "protocol/RemoteMsg.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/TVController.h"
#include "EventLog.h"

#include "EventLoop.h"
#include "FakePlatform.h"
#include "TempDir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <benchmark/benchmark.h>

using namespace telvanto;

namespace {

void keyLatency(benchmark::State& state)
{
    testing::TempDir dir;
    QProcess tvsimProcess;
    QByteArray output;
    std::vector<qint64> keyTimes; // the TV's monotonic microseconds for each key received
    QString code;
    quint16 pairPort = 0, remotePort = 0;
    QObject::connect(&tvsimProcess, &QProcess::readyReadStandardOutput, [&] {
        output += tvsimProcess.readAllStandardOutput();
        for (qsizetype end; (end = output.indexOf('\n')) >= 0;) {
            const QByteArray line = output.left(end);
            output.remove(0, end + 1);
            if (line.startsWith("code ")) code = QString::fromLatin1(line.mid(5));
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry["event"] == "started") pairPort = quint16(entry["pairingPort"].toInt()), remotePort = quint16(entry["remotePort"].toInt());
            if (entry["msg"] == "key" && entry["dir"] == "in") keyTimes.push_back(entry["t"].toInteger());
        }
    });
    tvsimProcess.start(QStringLiteral(TELVANTO_BIN_DIR "/tvsim"),
                       {"--pair-port", "0", "--remote-port", "0", "--state-dir", QString::fromStdString(dir / "tv"), "--log", "-"});
    if (!testing::waitUntil([&] { return remotePort != 0; })) {
        state.SkipWithError("tvsim did not start");
        return;
    }

    transport::QtScheduler scheduler;
    transport::TLSChannelFactory channels(scheduler);
    identity::CredentialStore store(dir / "client");
    platform::Settings settings(QString::fromStdString(dir / "telvanto.conf"));
    tv::NullTVLookup lookup;
    testing::FakeNetworkMonitor network;
    testing::FakeDirectoryWatcher credentialWatch;
    tv::TVController controller(scheduler, channels, store, settings, lookup, network, credentialWatch, "bench",
                                {pairPort, remotePort});
    controller.selectTV("TV", "127.0.0.1");
    controller.startPairing();
    testing::waitUntil([&] { return !code.isEmpty(); });
    controller.submitCode(code);
    if (!testing::waitUntil([&] { return controller.status().is(tv::TVController::Status::Case::connected); })) {
        state.SkipWithError("no connection to tvsim");
        return;
    }

    constexpr int presses = 1000;
    std::vector<double> latencies;
    for (auto _ : state) {
        latencies.clear();
        keyTimes.clear();
        for (int i = 0; i < presses; ++i) {
            const qint64 sent = tvsim::EventLog::monotonicMicroseconds();
            controller.send(protocol::RemoteMsg::key(i % 2 ? protocol::TVKey::left : protocol::TVKey::right));
            if (!testing::waitUntil([&] { return keyTimes.size() == static_cast<std::size_t>(i + 1); })) {
                state.SkipWithError("a key did not arrive");
                return;
            }
            latencies.push_back(static_cast<double>(keyTimes.back() - sent));
        }
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    tvsimProcess.kill();
    tvsimProcess.waitForFinished();
}
BENCHMARK(keyLatency)->Name("TVController/keyLatencyAtTheTV/1000presses")->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
