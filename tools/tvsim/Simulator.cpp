#include "Simulator.h"
#include "transport/QtBytes.h"

#include "TvMsg.h"
#include "identity/PairingSecret.h"
#include "protocol/AppLinks.h"
#include "protocol/TVKey.h"
#include "protocol/Varint.h"
#include "tv/TVApp.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTextBoundaryFinder>
#include <QTimer>

namespace telvanto::tvsim {

using transport::toQByteArray;
using transport::view;

namespace {

constexpr std::string_view pairedItem = "paired-clients";

constexpr const char* browserPackage = "com.android.chrome";

} // namespace

struct Simulator::Connection {
    enum class Kind { pairing, remote };
    enum class Stage { request, option, configuration, secret, done };

    Kind kind;
    int id;
    QPointer<QSslSocket> socket;
    protocol::FrameBuffer frames;
    Bytes clientCertificate;
    Stage stage = Stage::request;
    int sent = 0;
    bool active = false;
    core::TaskHandle pingTimer;
};

Simulator::Simulator(Options options, core::Scheduler& scheduler, QObject* parent)
    : QObject(parent), options_(std::move(options)), scheduler_(scheduler), log_(options_.logFile)
{
}

Simulator::~Simulator() { closeAll(); }

bool Simulator::start(QString* error)
{
    if (!loadIdentity(options_.newIdentity, error)) return false;
    loadPaired();
    auto makeListener = [this](bool pairing) {
        TlsListener::Options o{identity_, true, {}, QSsl::TlsV1_2OrLater};
        if (!pairing) {
            // A TV serves its remote port only to remotes it has paired with.
            o.acceptClient = [this](const QSslCertificate& certificate) {
                const QByteArray der = certificate.toDer();
                for (const Bytes& known : paired_) {
                    if (equal(known, view(der))) return true;
                }
                return false;
            };
        }
        auto listener = std::make_unique<TlsListener>(std::move(o));
        connect(listener.get(), &TlsListener::clientReady, this, pairing ? &Simulator::onPairingClient : &Simulator::onRemoteClient);
        connect(listener.get(), &TlsListener::handshakeFailed, this, [this, pairing](const QString& reason) {
            log_.write({{"event", "handshake-failed"}, {"port", pairing ? "pairing" : "remote"}, {"reason", reason}});
        });
        return listener;
    };
    pairingListener_ = makeListener(true);
    remoteListener_ = makeListener(false);
    boundPairingPort_ = options_.pairingPort;
    boundRemotePort_ = options_.remotePort;
    if (!faults_.refuse) {
        if (!pairingListener_->listen(options_.bind, boundPairingPort_) || !remoteListener_->listen(options_.bind, boundRemotePort_)) {
            if (error) *error = QStringLiteral("cannot listen on %1: %2").arg(options_.bind.toString(),
                                   pairingListener_->isListening() ? remoteListener_->errorString() : pairingListener_->errorString());
            return false;
        }
        boundPairingPort_ = pairingListener_->serverPort();
        boundRemotePort_ = remoteListener_->serverPort();
    }
    log_.write({{"event", "started"}, {"pairingPort", boundPairingPort_}, {"remotePort", boundRemotePort_}});
    return true;
}

quint16 Simulator::pairingPort() const { return boundPairingPort_; }
quint16 Simulator::remotePort() const { return boundRemotePort_; }

int Simulator::remoteConnections() const
{
    int n = 0;
    for (const auto& c : connections_) n += c->kind == Connection::Kind::remote && c->socket ? 1 : 0;
    return n;
}

bool Simulator::loadIdentity(bool fresh, QString* error)
{
    identity::CredentialStore store(options_.stateDir);
    try {
        if (fresh) identity::deleteIdentity(store);
        const auto found = identity::findIdentity(store);
        if (!std::holds_alternative<identity::findResult::Found>(found)) {
            identity::createIdentity(store, "atvremote/tvsim/" + options_.name.toStdString());
        }
        identity_ = identity::loadOrCreateIdentity(store, options_.name.toStdString());
    } catch (const identity::IdentityError& e) {
        if (error) *error = QString::fromStdString(e.message());
        return false;
    }
    return true;
}

void Simulator::loadPaired()
{
    paired_.clear();
    const auto stored = identity::CredentialStore(options_.stateDir).read(pairedItem);
    if (!stored.data) return;
    for (const QByteArray& line : toQByteArray(*stored.data).split('\n')) {
        const QByteArray der = QByteArray::fromHex(line.trimmed());
        if (!der.isEmpty()) paired_.emplace_back(der.begin(), der.end());
    }
}

void Simulator::savePaired()
{
    QByteArray text;
    for (const Bytes& der : paired_) text += toQByteArray(der).toHex() + '\n';
    identity::CredentialStore(options_.stateDir).write(pairedItem, view(text));
}

void Simulator::listen()
{
    if (faults_.refuse) return;
    if (!pairingListener_->isListening()) pairingListener_->listen(options_.bind, boundPairingPort_);
    if (!remoteListener_->isListening()) remoteListener_->listen(options_.bind, boundRemotePort_);
}

void Simulator::closeAll()
{
    for (auto& c : connections_) {
        c->pingTimer.reset();
        if (c->socket) c->socket->abort();
    }
    connections_.clear();
}

void Simulator::restart()
{
    log_.write({{"event", "restart"}});
    closeAll();
    if (pairingListener_) pairingListener_->close();
    if (remoteListener_) remoteListener_->close();
    code_.clear();
    listen();
}

void Simulator::switchIdentity()
{
    loadIdentity(true, nullptr);
    pairingListener_->setIdentity(identity_);
    remoteListener_->setIdentity(identity_);
    log_.write({{"event", "new-identity"}});
    closeAll();
}

void Simulator::forgetClients()
{
    paired_.clear();
    savePaired();
    log_.write({{"event", "forget"}});
}

void Simulator::applyFaults()
{
    if (!pairingListener_) return;
    if (faults_.refuse) {
        pairingListener_->close();
        remoteListener_->close();
        closeAll();
    } else {
        listen();
    }
}

Simulator::Connection* Simulator::find(QSslSocket* socket)
{
    for (auto& c : connections_) {
        if (c->socket == socket) return c.get();
    }
    return nullptr;
}

void Simulator::log(const Connection& c, const QString& direction, const QString& what, QJsonObject extra)
{
    extra.insert(QStringLiteral("dir"), direction);
    extra.insert(QStringLiteral("port"), c.kind == Connection::Kind::pairing ? "pairing" : "remote");
    extra.insert(QStringLiteral("conn"), c.id);
    extra.insert(QStringLiteral("msg"), what);
    log_.write(extra);
}

void Simulator::drop(Connection& c, const QString& reason)
{
    log(c, QStringLiteral("-"), QStringLiteral("drop"), {{"reason", reason}});
    c.pingTimer.reset();
    if (c.socket) c.socket->abort();
}

void Simulator::send(Connection& c, const Bytes& frame, const QString& what, const QJsonObject& fields)
{
    if (!c.socket || c.socket->state() != QAbstractSocket::ConnectedState) return;
    if (c.kind == Connection::Kind::remote && faults_.silent) return;
    if (faults_.trickle) {
        for (std::uint8_t byte : frame) {
            c.socket->write(reinterpret_cast<const char*>(&byte), 1);
            c.socket->flush();
        }
    } else {
        c.socket->write(toQByteArray(frame));
    }
    log(c, QStringLiteral("out"), what, fields);
    ++c.sent;
    if (c.kind == Connection::Kind::remote && faults_.closeAfter >= 0 && c.sent >= faults_.closeAfter) {
        c.socket->flush();
        c.socket->disconnectFromHost();
    }
}

void Simulator::broadcast(const Bytes& frame, const QString& what, const QJsonObject& fields)
{
    for (auto& c : connections_) {
        if (c->kind == Connection::Kind::remote && c->active) send(*c, frame, what, fields);
    }
}

Simulator::Connection& Simulator::accept(QSslSocket* socket, bool pairing)
{
    auto owned = std::make_unique<Connection>();
    owned->kind = pairing ? Connection::Kind::pairing : Connection::Kind::remote;
    owned->id = nextConnection_++;
    owned->socket = socket;
    const QByteArray certificate = socket->peerCertificate().toDer();
    owned->clientCertificate.assign(certificate.begin(), certificate.end());
    Connection& c = *owned;
    connections_.push_back(std::move(owned));
    log(c, QStringLiteral("-"), QStringLiteral("connected"));
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QSslSocket::disconnected, this, [this, socket] {
        if (Connection* gone = find(socket)) gone->pingTimer.reset();
        // Removed from the event loop: a handler up the stack may still hold the connection.
        QTimer::singleShot(0, this, [this] { std::erase_if(connections_, [](const auto& x) { return !x->socket || x->socket->state() == QAbstractSocket::UnconnectedState; }); });
    });
    return c;
}

