// telvanto-cli: the headless remote, for scripts, keyboard shortcuts and home automation.
#include "RemoteCli.h"

#include "identity/CredentialStore.h"
#include "platform/AvahiMdns.h"
#include "platform/HostName.h"
#include "platform/NetlinkMonitor.h"
#include "platform/Settings.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/Discovery.h"
#include "tv/TVController.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <set>
#include <unistd.h>

using namespace telvanto;
using cli::Exit;

namespace {

void printTo(FILE* stream, const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// Lists TVs as they are found and resolved, until the time is up.
int discover(tv::Discovery& discovery, std::chrono::milliseconds timeout)
{
    std::set<QString> shown;
    discovery.browse(tv::Discovery::tvServiceType, [&](const QStringList& names) {
        for (const QString& name : names) {
            discovery.resolve(tv::Discovery::tvServiceType, name, [&shown, name](std::optional<QString> host) {
                if (!host || shown.count(name)) return;
                shown.insert(name);
                printTo(stdout, name + QLatin1Char('\t') + *host);
            });
        }
    });
    QTimer::singleShot(timeout, qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    if (shown.empty()) {
        printTo(stderr, QStringLiteral("telvanto-cli: no TV found"));
        return static_cast<int>(Exit::unreachable);
    }
    return static_cast<int>(Exit::ok);
}

int signalPipe[2] = {-1, -1};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvanto-cli"));

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        printTo(stdout, cli::usage());
        return 0;
    }
    tv::TVPorts ports;
    auto parsed = cli::parseArguments(arguments, &ports.pairing, &ports.remote);
    if (const auto* error = std::get_if<QString>(&parsed)) {
        printTo(stderr, QStringLiteral("telvanto-cli: ") + *error);
        printTo(stderr, cli::usage());
        return static_cast<int>(Exit::badArguments);
    }
    const cli::Request request = std::get<cli::Request>(parsed);

    transport::QtScheduler scheduler;
    platform::AvahiMdns mdns(scheduler);
    tv::Discovery discovery(mdns, scheduler);
    if (request.command == cli::Request::Command::discover) {
        return discover(discovery, request.timeout == std::chrono::milliseconds(10000) ? std::chrono::milliseconds(3000) : request.timeout);
    }

    transport::TLSChannelFactory channels(scheduler);
    const identity::CredentialStore credentials(identity::CredentialStore::defaultDirectory());
    platform::Settings settings;
    platform::NetlinkMonitor network(scheduler);
    tv::DiscoveryLookup lookup(discovery);
    auto controller = std::make_unique<tv::TVController>(scheduler, channels, credentials, settings, lookup, network,
                                                         platform::deviceName(), ports);

    int exitCode = 0;
    auto owned = std::make_unique<cli::RemoteCli>(*controller, request, [](const QString& line) { printTo(stdout, line); },
                                                  [](const QString& line) { printTo(stderr, line); });
    cli::RemoteCli& remote = *owned;

    // The code the TV shows, typed on the terminal (or piped in).
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    input.setEnabled(false);
    QByteArray typed;
    QObject::connect(&remote, &cli::RemoteCli::codeWanted, [&] {
        if (isatty(STDIN_FILENO)) std::fputs("Code shown on the TV: ", stderr);
        input.setEnabled(true);
    });
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            if (!typed.trimmed().isEmpty()) remote.codeEntered(QString::fromUtf8(typed));
            return;
        }
        typed.append(buffer, n);
        const qsizetype end = typed.indexOf('\n');
        if (end < 0) return;
        input.setEnabled(false);
        const QString code = QString::fromUtf8(typed.left(end));
        typed.clear();
        remote.codeEntered(code);
    });

    // watch runs until interrupted; the signal reaches the event loop through a pipe.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return static_cast<int>(Exit::failed);
    std::signal(SIGINT, [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); });
    std::signal(SIGTERM, [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); });
    QSocketNotifier interrupt(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });

    // Started from inside the event loop, so that an answer known at once can end it.
    QTimer::singleShot(0, owned.get(), [&] {
        remote.run([&](Exit code) {
            exitCode = static_cast<int>(code);
            QCoreApplication::quit();
        });
    });
    QCoreApplication::exec();

    // Drop the connection politely and let the last frames reach the TV before leaving; the
    // command goes first, with whatever it still had scheduled.
    input.setEnabled(false);
    owned.reset();
    controller.reset();
    QTimer cap;
    cap.setSingleShot(true);
    cap.start(transport::TLSChannel::disposeGrace + std::chrono::milliseconds(200));
    while (transport::TLSChannel::instances() > 0 && cap.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // not done outside exec()
    }
    return exitCode;
}
