// tvsim: a simulated Android TV for trying Telvanto without a TV, and for its tests.
#include "Simulator.h"
#include "platform/AvahiMdns.h"
#include "transport/QtScheduler.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cstdio>
#include <unistd.h>

using telvanto::tvsim::Simulator;

namespace {

void print(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

std::filesystem::path defaultStateDir()
{
    const QString base = qEnvironmentVariable("XDG_STATE_HOME", QDir::homePath() + QStringLiteral("/.local/state"));
    return (base + QStringLiteral("/telvanto-tvsim")).toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tvsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated Android TV: pairing and remote ports, a code to type, and faults on demand.\n"
        "While it runs, commands on standard input change it (one per line): refuse, no-start,\n"
        "silent, no-pings, close-mid-frame, oversized, garbage, trickle [on|off]; close-after N|off;\n"
        "reject-pairing STATUS|off; forget; new-identity; restart; launch PACKAGE; state; code."));
    parser.addHelpOption();
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption pairPort(QStringLiteral("pair-port"), QStringLiteral("Pairing port (default 6467; 0 picks a free one)."), QStringLiteral("N"), QStringLiteral("6467"));
    const QCommandLineOption remotePort(QStringLiteral("remote-port"), QStringLiteral("Remote port (default 6466; 0 picks a free one)."), QStringLiteral("N"), QStringLiteral("6466"));
    const QCommandLineOption stateDir(QStringLiteral("state-dir"), QStringLiteral("Where the TV keeps its identity and paired remotes."), QStringLiteral("DIR"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("The TV's name."), QStringLiteral("NAME"), QStringLiteral("Telvanto TV"));
    const QCommandLineOption codeFile(QStringLiteral("code-file"), QStringLiteral("Write each pairing code to this file."), QStringLiteral("FILE"));
    const QCommandLineOption logFile(QStringLiteral("log"), QStringLiteral("Event log, one JSON object per line ('-' for standard output)."), QStringLiteral("FILE"));
    const QCommandLineOption features(QStringLiteral("features"), QStringLiteral("Feature mask the TV announces (default 622)."), QStringLiteral("MASK"), QStringLiteral("622"));
    const QCommandLineOption ping(QStringLiteral("ping-interval"), QStringLiteral("Milliseconds between pings (default 5000)."), QStringLiteral("MS"), QStringLiteral("5000"));
    const QCommandLineOption emptyAck(QStringLiteral("empty-option-ack"), QStringLiteral("Acknowledge the pairing option with an empty message."));
    const QCommandLineOption newIdentity(QStringLiteral("new-identity"), QStringLiteral("Start as a different TV (a new key)."));
    const QCommandLineOption mdns(QStringLiteral("mdns"), QStringLiteral("Announce the TV over mDNS (needs avahi-daemon)."));
    const QCommandLineOption refuse(QStringLiteral("refuse"), QStringLiteral("Fault: refuse connections."));
    const QCommandLineOption noStart(QStringLiteral("no-start"), QStringLiteral("Fault: never send start."));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Fault: send nothing once connected."));
    const QCommandLineOption noPings(QStringLiteral("no-pings"), QStringLiteral("Fault: send no pings."));
    const QCommandLineOption closeAfter(QStringLiteral("close-after"), QStringLiteral("Fault: close a remote connection after N messages."), QStringLiteral("N"));
    const QCommandLineOption closeMidFrame(QStringLiteral("close-mid-frame"), QStringLiteral("Fault: end remote connections inside a frame."));
    const QCommandLineOption oversized(QStringLiteral("oversized"), QStringLiteral("Fault: announce a frame too large."));
    const QCommandLineOption garbage(QStringLiteral("garbage"), QStringLiteral("Fault: send unreadable frames first."));
    const QCommandLineOption trickle(QStringLiteral("trickle"), QStringLiteral("Fault: write one byte at a time."));
    const QCommandLineOption rejectPairing(QStringLiteral("reject-pairing"), QStringLiteral("Fault: refuse pairing with this status."), QStringLiteral("STATUS"));
    parser.addOptions({bind, pairPort, remotePort, stateDir, name, codeFile, logFile, features, ping, emptyAck, newIdentity, mdns,
                       refuse, noStart, silent, noPings, closeAfter, closeMidFrame, oversized, garbage, trickle, rejectPairing});
    parser.process(app);

    auto number = [&](const QCommandLineOption& option, qint64 max) -> qint64 {
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        if (!ok || value < 0 || value > max) {
            std::fprintf(stderr, "tvsim: --%s needs a number from 0 to %lld\n", qPrintable(option.names().first()), static_cast<long long>(max));
            std::exit(2);
        }
        return value;
    };

    Simulator::Options options;
    options.bind = QHostAddress(parser.value(bind));
    if (options.bind.isNull()) {
        std::fprintf(stderr, "tvsim: --bind needs an IP address\n");
        return 2;
    }
    options.pairingPort = static_cast<quint16>(number(pairPort, 65535));
    options.remotePort = static_cast<quint16>(number(remotePort, 65535));
    options.stateDir = parser.isSet(stateDir) ? std::filesystem::path(parser.value(stateDir).toStdString()) : defaultStateDir();
    options.name = parser.value(name);
    options.codeFile = parser.value(codeFile);
    options.logFile = parser.value(logFile);
    options.features = number(features, INT32_MAX);
    options.pingInterval = std::chrono::milliseconds(number(ping, 3'600'000));
    options.emptyOptionAck = parser.isSet(emptyAck);
    options.newIdentity = parser.isSet(newIdentity);

    telvanto::transport::QtScheduler scheduler;
    Simulator simulator(options, scheduler);
    auto& faults = simulator.faults();
    faults.refuse = parser.isSet(refuse);
    faults.noStart = parser.isSet(noStart);
    faults.silent = parser.isSet(silent);
    faults.noPings = parser.isSet(noPings);
    faults.closeAfter = parser.isSet(closeAfter) ? static_cast<int>(number(closeAfter, INT32_MAX)) : -1;
    faults.closeMidFrame = parser.isSet(closeMidFrame);
    faults.oversized = parser.isSet(oversized);
    faults.garbage = parser.isSet(garbage);
    faults.trickle = parser.isSet(trickle);
    faults.rejectPairing = parser.isSet(rejectPairing) ? static_cast<int>(number(rejectPairing, 65535)) : 0;

    QString error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "tvsim: %s\n", qPrintable(error));
        return 1;
    }
    QObject::connect(&simulator, &Simulator::codeShown, [](const QString& code) { print(QStringLiteral("code ") + code); });
    QObject::connect(&simulator, &Simulator::paired, [] { print(QStringLiteral("paired")); });
    QObject::connect(&simulator, &Simulator::foregroundAppChanged, [](const QString& package) { print(QStringLiteral("app ") + package); });
    // mDNS: the TV under its name, and an AirPlay receiver while AirScreen is in front.
    std::unique_ptr<telvanto::platform::AvahiMdns> announcer;
    telvanto::core::TaskHandle tvService, airplayService;
    if (parser.isSet(mdns)) {
        announcer = std::make_unique<telvanto::platform::AvahiMdns>(scheduler);
        tvService = announcer->publish(QStringLiteral("_androidtvremote2._tcp"), options.name, simulator.remotePort());
        QObject::connect(&simulator, &Simulator::foregroundAppChanged, [&](const QString& package) {
            if (package == QLatin1String(Simulator::airScreenPackage)) {
                if (!airplayService) airplayService = announcer->publish(QStringLiteral("_airplay._tcp"), options.name, 7000);
            } else {
                airplayService.reset();
            }
        });
    }

    // The control interface: one command per line on standard input.
    QSocketNotifier control(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&control, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            control.setEnabled(false); // no more commands; keep serving
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (line == QLatin1String("quit")) {
                QCoreApplication::quit();
                return;
            }
            const QString reply = simulator.runCommand(line);
            if (!reply.isEmpty()) print(reply);
        }
    });

    print(QStringLiteral("tvsim %1 listening on %2: pairing port %3, remote port %4")
              .arg(options.name, options.bind.toString())
              .arg(simulator.pairingPort())
              .arg(simulator.remotePort()));
    return QCoreApplication::exec();
}
