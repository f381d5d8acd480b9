#include "tv/TVController.h"
#include "transport/QtBytes.h"

#include "core/Overloaded.h"
#include "identity/ClientIdentity.h"
#include "identity/PairingSecret.h"
#include "protocol/PairingMsg.h"
#include "protocol/RemoteMsg.h"
#include "tv/Texts.h"

#include <QPointer>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <variant>

namespace telvanto::tv {

using transport::view;

namespace {

using Case = TVController::Status::Case;
using namespace telvanto::protocol;

// User-perceived characters.
QStringList graphemes(const QString& text)
{
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        out.append(text.mid(start, finder.position() - start));
        start = finder.position();
    }
    return out;
}

} // namespace

TVController::TVController(core::Scheduler& scheduler, transport::ChannelFactory& channels,
                           const identity::CredentialStore& credentials, platform::Settings& settings,
                           TVLookup& lookup, platform::NetworkMonitor& network,
                           platform::DirectoryWatcher& credentialWatch, QString deviceName, TVPorts ports,
                           QObject* parent)
    : QObject(parent), scheduler_(scheduler), channels_(channels), credentials_(credentials), settings_(settings),
      lookup_(lookup), network_(network), credentialWatch_(credentialWatch), deviceName_(std::move(deviceName)),
      ports_(ports)
{
    savedHost_ = settings_.tvHost().value_or(QString());
    host_ = savedHost_;
    credentials_.storeHost(savedHost_.toStdString()); // the share helper reads it there
    tvName_ = settings_.tvName().value_or(texts::defaultTvName());

    if (const auto legacy = settings_.legacyTvKey()) {
        if (const auto key = identity::RSAPublicKey::fromPkcs1(view(*legacy))) {
            credentials_.storePinnedKey(key);
            // Only once the key is safely stored: a failed write must not lose the pairing.
            const auto stored = credentials_.loadPinnedKey();
            if (stored && stored->pkcs1() == key->pkcs1()) settings_.removeLegacyTvKey();
        }
    }
    pinnedKey_ = credentials_.loadPinnedKey();
    isPaired_ = pinnedKey_.has_value();
    credentialWatch_.start([guard = QPointer<TVController>(this)] {
        if (guard) guard->storedPairingChanged();
    });
}

TVController::~TVController()
{
    credentialWatch_.stop();
    if (pathMonitorStarted_) network_.stop();
}

// Persistence

void TVController::saveHost(const QString& host)
{
    savedHost_ = host;
    settings_.setTvHost(host);
    credentials_.storeHost(host.toStdString());
}

void TVController::saveName() { settings_.setTvName(tvName_); }

void TVController::savePinnedKey()
{
    credentials_.storePinnedKey(pinnedKey_);
    setIsPaired(pinnedKey_.has_value());
}

// Another program (the app, telvanto-cli) paired again, or reached the TV at a new address.
void TVController::storedPairingChanged()
{
    const std::optional<identity::RSAPublicKey> key = credentials_.loadPinnedKey();
    const QString host = QString::fromStdString(credentials_.loadHost().value_or(std::string()));
    const bool keyChanged = key != pinnedKey_;
    const bool hostChanged = !host.isEmpty() && host != savedHost_;
    if (!keyChanged && !hostChanged) return; // our own writes come back here too
    if (keyChanged) {
        pinnedKey_ = key;
        setIsPaired(pinnedKey_.has_value());
    }
    if (hostChanged) savedHost_ = host;
    if (pairing_) return; // a pairing running here stores its own outcome
    // A connection that works stays where it is; the new address serves the next one.
    const bool keep = status_.is(Case::connected) && !keyChanged;
    if (hostChanged && !keep) setHost(host);
    if (!wantsConnection_ || keep) return;
    if (!pinnedKey_) {
        // Unpaired elsewhere: shown, but pairing again is the user's choice.
        reconnectTask_.reset();
        dropRemote();
        setStatus(Status::of(Case::needsPairing));
        return;
    }
    reconnectNow();
}

void TVController::setTvName(const QString& name)
{
    setTvNameValue(name);
    saveName();
}

