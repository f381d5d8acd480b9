// Sendora: sends the first web link among the shared items to the paired TV.
#include "identity/CredentialStore.h"
#include "linksender/Log.h"
#include "share/CommandLine.h"
#include "share/ItemSources.h"
#include "share/ShareFlow.h"
#include "share/ShareSheet.h"
#include "share/Texts.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace telvanto;
using namespace telvanto::share;

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Qt explains at length why a display it tried did not answer; falling back is expected here.
QtMessageHandler previousHandler = nullptr;
void withoutPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && std::string_view(context.category).starts_with("qt.qpa")) return;
    if (previousHandler) previousHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    const auto parsed = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* error = std::get_if<CommandLine::UsageError>(&parsed)) {
        std::fprintf(stderr, "sendora: %s\n%s", error->message.c_str(), CommandLine::usage.data());
        return static_cast<int>(ExitStatus::usage);
    }
    const CommandLine& line = std::get<CommandLine>(parsed);
    if (line.help) {
        std::fputs(CommandLine::usage.data(), stdout);
        return 0;
    }

    // Without a sheet and without the clipboard no display is needed. Without a display the
    // outcome goes to the terminal, as with --no-gui; the clipboard cannot be read then.
    std::unique_ptr<QCoreApplication> app;
    bool gui = line.gui;
    if (line.gui || line.clipboard) {
        bool display = false;
        if (const auto platform = GuiPlatform::choose(environment)) {
            qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform->candidates));
            previousHandler = qInstallMessageHandler(withoutPlatformNoise);
            app = std::make_unique<QGuiApplication>(argc, argv);
            qInstallMessageHandler(previousHandler);
            display = platform->offscreenAsked || QGuiApplication::platformName() != QLatin1String("offscreen");
        }
        if (!display && line.clipboard) {
            std::fputs("sendora: no display, so there is no clipboard to read; give the items as arguments or on "
                       "standard input\n",
                       stderr);
            return static_cast<int>(ExitStatus::usage);
        }
        gui = gui && display;
    }
    if (!app) app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sendora"));

    std::vector<InputItem> items = sources::itemsFromArguments(line.items);
    if (line.clipboard) {
        if (const QMimeData* data = QGuiApplication::clipboard()->mimeData()) {
            if (auto item = sources::itemFromMimeData(*data)) items.push_back(std::move(*item));
        }
    }

    linksender::SystemLog log("share");
    transport::QtScheduler scheduler;
    transport::TLSChannelFactory channels(scheduler);
    const identity::CredentialStore store(identity::CredentialStore::defaultDirectory());
    ShareFlow flow({store, channels, scheduler, log, line.port});

    if (!gui) {
        const auto report = [&flow] {
            switch (flow.state().kind) {
            case ShareFlow::State::Kind::sending:
                return;
            case ShareFlow::State::Kind::done:
                std::printf("%s\n", texts::done.data());
                break;
            case ShareFlow::State::Kind::failed:
                std::fprintf(stderr, "%s\n", flow.state().message.c_str());
                break;
            }
            QCoreApplication::exit(static_cast<int>(exitStatus(flow)));
        };
        QObject::connect(&flow, &ShareFlow::stateChanged, app.get(), report, Qt::QueuedConnection);
        flow.start(items);
        if (flow.state().kind != ShareFlow::State::Kind::sending) {
            report();
            return static_cast<int>(exitStatus(flow));
        }
        return app->exec();
    }

    ShareSheet sheet(flow);
    QObject::connect(&sheet, &ShareSheet::closeRequested, app.get(),
                     [&flow] { QCoreApplication::exit(static_cast<int>(exitStatus(flow))); });
    flow.onFinish = [&flow] { QCoreApplication::exit(static_cast<int>(exitStatus(flow))); };
    // Closed by the window manager: the outcome so far decides the status.
    QObject::connect(static_cast<QGuiApplication*>(app.get()), &QGuiApplication::lastWindowClosed, app.get(),
                     [&flow] { QCoreApplication::exit(static_cast<int>(exitStatus(flow))); });
    QGuiApplication::setQuitOnLastWindowClosed(false);
    if (!sheet.show()) {
        std::fputs("sendora: the status sheet could not be loaded\n", stderr);
        return static_cast<int>(ExitStatus::software);
    }
    flow.start(items);
    return app->exec();
}
