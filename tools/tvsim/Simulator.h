#pragma once

#include "EventLog.h"
#include "TlsListener.h"
#include "core/Scheduler.h"
#include "identity/ClientIdentity.h"
#include "protocol/FrameBuffer.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSslSocket>
#include <QString>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace telvanto::tvsim {

// A simulated Android TV: the pairing and remote ports of a real TV, its own identity kept
// in a state directory, a TV's reactions to keys, text and app links, and faults on demand.
class Simulator : public QObject {
    Q_OBJECT

public:
    static constexpr const char* launcherPackage = "com.google.android.tvlauncher";
    static constexpr const char* airScreenPackage = "com.ionitech.airscreen";

    struct Options {
        QHostAddress bind = QHostAddress::LocalHost;
        quint16 pairingPort = 6467; // 0: any free port
        quint16 remotePort = 6466;
        std::filesystem::path stateDir;
        QString name = QStringLiteral("Telvanto TV");
        QString codeFile;            // where the pairing code is written, if anywhere
        QString logFile;             // event log (JSON lines), if anywhere
        std::int64_t features = 622; // what the TV offers in its configure message
        std::chrono::milliseconds pingInterval{5000};
        bool emptyOptionAck = false; // answer the option with an empty acknowledgement
        bool newIdentity = false;    // start as a different TV
    };

    // Faults a test or a user can switch on, before start or while running.
    struct Faults {
        bool refuse = false;          // no ports open: connections are refused
        bool noStart = false;         // never send the start message
        bool silent = false;          // send nothing once connected
        bool noPings = false;         // stop sending pings
        int closeAfter = -1;          // close a remote connection after this many sent messages
        bool closeMidFrame = false;   // on the next remote connection, end inside a frame
        bool oversized = false;       // on the next remote connection, announce a huge frame
        bool garbage = false;         // on the next remote connection, send unreadable frames
        bool trickle = false;         // write one byte at a time
        int rejectPairing = 0;        // answer the pairing request with this status
    };

    Simulator(Options options, core::Scheduler& scheduler, QObject* parent = nullptr);
    ~Simulator() override;

    // Loads or makes the identity, opens both ports; false with a reason when it cannot.
    bool start(QString* error = nullptr);
    quint16 pairingPort() const;
    quint16 remotePort() const;

    // Drops every connection and opens the ports again, as a TV that reboots.
    void restart();
    // Makes a new identity: the TV is now another device to its remotes.
    void switchIdentity();
    // Forgets every paired remote.
    void forgetClients();

    Faults& faults() { return faults_; }
    void applyFaults();

    // One line of the control interface ("no-start on", "forget", "state", ...); returns
    // the reply, or an error text starting with "error:".
    QString runCommand(const QString& line);

    // What the TV shows.
    const QString& code() const { return code_; }
    bool isOn() const { return on_; }
    int volume() const { return volume_; }
    int maxVolume() const { return maxVolume_; }
    bool muted() const { return muted_; }
    const QString& foregroundApp() const { return foregroundApp_; }
    const QString& textField() const { return textField_; }
    int pairedClients() const { return static_cast<int>(paired_.size()); }
    int remoteConnections() const;
    identity::RSAPublicKey publicKey() const { return identity_.publicKey(); }
    QString stateJson() const;

    // Makes an app the foreground one, as the TV's own launcher would.
    void setForegroundApp(const QString& package);

Q_SIGNALS:
    void codeShown(const QString& code);
    void paired();
    void remoteReady();           // a remote finished the handshake and got its start
    void foregroundAppChanged(const QString& package);
    void received(const QString& what); // every message received, named as in the log

private:
    struct Connection;
    void listen();
    void closeAll();
    Connection& accept(QSslSocket* socket, bool pairing);
    void readFrom(QSslSocket* socket);
    void onPairingClient(QSslSocket* socket);
    void onRemoteClient(QSslSocket* socket);
    void onPairingMessage(Connection& c, const Bytes& payload);
    void onRemoteMessage(Connection& c, const Bytes& payload);
    void onKey(int code);
    void onLink(const QString& link);
    // The fields go into the log with the message: the values a report carries, so that a
    // reader of the log sees what the TV said.
    void send(Connection& c, const Bytes& frame, const QString& what, const QJsonObject& fields = {});
    void broadcast(const Bytes& frame, const QString& what, const QJsonObject& fields = {});
    void sendState(Connection& c);
    QJsonObject powerFields() const;
    QJsonObject volumeFields() const;
    QJsonObject appFields() const;
    void schedulePing(Connection& c);
    void reportVolume();
    void drop(Connection& c, const QString& reason);
    void log(const Connection& c, const QString& direction, const QString& what, QJsonObject extra = {});
    bool loadIdentity(bool fresh, QString* error);
    void loadPaired();
    void savePaired();
    Connection* find(QSslSocket* socket);

    Options options_;
    core::Scheduler& scheduler_;
    Faults faults_;
    EventLog log_;
    identity::ClientIdentity identity_;
    std::unique_ptr<TlsListener> pairingListener_;
    std::unique_ptr<TlsListener> remoteListener_;
    quint16 boundPairingPort_ = 0;
    quint16 boundRemotePort_ = 0;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<Bytes> paired_; // client certificates (DER)
    int nextConnection_ = 1;
    std::int64_t nextPing_ = 1;

    QString code_;
    Bytes expectedSecret_;
    bool on_ = true;
    int volume_ = 10;
    int maxVolume_ = 100;
    bool muted_ = false;
    QString foregroundApp_ = QString::fromLatin1(launcherPackage);
    QString textField_;
    int imeCounter_ = 1;
    int fieldCounter_ = 1;
};

} // namespace telvanto::tvsim