// Start-up

void TVController::start()
{
    if (wantsConnection_) {
        if (!status_.is(Case::connected)) reconnectNow();
        return;
    }
    wantsConnection_ = true;
    startBrowsing();
    startPathMonitor();
    startWatchdog();
    if (!host_.isEmpty()) connectRemote();
}

void TVController::startBrowsing()
{
    if (browsing_) return;
    browsing_ = true;
    // Every change of what is announced resolves every TV again, so a TV that moved is
    // followed to its new address.
    lookup_.browse([guard = QPointer<TVController>(this)](const QStringList& names) {
        TVController* self = guard.data();
        if (!self) return;
        for (const QString& name : names) {
            self->lookup_.resolveByName(name, [guard, name](std::optional<QString> host) {
                TVController* tv = guard.data();
                if (tv && host && !host->isEmpty()) tv->addFound(name, *host);
            });
        }
    });
    if (host_.isEmpty()) setStatus(Status::of(Case::searching));
}

void TVController::addFound(const QString& name, const QString& host)
{
    const FoundTV tv{name, host};
    const auto known = std::find_if(found_.begin(), found_.end(), [&](const FoundTV& f) { return f.name == name; });
    if (known == found_.end()) {
        found_.append(tv);
        Q_EMIT foundChanged();
    } else if (*known != tv) {
        *known = tv;
        Q_EMIT foundChanged();
    }
    if (host_.isEmpty()) {
        selectTV(name, host); // the first TV found becomes the chosen one
        return;
    }
    if (name == tvName_ && host != host_ && !status_.is(Case::connected) && !pairing_) {
        setHost(host);
        reconnectNow();
    }
}

void TVController::startWatchdog()
{
    watchdog_ = scheduler_.schedule(watchdogPeriod, [this] { watchdogTick(); });
}

void TVController::watchdogTick()
{
    watchdog_ = scheduler_.schedule(watchdogPeriod, [this] { watchdogTick(); });
    if (!remote_) return;
    const auto now = scheduler_.now();
    if ((status_.is(Case::connecting) && now - connectStarted_ > connectTimeout) ||
        (status_.is(Case::connected) && now - lastMessage_ > silenceTimeout)) {
        remote_->cancel(); // reported as closed, and handled as any other close
    }
}

void TVController::startPathMonitor()
{
    if (pathMonitorStarted_) return;
    pathMonitorStarted_ = true;
    network_.start([guard = QPointer<TVController>(this)](bool satisfied) {
        if (guard) guard->pathChanged(satisfied);
    });
}

void TVController::pathChanged(bool satisfied)
{
    // The network coming back always reconnects; a change while all is well does not.
    if (satisfied && !(pathWasSatisfied_ && status_.is(Case::connected))) reconnectNow();
    pathWasSatisfied_ = satisfied;
}

// Choosing a TV

void TVController::selectTV(const QString& name, const QString& host)
{
    // An empty address selects nothing; taking it would drop a running connection and leave
    // nothing to reconnect to.
    if (host.isEmpty()) return;
    const bool otherTV = name != tvName_;
    setHost(host);
    setTvNameValue(name);
    saveName();
    if (otherTV) {
        pinnedKey_.reset();
        savePinnedKey();
        autoPairTried_ = false;
    }
    // A pairing still running with another address would pin that TV's key for this one.
    if (pairing_ && pairing_->host() != host) dropPairing();
    dropRemote();
    connectRemote();
}

// Remote connection

void TVController::connectRemote()
{
    if (host_.isEmpty() || remote_ || pairing_) return;
    if (!pinnedKey_) {
        setStatus(Status::of(Case::needsPairing));
        autoPairIfNeeded();
        return;
    }
    std::optional<identity::ClientIdentity> identity;
    try {
        identity = identity::loadOrCreateIdentity(credentials_, deviceName_.toStdString());
    } catch (const identity::IdentityError& error) {
        setStatus(Status::failed(QString::fromStdString(error.text())));
        scheduleReconnect();
        return;
    }
    setStatus(Status::of(Case::connecting));
    connectStarted_ = lastMessage_ = scheduler_.now();
    remote_ = channels_.open(host_, ports_.remote, std::move(identity), pinnedKey_);
    Channel* channel = remote_.get();
    channel->onEvent = [this, channel](const Channel::Event& event) {
        if (remote_.get() == channel) handleRemoteEvent(event, *channel); // late events of a replaced one are dropped
    };
    channel->start();
}

