// telvanto-cli: the headless remote, for scripts, keyboard shortcuts and home automation.
#include "RemoteCli.h"

#include "identity/CredentialStore.h"
#include "platform/AvahiMdns.h"
#include "platform/HostName.h"
#include "platform/NetlinkMonitor.h"
#include "platform/QtDirectoryWatcher.h"
#include "platform/Settings.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/Discovery.h"
#include "tv/TVController.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <set>
#include <utility>
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

int searchUnavailable()
{
    printTo(stderr, QStringLiteral("telvanto-cli: no avahi-daemon reachable, so no TV can be searched for: give --host"));
    return static_cast<int>(Exit::unreachable);
}

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
        printTo(stderr, QStringLiteral("telvanto-cli: %1 (see --help)").arg(*error));
        return static_cast<int>(Exit::badArguments);
    }
    const cli::Request request = std::get<cli::Request>(parsed);

    transport::QtScheduler scheduler;
    platform::AvahiMdns mdns(scheduler);
    tv::Discovery discovery(mdns, scheduler);
    // The daemon's state is known once the client is made: without it nothing can be found.
    if (request.command == cli::Request::Command::discover) {
        if (!mdns.isRunning()) return searchUnavailable();
        return discover(discovery, request.timeout);
    }

    transport::TLSChannelFactory channels(scheduler);
    const identity::CredentialStore credentials(identity::CredentialStore::defaultDirectory());
    platform::Settings settings;
    platform::NetlinkMonitor network(scheduler);
    platform::QtDirectoryWatcher credentialWatch(scheduler, QString::fromStdString(credentials.directory()));
    tv::DiscoveryLookup lookup(discovery);
    auto controller = std::make_unique<tv::TVController>(scheduler, channels, credentials, settings, lookup, network,
                                                         credentialWatch, platform::deviceName(), ports);
    if (request.command == cli::Request::Command::pair && !request.host && controller->host().isEmpty() &&
        !mdns.isRunning()) {
        return searchUnavailable();
    }

    int exitCode = 0;
    bool done = false;
    auto owned = std::make_unique<cli::RemoteCli>(*controller, scheduler, request, [](const QString& line) { printTo(stdout, line); },
                                                  [](const QString& line) { printTo(stderr, line); });
    cli::RemoteCli& remote = *owned;

    // The code the TV shows, typed on the terminal (or piped in).
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    input.setEnabled(false);
    QByteArray typed;
    bool inputOver = false;
    // One line is one code; what follows it waits for the next time a code is wanted.
    const auto takeLine = [&] {
        const qsizetype end = typed.indexOf('\n');
        if (end >= 0) {
            input.setEnabled(false);
            const QString code = QString::fromUtf8(typed.left(end));
            typed.remove(0, end + 1);
            remote.codeEntered(code);
        } else if (!inputOver) {
            input.setEnabled(true);
        } else {
            const QByteArray last = std::exchange(typed, QByteArray());
            if (!last.trimmed().isEmpty()) remote.codeEntered(QString::fromUtf8(last));
            remote.inputEnded(); // unless that code was taken
        }
    };
    QObject::connect(&remote, &cli::RemoteCli::codeWanted, &input, [&] {
        if (isatty(STDIN_FILENO)) std::fputs("Code shown on the TV: ", stderr);
        QMetaObject::invokeMethod(&input, takeLine, Qt::QueuedConnection); // not inside codeEntered
    });
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            inputOver = true;
        } else {
            typed.append(buffer, n);
        }
        takeLine();
    });

    // watch runs until interrupted; the signal reaches the event loop through a pipe.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return static_cast<int>(Exit::failed);
    std::signal(SIGINT, [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); });
    std::signal(SIGTERM, [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); });
    QSocketNotifier interrupt(signalPipe[0], QSocketNotifier::Read);
    bool interrupted = false;
    QObject::connect(&interrupt, &QSocketNotifier::activated, [&] {
        interrupted = true;
        QCoreApplication::quit();
    });

    // Started from inside the event loop, so that an answer known at once can end it.
    QTimer::singleShot(0, owned.get(), [&] {
        remote.run([&](Exit code) {
            done = true;
            exitCode = static_cast<int>(code);
            QCoreApplication::quit();
        });
    });
    QCoreApplication::exec();
    // watch ends this way; anything else did not get done.
    if (interrupted && !done && request.command != cli::Request::Command::watch) exitCode = static_cast<int>(Exit::interrupted);

    // Drop the connection politely and let the last frames reach the TV before leaving; the
    // command goes first, with whatever it still had scheduled.
    input.setEnabled(false);
    owned.reset();
    controller.reset();
    transport::TLSChannel::letDroppedChannelsFinish();
    return exitCode;
}
