#pragma once

#include "core/Bytes.h"
#include "core/Scheduler.h"
#include "identity/CredentialStore.h"
#include "identity/RSAPublicKey.h"
#include "platform/DirectoryWatcher.h"
#include "platform/NetworkMonitor.h"
#include "platform/Settings.h"
#include "transport/Channel.h"
#include "tv/TVApp.h"
#include "tv/TVLookup.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

namespace telvanto::tv {

// A TV seen on the network.
struct FoundTV {
    QString name; // the service name, which identifies it
    QString host; // dotted IPv4
    bool operator==(const FoundTV&) const = default;
};

// The TV's ports; tests move them.
struct TVPorts {
    quint16 pairing = 6467;
    quint16 remote = 6466;
};

// The one object through which the application talks to the TV: it pairs, holds the remote
// connection up by itself, sends commands and publishes what the TV reports. Main thread only.
class TVController final : public QObject {
    Q_OBJECT

public:
    struct Status {
        enum class Case { failed, idle, searching, connecting, connected, needsPairing, pairing, waitingForCode };
        Case kind = Case::idle;
        QString text; // what went wrong; only for failed

        static Status failed(QString message) { return {Case::failed, std::move(message)}; }
        static Status of(Case kind) { return {kind, {}}; }
        bool is(Case other) const { return kind == other; }
        // The same failure twice is no change.
        bool operator==(const Status& other) const
        {
            return kind == other.kind && (kind != Case::failed || text == other.text);
        }
    };

    struct Volume {
        qint64 level = 0;
        qint64 max = 0;
        bool muted = false;
        bool operator==(const Volume&) const = default;
    };

    static constexpr std::chrono::seconds watchdogPeriod{2};
    static constexpr std::chrono::seconds connectTimeout{12};
    static constexpr std::chrono::seconds silenceTimeout{16};
    static constexpr std::chrono::seconds firstReconnectDelay{1};
    static constexpr std::chrono::seconds maxReconnectDelay{15};
    static constexpr std::chrono::seconds pendingMaxAge{4};
    static constexpr qint64 featureMask = 615;
    static constexpr int lookupEvery = 3; // counted failures between look-ups by name