// Cuts frames off a connection; a client that breaks the framing loses its connection, and
// nobody else notices.
void Simulator::readFrom(QSslSocket* socket)
{
    QPointer<QSslSocket> guard(socket);
    while (guard && guard->state() == QAbstractSocket::ConnectedState && guard->bytesAvailable() > 0) {
        Connection* c = find(socket);
        if (!c) return;
        auto result = c->frames.append(view(guard->read(65536)));
        auto* frames = std::get_if<protocol::FrameBuffer::Frames>(&result);
        if (!frames) {
            drop(*c, QStringLiteral("oversized frame"));
            return;
        }
        for (const Bytes& frame : *frames) {
            Connection* current = guard && guard->state() == QAbstractSocket::ConnectedState ? find(socket) : nullptr;
            if (!current) return;
            if (current->kind == Connection::Kind::pairing) {
                onPairingMessage(*current, frame);
            } else {
                onRemoteMessage(*current, frame);
            }
        }
    }
}

void Simulator::onPairingClient(QSslSocket* socket) { accept(socket, true); }

void Simulator::onPairingMessage(Connection& c, const Bytes& payload)
{
    using namespace TvMsg::pairing;
    const auto message = TvMsg::decodePairing(payload);
    auto outOfOrder = [&](const char* what) {
        log(c, QStringLiteral("in"), QString::fromLatin1(what), {{"error", "out of order"}});
        send(c, TvMsg::pairingFailure(400), QStringLiteral("failure"));
    };
    if (const auto* request = std::get_if<Request>(&message)) {
        log(c, QStringLiteral("in"), QStringLiteral("request"), {{"client", QString::fromStdString(request->clientName)}});
        Q_EMIT received(QStringLiteral("request"));
        if (faults_.rejectPairing) {
            send(c, TvMsg::pairingFailure(faults_.rejectPairing), QStringLiteral("failure"));
            return;
        }
        if (c.stage != Connection::Stage::request) return outOfOrder("request");
        c.stage = Connection::Stage::option;
        send(c, TvMsg::pairingRequestAck(options_.name.toStdString()), QStringLiteral("requestAck"));
    } else if (std::holds_alternative<Option>(message)) {
        if (c.stage != Connection::Stage::option) return outOfOrder("option");
        log(c, QStringLiteral("in"), QStringLiteral("option"));
        c.stage = Connection::Stage::configuration;
        send(c, TvMsg::pairingOption(options_.emptyOptionAck), QStringLiteral("option"));
    } else if (std::holds_alternative<Configuration>(message)) {
        if (c.stage != Connection::Stage::configuration) return outOfOrder("configuration");
        log(c, QStringLiteral("in"), QStringLiteral("configuration"));
        // The TV draws the last two code bytes and shows the digest's first byte before them,
        // so a remote can tell a mistyped code by itself.
        const auto clientKey = identity::RSAPublicKey::fromCertificate(c.clientCertificate);
        if (!clientKey) {
            send(c, TvMsg::pairingFailure(400), QStringLiteral("failure"));
            return;
        }
        const quint32 random = QRandomGenerator::system()->generate();
        const auto b1 = static_cast<std::uint8_t>(random), b2 = static_cast<std::uint8_t>(random >> 8);
        expectedSecret_ = identity::pairingDigest(*clientKey, identity_.publicKey(), b1, b2);
        code_ = QString::fromLatin1(toQByteArray(Bytes{expectedSecret_[0], b1, b2}).toHex().toUpper());
        c.stage = Connection::Stage::secret;
        send(c, TvMsg::pairingConfigurationAck(), QStringLiteral("configurationAck"));
        if (!options_.codeFile.isEmpty()) {
            QFile file(options_.codeFile);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(code_.toLatin1() + '\n');
        }
        log(c, QStringLiteral("-"), QStringLiteral("code"), {{"code", code_}});
        Q_EMIT codeShown(code_);
    } else if (const auto* secret = std::get_if<Secret>(&message)) {
        if (c.stage != Connection::Stage::secret) return outOfOrder("secret");
        const bool match = secret->secret == expectedSecret_;
        log(c, QStringLiteral("in"), QStringLiteral("secret"), {{"accepted", match}});
        if (!match) {
            send(c, TvMsg::pairingFailure(402), QStringLiteral("failure"));
            return;
        }
        c.stage = Connection::Stage::done;
        if (std::find(paired_.begin(), paired_.end(), c.clientCertificate) == paired_.end()) {
            paired_.push_back(c.clientCertificate);
            savePaired();
        }
        code_.clear();
        send(c, TvMsg::pairingSecretAck(secret->secret), QStringLiteral("secretAck"));
        Q_EMIT paired();
    } else {
        log(c, QStringLiteral("in"), QStringLiteral("unknown"));
        send(c, TvMsg::pairingFailure(400), QStringLiteral("failure"));
    }
}