void TVController::handleRemoteEvent(const Channel::Event& event, Channel& channel)
{
    std::visit(Overloaded{
                   [&](const Channel::Message& message) { handleRemoteMessage(message.payload, channel); },
                   [&](const Channel::Closed& closed) { handleRemoteClosed(closed.error, channel); },
                   [](const Channel::Ready&) {}, // the TV speaks first
               },
               event);
}

void TVController::handleRemoteMessage(ByteView payload, Channel& channel)
{
    lastMessage_ = scheduler_.now();
    const auto reply = [this](const Bytes& frame) {
        if (remote_) remote_->send(frame);
    };
    std::visit(Overloaded{
                   [&](const RemoteMsg::in::Configure& m) {
                       activeFeatures_ = m.features == 0 ? featureMask : (m.features & featureMask);
                       reply(RemoteMsg::configure(activeFeatures_));
                   },
                   [&](const RemoteMsg::in::Ping& m) { reply(RemoteMsg::pingResponse(m.value)); },
                   [&](const RemoteMsg::in::Start& m) {
                       setIsOn(m.on);
                       setStatus(Status::of(Case::connected));
                       reconnectDelay_ = firstReconnectDelay;
                       failedAttempts_ = 0;
                       setVerifiedHost(channel.host());
                       saveHost(channel.host());
                       flushPending();
                   },
                   [&](const RemoteMsg::in::Volume& m) { setVolume(Volume{m.level, m.max, m.muted}); },
                   [&](const RemoteMsg::in::CurrentApp& m) { setCurrentApp(QString::fromStdString(m.package)); },
                   [&](const RemoteMsg::in::ImeBatch& m) {
                       imeCounter_ = m.ime;
                       fieldCounter_ = m.field;
                   },
                   [&](const RemoteMsg::in::SetActive&) { reply(RemoteMsg::setActive(activeFeatures_)); },
                   [](const RemoteMsg::in::Error&) {},
                   [](const RemoteMsg::in::Other&) {},
               },
               RemoteMsg::decode(payload));
}

void TVController::handleRemoteClosed(const std::optional<Channel::Error>& error, Channel& channel)
{
    const QString closedHost = channel.host();
    const bool pinMismatch = channel.keyBox().pinMismatch;
    lastError_ = error;
    remote_.reset(); // safe inside the channel's own handler
    setVerifiedHost(QString());
    const Status before = status_;

    if (!savedHost_.isEmpty() && closedHost != savedHost_) {
        // Another address than the working one was tried: go back to the one that worked.
        setHost(savedHost_);
        setStatus(Status::failed(texts::unreachable()));
        scheduleReconnect();
        return;
    }
    if (pinMismatch) {
        setStatus(Status::failed(texts::otherDevice())); // no retry: it would meet the same device
        return;
    }
    QString text;
    if (before.is(Case::connected)) {
        text = texts::connectionLost();
    } else if (error && error->kind == Channel::Error::Kind::tls) {
        if (!pinnedKey_) {
            setStatus(Status::of(Case::needsPairing));
            autoPairIfNeeded();
            return;
        }
        setStatus(Status::failed(texts::forgotten()));
        scheduleReconnect();
        return;
    } else {
        text = texts::unreachable();
    }
    setStatus(Status::failed(text));
    ++failedAttempts_;
    if (failedAttempts_ % lookupEvery == 0) lookUpAgain();
    if (!remote_) scheduleReconnect(); // unless the look-up already reconnected
}