    Q_PROPERTY(telvanto::tv::TVController::Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(QList<telvanto::tv::FoundTV> found READ found NOTIFY foundChanged)
    Q_PROPERTY(std::optional<telvanto::tv::TVController::Volume> volume READ volume NOTIFY volumeChanged)
    Q_PROPERTY(QString currentApp READ currentApp NOTIFY currentAppChanged)
    Q_PROPERTY(bool isOn READ isOn NOTIFY isOnChanged)
    Q_PROPERTY(bool isPaired READ isPaired NOTIFY isPairedChanged)
    Q_PROPERTY(QString verifiedHost READ verifiedHost NOTIFY verifiedHostChanged)
    Q_PROPERTY(QString host READ host NOTIFY hostChanged)
    Q_PROPERTY(QString tvName READ tvName WRITE setTvName NOTIFY tvNameChanged)

    // Reads the stored pairing and follows changes other programs make to it (credentialWatch
    // watches the credentials' directory); nothing goes on the network before start.
    TVController(core::Scheduler& scheduler, transport::ChannelFactory& channels,
                 const identity::CredentialStore& credentials, platform::Settings& settings, TVLookup& lookup,
                 platform::NetworkMonitor& network, platform::DirectoryWatcher& credentialWatch, QString deviceName,
                 TVPorts ports = {}, QObject* parent = nullptr);
    ~TVController() override;

    const Status& status() const { return status_; }
    const QList<FoundTV>& found() const { return found_; }
    const std::optional<Volume>& volume() const { return volume_; }
    const QString& currentApp() const { return currentApp_; }
    bool isOn() const { return isOn_; }
    bool isPaired() const { return isPaired_; }
    const QString& verifiedHost() const { return verifiedHost_; }
    const QString& host() const { return host_; }
    const QString& tvName() const { return tvName_; }
    // Why the last connection to the TV, remote or pairing, ended; none after an orderly end.
    const std::optional<transport::Channel::Error>& lastError() const { return lastError_; }
    // Renames the chosen TV and remembers the name.
    void setTvName(const QString& name);

    // Once, when the application's window or menu first shows; again means "reconnect".
    void start();
    void reconnectNow();
    void selectTV(const QString& name, const QString& host);

    void startPairing();
    void cancelPairing();
    // True when the code passed its check and the secret went to the TV.
    bool submitCode(const QString& code);

    // One framed remote message: sent now when connected, else kept briefly for the connection.
    void send(const Bytes& message);
    void launch(const QString& package);
    // Mirrors a text-field edit on the TV.
    void typeText(const QString& oldText, const QString& newText);

Q_SIGNALS:
    void statusChanged();
    void foundChanged();
    void volumeChanged();
    void currentAppChanged();
    void isOnChanged();
    void isPairedChanged();
    void verifiedHostChanged();
    void hostChanged();
    void tvNameChanged();

private:
    using Channel = transport::Channel;
    using Duration = core::Duration;

    struct Pending {
        Bytes message;
        core::TimePoint at;
    };

    void saveHost(const QString& host);
    void saveName();
    void savePinnedKey();
    void storedPairingChanged();

    void startBrowsing();
    void addFound(const QString& name, const QString& host);
    void startWatchdog();
    void watchdogTick();
    void startPathMonitor();
    void pathChanged(bool satisfied);

    void connectRemote();
    void scheduleReconnect();
    void handleRemoteEvent(const Channel::Event& event, Channel& channel);
    void handleRemoteMessage(ByteView payload, Channel& channel);
    void handleRemoteClosed(const std::optional<Channel::Error>& error, Channel& channel);
    void lookUpAgain();
    void dropRemote();

    void autoPairIfNeeded();
    void handlePairingEvent(const Channel::Event& event, Channel& channel);
    void handlePairingMessage(ByteView payload, Channel& channel);
    void dropPairing();

    void flushPending();

    void setStatus(const Status& status);
    void setVolume(const std::optional<Volume>& volume);
    void setCurrentApp(const QString& package);
    void setIsOn(bool on);
    void setIsPaired(bool paired);
    void setVerifiedHost(const QString& host);
    void setHost(const QString& host);
    void setTvNameValue(const QString& name);

    core::Scheduler& scheduler_;
    transport::ChannelFactory& channels_;
    const identity::CredentialStore& credentials_;
    platform::Settings& settings_;
    TVLookup& lookup_;
    platform::NetworkMonitor& network_;
    platform::DirectoryWatcher& credentialWatch_;
    const QString deviceName_;
    const TVPorts ports_;

    Status status_;
    QList<FoundTV> found_;
    std::optional<Volume> volume_;
    QString currentApp_;
    bool isOn_ = true;
    bool isPaired_ = false;
    QString verifiedHost_;
    QString host_;
    QString savedHost_;
    QString tvName_;
    std::optional<identity::RSAPublicKey> pinnedKey_;
    std::optional<transport::Channel::Error> lastError_;
    transport::ChannelPtr remote_;
    transport::ChannelPtr pairing_;
    bool browsing_ = false;
    bool pathMonitorStarted_ = false;
    bool pathWasSatisfied_ = true;
    qint64 imeCounter_ = 0;
    qint64 fieldCounter_ = 0;
    Duration reconnectDelay_ = firstReconnectDelay;
    int failedAttempts_ = 0;
    core::TaskHandle reconnectTask_;
    core::TaskHandle watchdog_;
    core::TimePoint connectStarted_{};
    core::TimePoint lastMessage_{};
    bool wantsConnection_ = false;
    bool autoPairTried_ = false;
    bool secretSent_ = false;
    std::vector<Pending> pending_;
    qint64 activeFeatures_ = featureMask;
};

} // namespace telvanto::tv