void Simulator::onRemoteClient(QSslSocket* socket)
{
    Connection& conn = accept(socket, false);
    if (faults_.oversized) {
        const Bytes header = protocol::encodeVarint(protocol::FrameBuffer::maxFrameLength + 1);
        socket->write(toQByteArray(header) + QByteArray(16, 'x'));
        log(conn, QStringLiteral("out"), QStringLiteral("oversized"));
        return;
    }
    if (faults_.garbage) {
        for (const char* junk : {"\x0b\x01\x02", "\xff\xff\xff", "\x12\x7f"}) {
            socket->write(toQByteArray(protocol::framed(view(QByteArray(junk)))));
        }
        log(conn, QStringLiteral("out"), QStringLiteral("garbage"));
    }
    const Bytes configure = TvMsg::configure(options_.features, "tvsim", "Telvanto");
    if (faults_.closeMidFrame) {
        socket->write(toQByteArray(configure).left(static_cast<qsizetype>(configure.size() / 2)));
        socket->flush();
        socket->disconnectFromHost();
        log(conn, QStringLiteral("out"), QStringLiteral("half frame"));
        return;
    }
    send(conn, configure, QStringLiteral("configure"));
}

void Simulator::onRemoteMessage(Connection& c, const Bytes& payload)
{
    using namespace TvMsg::from;
    const auto message = TvMsg::decodeRemote(payload);
    if (const auto* configure = std::get_if<Configure>(&message)) {
        log(c, QStringLiteral("in"), QStringLiteral("configure"), {{"features", static_cast<qint64>(configure->features)}});
        Q_EMIT received(QStringLiteral("configure"));
        send(c, TvMsg::setActive(), QStringLiteral("setActive"));
    } else if (std::holds_alternative<SetActive>(message)) {
        log(c, QStringLiteral("in"), QStringLiteral("setActive"));
        Q_EMIT received(QStringLiteral("setActive"));
        if (c.active) return;
        c.active = true;
        if (faults_.noStart) return;
        sendState(c);
        schedulePing(c);
        Q_EMIT remoteReady();
    } else if (const auto* pong = std::get_if<PingResponse>(&message)) {
        log(c, QStringLiteral("in"), QStringLiteral("pingResponse"), {{"value", static_cast<qint64>(pong->value)}});
        Q_EMIT received(QStringLiteral("pingResponse"));
    } else if (const auto* key = std::get_if<Key>(&message)) {
        const auto tvKey = protocol::tvKeyFromCode(key->code);
        const QString name = tvKey ? QString::fromLatin1(protocol::tvKeyName(*tvKey).data(), static_cast<qsizetype>(protocol::tvKeyName(*tvKey).size()))
                                   : QString::number(key->code);
        log(c, QStringLiteral("in"), QStringLiteral("key"), {{"key", name}, {"code", static_cast<qint64>(key->code)}, {"direction", static_cast<qint64>(key->direction)}});
        Q_EMIT received(QStringLiteral("key ") + name);
        onKey(static_cast<int>(key->code));
    } else if (const auto* batch = std::get_if<ImeBatch>(&message)) {
        // Remotes send what was inserted at the end of the field and take back with deletes.
        const QString inserted = QString::fromStdString(batch->text);
        textField_ += inserted;
        log(c, QStringLiteral("in"), QStringLiteral("imeBatch"), {{"text", inserted}, {"field", textField_}});
        Q_EMIT received(QStringLiteral("imeBatch"));
    } else if (const auto* link = std::get_if<AppLink>(&message)) {
        const QString text = QString::fromStdString(link->link);
        log(c, QStringLiteral("in"), QStringLiteral("appLink"), {{"link", text}});
        Q_EMIT received(QStringLiteral("appLink ") + text);
        onLink(text);
    } else {
        log(c, QStringLiteral("in"), QStringLiteral("unknown"), {{"bytes", QString::fromLatin1(toQByteArray(payload).toHex())}});
        Q_EMIT received(QStringLiteral("unknown"));
    }
}

