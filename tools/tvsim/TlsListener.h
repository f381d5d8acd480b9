#pragma once

#include "identity/ClientIdentity.h"

#include <QHostAddress>
#include <QSslCertificate>
#include <QSsl>
#include <QTcpServer>

#include <functional>

class QSslSocket;

namespace telvanto::tvsim {

// A TLS server socket: accepts connections, runs the server side of the handshake with its
// own identity and hands each encrypted connection on. Client certificates are judged by
// acceptClient; a rejected one fails the handshake, as a TV refuses an unknown remote.
class TlsListener : public QTcpServer {
    Q_OBJECT

public:
    struct Options {
        identity::ClientIdentity identity; // the server's key and certificate
        bool requireClientCertificate = true;
        std::function<bool(const QSslCertificate&)> acceptClient; // none: any certificate
        QSsl::SslProtocol protocol = QSsl::TlsV1_2OrLater;
    };

    explicit TlsListener(Options options, QObject* parent = nullptr);

    void setAcceptClient(std::function<bool(const QSslCertificate&)> accept) { options_.acceptClient = std::move(accept); }
    void setIdentity(const identity::ClientIdentity& identity) { options_.identity = identity; }

Q_SIGNALS:
    void clientReady(QSslSocket* socket);     // handshake done; the listener still owns the socket
    void handshakeFailed(const QString& reason);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Options options_;
};

} // namespace telvanto::tvsim
