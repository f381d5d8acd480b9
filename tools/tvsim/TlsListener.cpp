#include "TlsListener.h"

#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <openssl/evp.h>

namespace telvanto::tvsim {

TlsListener::TlsListener(Options options, QObject* parent) : QTcpServer(parent), options_(std::move(options)) {}

void TlsListener::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    const auto& id = options_.identity;
    const unsigned char* p = id.privateKeyDer.data();
    EVP_PKEY* key = d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(id.privateKeyDer.size()));

    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(options_.protocol);
    config.setCaCertificates({});
    config.setLocalCertificate(QSslCertificate(
        QByteArray(reinterpret_cast<const char*>(id.certificateDer.data()), static_cast<qsizetype>(id.certificateDer.size())), QSsl::Der));
    if (key) config.setPrivateKey(QSslKey(reinterpret_cast<Qt::HANDLE>(key), QSsl::PrivateKey));
    config.setPeerVerifyMode(options_.requireClientCertificate ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
    socket->setSslConfiguration(config);

    connect(socket, &QSslSocket::sslErrors, socket, [this, socket] {
        const QSslCertificate client = socket->peerCertificate();
        if (!client.isNull() && (!options_.acceptClient || options_.acceptClient(client))) socket->ignoreSslErrors();
    });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] {
        // A certificate trusted without errors still has to be one we accept.
        const QSslCertificate client = socket->peerCertificate();
        if (options_.requireClientCertificate && options_.acceptClient && !options_.acceptClient(client)) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        Q_EMIT clientReady(socket);
    });
    connect(socket, &QSslSocket::errorOccurred, socket, [this, socket] {
        if (!socket->isEncrypted()) {
            Q_EMIT handshakeFailed(socket->errorString());
            socket->deleteLater();
        }
    });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    socket->startServerEncryption();
}

} // namespace telvanto::tvsim
