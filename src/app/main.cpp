// telvanto: the remote window and the tray menu, on the process's one TV controller.
#include "app/ArrowKeys.h"
#include "app/Autostart.h"
#include "app/MirrorView.h"
#include "app/RemoteView.h"
#include "app/SingleInstance.h"
#include "app/TrayMenu.h"
#include "identity/CredentialStore.h"
#include "mirroring/ControlCenterSelector.h"
#include "mirroring/MirrorController.h"
#include "mirroring/MirrorTV.h"
#include "platform/AtspiAccessibility.h"
#include "platform/AtspiElementTree.h"
#include "platform/AvahiMdns.h"
#include "platform/HostName.h"
#include "platform/NetlinkMonitor.h"
#include "platform/QtDirectoryWatcher.h"
#include "platform/Settings.h"
#include "platform/WakeMonitor.h"
#include "platform/XRandrDisplays.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/Discovery.h"
#include "tv/TVController.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLibraryInfo>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

// The window's QML module lives in a static library; naming its registration links it in.
void qml_register_types_Telvanto();

using namespace telvanto;

namespace {

// Why no window can be shown, checked before Qt is asked to (it aborts without a display).
std::optional<QString> missingDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return std::nullopt; // the user chose
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
        if (!platforms.entryList({QStringLiteral("libqwayland*.so")}).isEmpty()) return std::nullopt;
    }
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set. The window needs a desktop "
                              "session; telvanto-cli works without one.");
    }
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool reachable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!reachable) return QStringLiteral("cannot open the display %1.").arg(QString::fromLocal8Bit(display));
    return std::nullopt;
}

void printError(const QString& line) { std::fprintf(stderr, "telvanto: %s\n", qPrintable(line)); }

// Ports of the TV, for trying the program against a simulated one.
std::optional<tv::TVPorts> parseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Remote control for an Android TV on the same network."));
    parser.addHelpOption();
    const QCommandLineOption pairPort(QStringLiteral("pair-port"), QStringLiteral("The TV's pairing port (default 6467)."), QStringLiteral("N"));
    const QCommandLineOption remotePort(QStringLiteral("remote-port"), QStringLiteral("The TV's remote port (default 6466)."), QStringLiteral("N"));
    parser.addOptions({pairPort, remotePort});
    parser.process(arguments); // --help and unknown options end here
    tv::TVPorts ports;
    for (const auto& [option, port] : {std::pair{&pairPort, &ports.pairing}, std::pair{&remotePort, &ports.remote}}) {
        if (!parser.isSet(*option)) continue;
        bool ok = false;
        const uint value = parser.value(*option).toUInt(&ok);
        if (!ok || value == 0 || value > 65535) {
            printError(QStringLiteral("--%1 needs a port number").arg(option->names().first()));
            return std::nullopt;
        }
        *port = static_cast<quint16>(value);
    }
    return ports;
}

int signalPipe[2] = {-1, -1};

} // namespace