void TVController::lookUpAgain()
{
    const QString name = tvName_;
    lookup_.resolveByName(name, [guard = QPointer<TVController>(this), name](std::optional<QString> found) {
        TVController* self = guard.data();
        // An answer about a TV that is no longer the chosen one is not applied.
        if (!self || !found || found->isEmpty() || self->tvName_ != name || *found == self->host_) return;
        if (self->status_.is(Case::connected) || self->pairing_) return;
        self->setHost(*found);
        self->reconnectNow();
    });
}

void TVController::scheduleReconnect()
{
    if (!wantsConnection_) return;
    reconnectTask_.reset();
    const Duration delay = reconnectDelay_;
    reconnectDelay_ = std::min<Duration>(2 * delay, maxReconnectDelay);
    reconnectTask_ = scheduler_.schedule(delay, [this] { connectRemote(); });
}

void TVController::reconnectNow()
{
    if (!wantsConnection_ || pairing_) return;
    reconnectTask_.reset();
    dropRemote();
    reconnectDelay_ = firstReconnectDelay;
    connectRemote();
}

void TVController::dropRemote()
{
    if (!remote_) return;
    remote_->cancel();
    remote_.reset(); // its close is not reported to us any more
    setVerifiedHost(QString());
}

// Pairing

void TVController::startPairing()
{
    if (host_.isEmpty()) return;
    reconnectTask_.reset();
    dropRemote();
    dropPairing();
    std::optional<identity::ClientIdentity> identity;
    try {
        identity = identity::identityForPairing(credentials_, deviceName_.toStdString());
    } catch (const identity::IdentityError& error) {
        setStatus(Status::failed(QString::fromStdString(error.text())));
        return;
    }
    setStatus(Status::of(Case::pairing));
    secretSent_ = false;
    pairing_ = channels_.open(host_, ports_.pairing, std::move(identity), std::nullopt);
    Channel* channel = pairing_.get();
    channel->onEvent = [this, channel](const Channel::Event& event) {
        if (pairing_.get() == channel) handlePairingEvent(event, *channel);
    };
    channel->start();
}

void TVController::handlePairingEvent(const Channel::Event& event, Channel& channel)
{
    std::visit(Overloaded{
                   [&](const Channel::Ready&) { channel.send(PairingMsg::request(deviceName_.toStdString())); },
                   [&](const Channel::Message& message) { handlePairingMessage(message.payload, channel); },
                   [&](const Channel::Closed& closed) {
                       lastError_ = closed.error;
                       pairing_.reset();
                       if (status_.is(Case::pairing) || status_.is(Case::waitingForCode)) {
                           setStatus(Status::failed(texts::pairingInterrupted()));
                       }
                   },
               },
               event);
}

void TVController::handlePairingMessage(ByteView payload, Channel& channel)
{
    namespace reply = PairingMsg::reply;
    std::visit(Overloaded{
                   [&](const reply::Failed& m) {
                       dropPairing();
                       setStatus(Status::failed(m.status == 402 ? texts::wrongCode() : texts::pairingRefused(m.status)));
                   },
                   [&](const reply::RequestAck&) { channel.send(PairingMsg::option()); },
                   [&](const reply::Option&) { channel.send(PairingMsg::configuration()); },
                   [&](const reply::ConfigurationAck&) { setStatus(Status::of(Case::waitingForCode)); },
                   [&](const reply::SecretAck&) {
                       const auto tvKey = channel.serverKey();
                       if (!status_.is(Case::waitingForCode) || !secretSent_ || !tvKey) {
                           dropPairing();
                           setStatus(Status::failed(texts::pairingFailed()));
                           return;
                       }
                       const QString tvHost = channel.host();
                       pinnedKey_ = tvKey;
                       savePinnedKey();
                       saveHost(tvHost);
                       setHost(tvHost);
                       dropPairing();
                       reconnectDelay_ = firstReconnectDelay;
                       failedAttempts_ = 0;
                       connectRemote();
                   },
                   [](const reply::Other&) {},
               },
               PairingMsg::decode(payload));
}

