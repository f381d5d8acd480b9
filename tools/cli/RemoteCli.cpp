#include "RemoteCli.h"

#include "protocol/RemoteMsg.h"
#include "protocol/TVKey.h"
#include "tv/Texts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

namespace telvanto::cli {

using Case = tv::TVController::Status::Case;

namespace {

QString keyNames()
{
    QStringList names;
    for (protocol::TVKey key : protocol::allTVKeys) {
        const auto name = protocol::tvKeyName(key);
        names.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    return names.join(QLatin1String(", "));
}

std::optional<protocol::TVKey> keyNamed(const QString& name)
{
    return protocol::tvKeyFromName(name.toStdString());
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "usage: telvanto-cli [--host H] [--timeout S] COMMAND ...\n"
        "  pair [--host H] [--code C]   pair with the TV (asks for the code it shows)\n"
        "  status [--json]              status, power, volume and the app in front\n"
        "  key NAME...                  press keys (%1)\n"
        "  text STRING                  type into the TV's text field\n"
        "  launch PACKAGE|NAME          open an app\n"
        "  link URL                     open a link on the TV\n"
        "  watch                        print every change until interrupted\n"
        "  discover [--timeout S]       list the TVs on the network (for 3 s unless told)\n"
        "exit status: 0 ok, 1 failed, 2 bad arguments, 3 not paired, 4 unreachable, 5 timeout, 6 wrong code,\n"
        "  7 no code typed, 130 interrupted")
        .arg(keyNames());
}

std::optional<QString> packageFor(const QString& name)
{
    for (const tv::TVApp& app : tv::TVApp::catalogue()) {
        if (app.name.compare(name, Qt::CaseInsensitive) == 0) return app.package;
    }
    // Android's rule: two or more dot-separated parts, each a letter followed by letters,
    // digits or underscores. Anything else would reach the TV as a broken store link.
    static const QRegularExpression androidPackage(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z][A-Za-z0-9_]*(\\.[A-Za-z][A-Za-z0-9_]*)+")));
    if (androidPackage.match(name).hasMatch()) return name;
    return std::nullopt;
}

std::variant<Request, QString> parseArguments(const QStringList& arguments, quint16* pairPort, quint16* remotePort)
{
    Request request{Request::Command::status, {}, {}, {}, false};
    std::optional<Request::Command> command;
    std::optional<std::chrono::milliseconds> timeout;
    auto port = [](const QString& text, quint16* out) {
        bool ok = false;
        const uint value = text.toUInt(&ok);
        if (!ok || value == 0 || value > 65535) return false;
        *out = static_cast<quint16>(value);
        return true;
    };
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) return std::nullopt;
            return arguments[++i];
        };
        if (a == QLatin1String("--host")) {
            const auto v = value();
            if (!v || v->isEmpty()) return QStringLiteral("--host needs an address");
            request.host = *v;
        } else if (a == QLatin1String("--pair-port") || a == QLatin1String("--remote-port")) {
            const auto v = value();
            if (!v || !port(*v, a == QLatin1String("--pair-port") ? pairPort : remotePort)) return a + QStringLiteral(" needs a port number");
        } else if (a == QLatin1String("--timeout")) {
            const auto v = value();
            bool ok = false;
            const double seconds = v ? v->toDouble(&ok) : 0;
            if (!ok || seconds <= 0 || seconds > 86400) return QStringLiteral("--timeout needs a number of seconds");
            timeout = std::chrono::milliseconds(static_cast<qint64>(seconds * 1000));
        } else if (a == QLatin1String("--code") && command == Request::Command::pair) {
            const auto v = value();
            if (!v) return QStringLiteral("--code needs the code the TV shows");
            request.code = *v;
        } else if (a == QLatin1String("--json") && command == Request::Command::status) {
            request.json = true;
        } else if (!command && !a.startsWith(QLatin1String("--"))) {
            static const std::pair<const char*, Request::Command> names[] = {
                {"pair", Request::Command::pair},     {"status", Request::Command::status}, {"key", Request::Command::key},
                {"text", Request::Command::text},     {"launch", Request::Command::launch}, {"link", Request::Command::link},
                {"watch", Request::Command::watch},   {"discover", Request::Command::discover}};
            for (const auto& [name, c] : names) {
                if (a == QLatin1String(name)) command = c;
            }
            if (!command) return QStringLiteral("unknown command '%1'").arg(a);
        } else if (command && !a.startsWith(QLatin1String("--"))) {
            request.args.append(a);
        } else {
            return QStringLiteral("unknown option '%1'").arg(a);
        }
    }
    if (!command) return QStringLiteral("no command given");
    request.command = *command;
    request.timeout = timeout.value_or(request.command == Request::Command::discover ? Request::defaultDiscoverTimeout
                                                                                      : Request::defaultTimeout);
    const qsizetype n = request.args.size();
    switch (request.command) {
    case Request::Command::pair:
    case Request::Command::status:
    case Request::Command::watch:
    case Request::Command::discover:
        if (n != 0) return QStringLiteral("unexpected argument '%1'").arg(request.args.first());
        break;
    case Request::Command::key:
        if (n == 0) return QStringLiteral("key needs at least one key name: ") + keyNames();
        for (const QString& name : request.args) {
            if (!keyNamed(name)) return QStringLiteral("unknown key '%1'; keys are: %2").arg(name, keyNames());
        }
        break;
    case Request::Command::text:
    case Request::Command::launch:
        if (n != 1 || request.args.first().isEmpty()) return QStringLiteral("this command takes exactly one argument");
        if (request.command == Request::Command::launch && !packageFor(request.args.first())) {
            return QStringLiteral("'%1' is neither an app of the catalogue nor an Android package name").arg(request.args.first());
        }
        break;
    case Request::Command::link: {
        if (n != 1) return QStringLiteral("link takes exactly one URL");
        const QUrl url(request.args.first(), QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty()) return QStringLiteral("'%1' is not a link with a scheme").arg(request.args.first());
        break;
    }
    }
    return request;
}