int main(int argc, char** argv)
{
    // Help needs no display.
    if (std::any_of(argv + 1, argv + argc, [](const char* a) { return !std::strcmp(a, "--help") || !std::strcmp(a, "-h"); })) {
        QCoreApplication core(argc, argv);
        parseArguments(QCoreApplication::arguments()); // prints the help and exits
        return 0;
    }
    if (const auto problem = missingDisplay()) {
        printError(*problem);
        return 1;
    }
    QApplication app(argc, argv);
    // The tray item takes its title from the application's name.
    QApplication::setApplicationName(app::trayTexts::title());
    QApplication::setApplicationDisplayName(app::trayTexts::title());
    // The installed desktop entry's name: com.korbith.telvanto.desktop.
    QApplication::setDesktopFileName(QStringLiteral("com.korbith.telvanto"));
    // Closing the window leaves the tray and the connection; only "Ukončiť" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    const auto ports = parseArguments(app::withoutDumpOption(QApplication::arguments()));
    if (!ports) return 2;

    app::SingleInstance instance(QDBusConnection::sessionBus(),
                                 app::SingleInstance::serviceFor(qEnvironmentVariable("TELVANTO_CONFIG_DIR")));
    switch (instance.claim()) {
    case app::SingleInstance::Role::second:
        return 0; // the running one shows its window
    case app::SingleInstance::Role::first:
    case app::SingleInstance::Role::alone:
        break;
    }

    transport::QtScheduler scheduler;
    platform::AvahiMdns mdns(scheduler);
    tv::Discovery discovery(mdns, scheduler);
    tv::DiscoveryLookup lookup(discovery);
    transport::TLSChannelFactory channels(scheduler);
    const identity::CredentialStore credentials(identity::CredentialStore::defaultDirectory());
    platform::Settings settings;
    platform::NetlinkMonitor network(scheduler);
    platform::QtDirectoryWatcher credentialWatch(scheduler, QString::fromStdString(credentials.directory()));
    auto controller = std::make_unique<tv::TVController>(scheduler, channels, credentials, settings, lookup, network,
                                                         credentialWatch, platform::deviceName(), *ports);
    tv::TVController& tv = *controller;

    // Screen mirroring: displays over XRandR, the panel over AT-SPI. Without an X server or an
    // accessibility bus they find nothing and the workflow ends with its own message.
    platform::XRandrDisplays displays;
    platform::AtspiElementTree panelTree;
    mirroring::ControlCenterSelector selector(panelTree, scheduler);
    platform::AtspiAccessibility accessibility;
    mirroring::ControllerTV mirrorTV(tv);
    auto mirror = std::make_unique<mirroring::MirrorController>(scheduler, settings, discovery, displays, selector,
                                                                accessibility);
    const auto followHost = [&tv, m = mirror.get()] {
        m->setTvHost(tv.verifiedHost());
        m->updateReceiverName();
    };
    QObject::connect(&tv, &tv::TVController::verifiedHostChanged, mirror.get(), followHost);
    followHost();
    app::MirrorView mirrorView(*mirror, mirrorTV);

    // The window and the tray share the controller; the first of them to show starts it.
    bool started = false;
    const auto dumpPath = app::dumpControlCenterPath(QApplication::arguments());
    const auto startOnce = [&] {
        if (started) return;
        started = true;
        tv.start();
        if (dumpPath) selector.dumpControlCenter(*dumpPath, [] {});
    };

    platform::WakeMonitor wake;
    QObject::connect(&wake, &platform::WakeMonitor::woke, &tv, &tv::TVController::reconnectNow);

    app::ArrowKeys arrowKeys(tv);
    app.installEventFilter(&arrowKeys);

    auto view = std::make_unique<app::RemoteView>(tv, scheduler);
    qml_register_types_Telvanto();
    auto engine = std::make_unique<QQmlApplicationEngine>();
    auto* mirrorCard = new QQmlComponent(engine.get(), QUrl(QStringLiteral("qrc:/Telvanto/MirrorCard.qml")), engine.get());
    engine->setInitialProperties({{QStringLiteral("view"), QVariant::fromValue(view.get())},
                                  {QStringLiteral("extra"), QVariant::fromValue(mirrorCard)}});
    engine->load(QUrl(QStringLiteral("qrc:/Telvanto/Main.qml")));
    QQuickWindow* window = engine->rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine->rootObjects().first());
    if (!window) {
        printError(QStringLiteral("the window could not be loaded"));
        return 1;
    }
    const auto showWindow = [window] {
        window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->requestActivate();
    };
    QObject::connect(&instance, &app::SingleInstance::showRequested, window, showWindow);

    // What the window's first frame need not wait for: the connection's set-up (TLS, mDNS) and
    // the tray. The frame is reported from the render thread; a window that never draws gets
    // its tray and connection a little later all the same.
    app::Autostart autostart(app::Autostart::defaultDirectory(), QCoreApplication::applicationFilePath());
    std::unique_ptr<app::TrayMenu> tray;
    QMetaObject::Connection firstFrame;
    const auto afterFirstFrame = [&] {
        QObject::disconnect(firstFrame);
        if (tray) return;
        startOnce();
        tray = std::make_unique<app::TrayMenu>(tv, autostart);
        tray->addMirroring(*mirror, [&mirrorView] { mirrorView.toggle(); });
        QObject::connect(tray.get(), &app::TrayMenu::aboutToShow, &tv, startOnce);
        QObject::connect(tray.get(), &app::TrayMenu::openWindowRequested, window, showWindow);
        QObject::connect(tray.get(), &app::TrayMenu::quitRequested, &app, &QCoreApplication::quit);
        tray->show();
    };
    firstFrame = QObject::connect(window, &QQuickWindow::frameSwapped, &tv, afterFirstFrame, Qt::QueuedConnection);
    const core::TaskHandle noFrame = scheduler.schedule(std::chrono::seconds(2), afterFirstFrame);

    // Stopped by a signal, the program leaves as politely as through "Ukončiť".
    std::unique_ptr<QSocketNotifier> interrupt;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        std::signal(SIGINT, [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); });
        std::signal(SIGTERM, [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); });
        interrupt = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(interrupt.get(), &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }

    showWindow();
    const int status = QApplication::exec();

    // Everything that acts on the controller goes first, then the controller; its last frames
    // still reach the TV.
    tray.reset();
    app.removeEventFilter(&arrowKeys);
    QObject::disconnect(&wake, &platform::WakeMonitor::woke, nullptr, nullptr); // not all: the bus watches it too
    engine.reset();
    view.reset();
    mirror.reset();
    controller.reset();
    transport::TLSChannel::letDroppedChannelsFinish();
    return status;
}