void Simulator::sendState(Connection& c)
{
    send(c, TvMsg::start(on_), QStringLiteral("start"), powerFields());
    send(c, TvMsg::volume(volume_, maxVolume_, muted_), QStringLiteral("volume"), volumeFields());
    send(c, TvMsg::currentApp(foregroundApp_.toStdString()), QStringLiteral("currentApp"), appFields());
    send(c, TvMsg::imeBatch(imeCounter_, fieldCounter_), QStringLiteral("imeBatch"));
}

void Simulator::schedulePing(Connection& c)
{
    QPointer<QSslSocket> socket = c.socket;
    c.pingTimer = scheduler_.schedule(options_.pingInterval, [this, socket] {
        Connection* current = find(socket);
        if (!current) return;
        if (!faults_.noPings) send(*current, TvMsg::ping(nextPing_++), QStringLiteral("ping"));
        schedulePing(*current);
    });
}

QJsonObject Simulator::powerFields() const { return {{"on", on_}}; }

QJsonObject Simulator::volumeFields() const { return {{"level", volume_}, {"max", maxVolume_}, {"muted", muted_}}; }

QJsonObject Simulator::appFields() const
{
    QJsonObject fields{{"app", foregroundApp_}};
    // The name people know the app by, where the remote's catalogue has it.
    if (const tv::TVApp* known = tv::TVApp::find(foregroundApp_)) fields.insert(QStringLiteral("name"), known->name);
    return fields;
}