RemoteCli::RemoteCli(tv::TVController& controller, core::Scheduler& scheduler, Request request, Sink out, Sink err,
                     QObject* parent)
    : QObject(parent), controller_(controller), scheduler_(scheduler), request_(std::move(request)), out_(std::move(out)),
      err_(std::move(err))
{
}

RemoteCli::~RemoteCli() = default;

QString RemoteCli::cause(const transport::Channel::Error& error)
{
    const QString text = QString::fromStdString(error.description);
    switch (error.kind) {
    case transport::Channel::Error::Kind::connection: return text;
    case transport::Channel::Error::Kind::tls: return QStringLiteral("TLS refused by the TV: ") + text;
    case transport::Channel::Error::Kind::oversized: return QStringLiteral("malformed frame from the TV: ") + text;
    case transport::Channel::Error::Kind::io: return text;
    }
    return text;
}

QString RemoteCli::withCause(const QString& text) const
{
    const auto& error = controller_.lastError();
    if (!error) return text;
    return text + QStringLiteral(" (") + cause(*error) + QLatin1Char(')');
}

QString RemoteCli::describe(const tv::TVController::Status& status) const
{
    switch (status.kind) {
    case Case::failed: return withCause(QStringLiteral("failed: ") + status.text);
    case Case::idle: return QStringLiteral("idle");
    case Case::searching: return QStringLiteral("searching");
    case Case::connecting: return QStringLiteral("connecting");
    case Case::connected: return QStringLiteral("connected");
    case Case::needsPairing: return QStringLiteral("needsPairing");
    case Case::pairing: return QStringLiteral("pairing");
    case Case::waitingForCode: return QStringLiteral("waitingForCode");
    }
    return {};
}

void RemoteCli::fail(Exit code, const QString& message)
{
    if (finished_) return;
    err_(QStringLiteral("telvanto-cli: ") + message);
    finish(code);
}

void RemoteCli::finish(Exit code)
{
    if (finished_) return;
    finished_ = true;
    deadline_.reset();
    soon_.reset();
    settleTimer_.reset();
    if (done_) done_(code);
}

void RemoteCli::startDeadline()
{
    deadline_ = scheduler_.schedule(request_.timeout, [this] { onDeadline(); });
}

void RemoteCli::onDeadline()
{
    const auto& status = controller_.status();
    if (status.is(Case::searching)) return fail(Exit::timeout, QStringLiteral("no TV found on the network"));
    if (pairing_ && secretAccepted_) {
        // The pairing itself went through; only the remote connection did not follow.
        return fail(Exit::timeout, withCause(QStringLiteral("paired with %1, but the TV did not take the remote connection in time")
                                                 .arg(controller_.host())));
    }
    fail(Exit::timeout, QStringLiteral("no answer from the TV in time (%1)").arg(describe(status)));
}