bool TVController::submitCode(const QString& code)
{
    if (!pairing_ || !pairing_->serverKey()) return false;
    const auto found = identity::findIdentity(credentials_);
    const auto* client = std::get_if<identity::findResult::Found>(&found);
    if (!client) return false;
    const identity::RSAPublicKey clientKey = client->identity.publicKey();
    if (clientKey.modulus.empty()) return false;
    const auto secret =
        identity::pairingSecret(code.trimmed().toUpper().toStdString(), clientKey, *pairing_->serverKey());
    if (!secret) return false;
    pairing_->send(PairingMsg::secret(*secret));
    secretSent_ = true;
    return true;
}

void TVController::autoPairIfNeeded()
{
    if (autoPairTried_ || !wantsConnection_ || host_.isEmpty()) return;
    autoPairTried_ = true;
    startPairing();
}

void TVController::cancelPairing()
{
    dropPairing();
    if (pinnedKey_) {
        setStatus(Status::of(Case::idle));
        reconnectNow();
    } else {
        setStatus(Status::of(Case::needsPairing));
    }
}

void TVController::dropPairing()
{
    if (!pairing_) return;
    pairing_->cancel();
    pairing_.reset();
}

// Commands

void TVController::send(const Bytes& message)
{
    if (remote_ && status_.is(Case::connected)) {
        remote_->send(message);
        return;
    }
    const auto now = scheduler_.now();
    // What is already too old to go out later is let go now, so a long outage holds nothing.
    std::erase_if(pending_, [&](const Pending& p) { return now - p.at >= pendingMaxAge; });
    pending_.push_back({message, now});
    if (!remote_ && !pairing_) {
        reconnectDelay_ = firstReconnectDelay; // a button press wakes the connection
        connectRemote();
    }
}

void TVController::flushPending()
{
    const auto now = scheduler_.now();
    std::vector<Pending> queued;
    queued.swap(pending_);
    for (const Pending& p : queued) {
        if (now - p.at < pendingMaxAge && remote_) remote_->send(p.message);
    }
}

void TVController::launch(const QString& package)
{
    const TVApp* app = TVApp::find(package);
    const std::string link = app ? app->link.toStdString() : RemoteMsg::marketLink(package.toStdString());
    send(RemoteMsg::appLink(link));
}

void TVController::typeText(const QString& oldText, const QString& newText)
{
    const QStringList before = graphemes(oldText);
    const QStringList after = graphemes(newText);
    qsizetype common = 0;
    while (common < before.size() && common < after.size() && before[common] == after[common]) ++common;
    for (qsizetype i = common; i < before.size(); ++i) send(RemoteMsg::key(TVKey::deleteKey));
    const QString insertion = after.mid(common).join(QString());
    if (!insertion.isEmpty()) send(RemoteMsg::imeBatch(insertion.toStdString(), imeCounter_, fieldCounter_));
}

// Published fields: each notifies only when its value changes.

void TVController::setStatus(const Status& status)
{
    if (status == status_) return;
    status_ = status;
    Q_EMIT statusChanged();
}

void TVController::setVolume(const std::optional<Volume>& volume)
{
    if (volume == volume_) return;
    volume_ = volume;
    Q_EMIT volumeChanged();
}

void TVController::setCurrentApp(const QString& package)
{
    if (package == currentApp_) return;
    currentApp_ = package;
    Q_EMIT currentAppChanged();
}

void TVController::setIsOn(bool on)
{
    if (on == isOn_) return;
    isOn_ = on;
    Q_EMIT isOnChanged();
}

void TVController::setIsPaired(bool paired)
{
    if (paired == isPaired_) return;
    isPaired_ = paired;
    Q_EMIT isPairedChanged();
}

void TVController::setVerifiedHost(const QString& host)
{
    if (host == verifiedHost_) return;
    verifiedHost_ = host;
    Q_EMIT verifiedHostChanged();
}

void TVController::setHost(const QString& host)
{
    if (host == host_) return;
    host_ = host;
    Q_EMIT hostChanged();
}

void TVController::setTvNameValue(const QString& name)
{
    if (name == tvName_) return;
    tvName_ = name;
    Q_EMIT tvNameChanged();
}

} // namespace telvanto::tv