void Simulator::reportVolume() { broadcast(TvMsg::volume(volume_, maxVolume_, muted_), QStringLiteral("volume"), volumeFields()); }

void Simulator::onKey(int code)
{
    const auto key = protocol::tvKeyFromCode(code);
    if (!key) return;
    using protocol::TVKey;
    auto setPower = [this](bool on) {
        on_ = on;
        broadcast(TvMsg::start(on_), QStringLiteral("start"), powerFields());
    };
    switch (*key) {
    case TVKey::power: setPower(!on_); return;
    case TVKey::wakeUp: setPower(true); return;
    case TVKey::sleep: setPower(false); return;
    default: break;
    }
    if (!on_) return; // a TV in standby only wakes up
    switch (*key) {
    case TVKey::volumeUp:
        volume_ = std::min(volume_ + 1, maxVolume_);
        muted_ = false;
        reportVolume();
        break;
    case TVKey::volumeDown:
        volume_ = std::max(volume_ - 1, 0);
        muted_ = false;
        reportVolume();
        break;
    case TVKey::mute:
        muted_ = !muted_;
        reportVolume();
        break;
    case TVKey::home:
        setForegroundApp(QString::fromLatin1(launcherPackage));
        break;
    case TVKey::deleteKey:
        if (!textField_.isEmpty()) {
            QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, textField_);
            finder.toEnd();
            textField_.truncate(finder.toPreviousBoundary());
        }
        break;
    default: // the rest moves focus or plays media on screen; nothing to report
        break;
    }
}