void RemoteCli::run(std::function<void(Exit)> done)
{
    done_ = std::move(done);
    connect(&controller_, &tv::TVController::statusChanged, this, &RemoteCli::onStatus);
    if (request_.command != Request::Command::watch) startDeadline();
    pairing_ = request_.command == Request::Command::pair;
    if (request_.host) controller_.selectTV(controller_.tvName(), *request_.host);
    if (finished_) return;

    switch (request_.command) {
    case Request::Command::pair:
        if (controller_.host().isEmpty()) {
            // No address yet: the first TV found on the network is chosen and paired.
            controller_.start();
            return;
        }
        controller_.startPairing();
        // The connection is wanted from here on, so that a first remote connection that fails
        // after the TV took the secret is tried again.
        if (!finished_) controller_.start();
        return;
    case Request::Command::status:
        return connectAndThen([this] {
            // Printed as soon as volume and app are known, or after the settle time.
            auto print = [this] {
                if (finished_) return;
                printStatus();
                finish(Exit::ok);
            };
            auto printWhenKnown = [this, print] {
                if (!finished_ && controller_.volume() && !controller_.currentApp().isEmpty()) print();
            };
            connect(&controller_, &tv::TVController::volumeChanged, this, printWhenKnown);
            connect(&controller_, &tv::TVController::currentAppChanged, this, printWhenKnown);
            soon_ = scheduler_.schedule(core::Duration::zero(), printWhenKnown); // the rest of the start burst comes first
            settleTimer_ = scheduler_.schedule(settle, print);
        });
    case Request::Command::key:
        // Sent at once: the controller holds them for the connection that is coming up.
        for (const QString& name : request_.args) controller_.send(protocol::RemoteMsg::key(*keyNamed(name)));
        return connectAndThen([this] { finish(Exit::ok); });
    case Request::Command::text:
        return connectAndThen([this] {
            // After the rest of the start burst, which carries the text-field counters.
            soon_ = scheduler_.schedule(core::Duration::zero(), [this] {
                controller_.typeText(QString(), request_.args.first());
                finish(Exit::ok);
            });
        });
    case Request::Command::launch:
        controller_.launch(packageFor(request_.args.first()).value_or(request_.args.first()));
        return connectAndThen([this] { finish(Exit::ok); });
    case Request::Command::link:
        controller_.send(protocol::RemoteMsg::appLink(request_.args.first().toStdString()));
        return connectAndThen([this] { finish(Exit::ok); });
    case Request::Command::watch:
        watchStatus();
        return connectAndThen([] {});
    case Request::Command::discover:
        return; // handled by the program, which owns discovery
    }
}

void RemoteCli::connectAndThen(std::function<void()> then)
{
    if (!controller_.isPaired()) {
        return fail(Exit::notPaired, QStringLiteral("not paired with a TV: run 'telvanto-cli pair --host ADDRESS' first"));
    }
    if (controller_.host().isEmpty()) return fail(Exit::badArguments, QStringLiteral("no TV address known: give --host"));
    onConnected_ = std::move(then);
    controller_.start();
    onStatus();
}

void RemoteCli::codeEntered(const QString& code)
{
    if (finished_ || !controller_.status().is(Case::waitingForCode)) return;
    if (controller_.submitCode(code)) {
        // The TV answers by itself from here: the deadline applies again.
        waitingForPerson_ = false;
        codeSubmitted_ = true;
        startDeadline();
        return;
    }
    if (request_.code) return fail(Exit::wrongCode, QStringLiteral("'%1' is not the code the TV shows").arg(code));
    err_(QStringLiteral("That is not the code the TV shows; try again."));
    Q_EMIT codeWanted();
}

void RemoteCli::inputEnded()
{
    if (finished_ || !waitingForPerson_) return;
    fail(Exit::noCode, QStringLiteral("the input ended before the code the TV shows was typed"));
}

void RemoteCli::onStatus()
{
    if (finished_) return;
    const auto& status = controller_.status();
    if (request_.command == Request::Command::watch) {
        if (printed_ != status) out_(QStringLiteral("status ") + describe(status));
        printed_ = status;
        if (status.is(Case::connected)) {
            if (auto then = std::exchange(onConnected_, nullptr)) then();
        }
        return; // the controller keeps trying
    }
    if (pairing_) return onPairingStatus(status);
    if (status.is(Case::connected)) {
        if (auto then = std::exchange(onConnected_, nullptr)) then();
        return;
    }
    if (status.is(Case::needsPairing)) return fail(Exit::notPaired, QStringLiteral("not paired with this TV: run 'telvanto-cli pair'"));
    if (status.is(Case::failed)) {
        // A one-shot command does not wait for the retries the controller's texts announce.
        const QString& text = status.text;
        if (text == tv::texts::otherDevice() || text == tv::texts::forgotten()) return fail(Exit::notPaired, withCause(text));
        if (text == tv::texts::unreachable()) return fail(Exit::unreachable, withCause(QStringLiteral("gave up: the TV cannot be reached")));
        if (text == tv::texts::connectionLost()) return fail(Exit::unreachable, withCause(QStringLiteral("gave up: the connection to the TV broke")));
        return fail(Exit::failed, withCause(text));
    }
}

void RemoteCli::onPairingStatus(const tv::TVController::Status& status)
{
    if (status.is(Case::waitingForCode)) {
        if (request_.code) return codeEntered(*request_.code);
        // A person reads the code off the TV and types it: no deadline for that.
        deadline_.reset();
        waitingForPerson_ = true;
        Q_EMIT codeWanted();
        return;
    }
    if (status.is(Case::connecting) && codeSubmitted_) secretAccepted_ = true;
    if (status.is(Case::connected)) {
        out_(QStringLiteral("paired with %1").arg(controller_.host()));
        return finish(Exit::ok);
    }
    if (status.is(Case::failed)) {
        const QString& text = status.text;
        if (text == tv::texts::wrongCode()) return fail(Exit::wrongCode, text);
        if (text == tv::texts::pairingInterrupted()) return fail(Exit::unreachable, withCause(text));
        if (text == tv::texts::unreachable() || text == tv::texts::connectionLost()) {
            // The first connection after pairing is tried again until the deadline.
            if (secretAccepted_) return;
            return fail(Exit::unreachable, withCause(QStringLiteral("gave up: the TV cannot be reached")));
        }
        return fail(Exit::failed, withCause(text));
    }
}

void RemoteCli::printStatus()
{
    const auto& volume = controller_.volume();
    if (request_.json) {
        QJsonObject state{{"status", describe(controller_.status())},
                          {"host", controller_.host()},
                          {"name", controller_.tvName()},
                          {"power", controller_.isOn() ? "on" : "off"},
                          {"app", controller_.currentApp()}};
        if (volume) state.insert("volume", QJsonObject{{"level", volume->level}, {"max", volume->max}, {"muted", volume->muted}});
        out_(QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact)));
        return;
    }
    out_(QStringLiteral("status: ") + describe(controller_.status()));
    out_(QStringLiteral("tv: %1 (%2)").arg(controller_.tvName(), controller_.host()));
    out_(QStringLiteral("power: ") + (controller_.isOn() ? QStringLiteral("on") : QStringLiteral("off")));
    if (volume) {
        out_(QStringLiteral("volume: %1/%2%3").arg(volume->level).arg(volume->max).arg(volume->muted ? QStringLiteral(" (muted)") : QString()));
    }
    if (!controller_.currentApp().isEmpty()) out_(QStringLiteral("app: ") + controller_.currentApp());
}

void RemoteCli::watchStatus()
{
    connect(&controller_, &tv::TVController::volumeChanged, this, [this] {
        if (const auto& v = controller_.volume()) {
            out_(QStringLiteral("volume %1/%2%3").arg(v->level).arg(v->max).arg(v->muted ? QStringLiteral(" muted") : QString()));
        }
    });
    connect(&controller_, &tv::TVController::currentAppChanged, this, [this] { out_(QStringLiteral("app ") + controller_.currentApp()); });
    connect(&controller_, &tv::TVController::isOnChanged, this, [this] {
        out_(QStringLiteral("power ") + (controller_.isOn() ? QStringLiteral("on") : QStringLiteral("off")));
    });
    connect(&controller_, &tv::TVController::hostChanged, this, [this] { out_(QStringLiteral("host ") + controller_.host()); });
}

} // namespace telvanto::cli