void Simulator::onLink(const QString& link)
{
    if (!on_) return;
    const QString market = QStringLiteral("market://launch?id=");
    if (link.startsWith(market)) {
        setForegroundApp(link.mid(market.size()));
        return;
    }
    // The links apps open themselves with, as the remote's catalogue sends them.
    for (const protocol::AppLink& app : protocol::appLinks) {
        if (link.startsWith(QLatin1String(app.link.data(), static_cast<qsizetype>(app.link.size())))) {
            setForegroundApp(QLatin1String(app.package.data(), static_cast<qsizetype>(app.package.size())));
            return;
        }
    }
    if (link.startsWith(QLatin1String("http://")) || link.startsWith(QLatin1String("https://"))) {
        setForegroundApp(QString::fromLatin1(browserPackage));
    }
}

void Simulator::setForegroundApp(const QString& package)
{
    if (package == foregroundApp_) return;
    foregroundApp_ = package;
    broadcast(TvMsg::currentApp(package.toStdString()), QStringLiteral("currentApp"), appFields());
    Q_EMIT foregroundAppChanged(package);
}

QString Simulator::stateJson() const
{
    QJsonObject state{{"on", on_},
                      {"volume", volume_},
                      {"maxVolume", maxVolume_},
                      {"muted", muted_},
                      {"app", foregroundApp_},
                      {"text", textField_},
                      {"code", code_},
                      {"pairedClients", pairedClients()},
                      {"remoteConnections", remoteConnections()},
                      {"pairingPort", boundPairingPort_},
                      {"remotePort", boundRemotePort_}};
    return QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
}

QString Simulator::runCommand(const QString& line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) return {};
    const QString command = words[0];
    const QString arg = words.value(1);
    const bool on = arg != QLatin1String("off");
    auto toggle = [&](bool& flag) {
        flag = on;
        applyFaults();
        return QStringLiteral("ok");
    };
    if (command == QLatin1String("refuse")) return toggle(faults_.refuse);
    if (command == QLatin1String("no-start")) return toggle(faults_.noStart);
    if (command == QLatin1String("silent")) return toggle(faults_.silent);
    if (command == QLatin1String("no-pings")) return toggle(faults_.noPings);
    if (command == QLatin1String("close-mid-frame")) return toggle(faults_.closeMidFrame);
    if (command == QLatin1String("oversized")) return toggle(faults_.oversized);
    if (command == QLatin1String("garbage")) return toggle(faults_.garbage);
    if (command == QLatin1String("trickle")) return toggle(faults_.trickle);
    if (command == QLatin1String("close-after") || command == QLatin1String("reject-pairing")) {
        bool ok = false;
        const int n = arg.toInt(&ok);
        if (on && (!ok || n < 0)) return QStringLiteral("error: %1 needs a number or off").arg(command);
        (command == QLatin1String("close-after") ? faults_.closeAfter : faults_.rejectPairing) = on ? n : (command == QLatin1String("close-after") ? -1 : 0);
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("forget")) {
        forgetClients();
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("new-identity")) {
        switchIdentity();
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("restart")) {
        restart();
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("launch") && !arg.isEmpty()) {
        setForegroundApp(arg);
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("state")) return stateJson();
    if (command == QLatin1String("code")) return code_;
    return QStringLiteral("error: unknown command '%1'").arg(command);
}

} // namespace telvanto::tvsim
