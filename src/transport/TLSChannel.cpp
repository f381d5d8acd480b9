#include "transport/TLSChannel.h"
#include "transport/QtBytes.h"

#include <QCoreApplication>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>

namespace telvanto::transport {

namespace {

// Qt's key and certificate for the identity; a null key when it cannot be converted.
std::pair<QSslCertificate, QSslKey> toQt(const identity::ClientIdentity& identity)
{
    const QSslCertificate certificate(toQByteArray(identity.certificateDer), QSsl::Der);
    const unsigned char* p = identity.privateKeyDer.data();
    EVP_PKEY* key = d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(identity.privateKeyDer.size()));
    if (!key) return {certificate, QSslKey()};
    return {certificate, QSslKey(reinterpret_cast<Qt::HANDLE>(key), QSsl::PrivateKey)}; // Qt owns the key now
}

bool isTlsError(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError ||
           error == QAbstractSocket::SslInvalidUserDataError;
}

} // namespace

TLSChannel::TLSChannel(QString host, quint16 port, std::optional<identity::ClientIdentity> identity,
                       std::optional<identity::RSAPublicKey> pinned, core::Scheduler& scheduler)
    : host_(std::move(host)), port_(port), pinned_(std::move(pinned)), scheduler_(scheduler),
      socket_(new QSslSocket(this))
{
    ++instances_;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    // Trust no authority: every certificate goes through the key check below.
    config.setCaCertificates({});
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (identity) {
        auto [certificate, key] = toQt(*identity);
        if (!certificate.isNull() && !key.isNull()) {
            config.setLocalCertificate(certificate);
            config.setPrivateKey(key);
        }
    }
    socket_->setSslConfiguration(config);

    connect(socket_, &QSslSocket::connected, this, &TLSChannel::onConnected);
    connect(socket_, &QSslSocket::encrypted, this, &TLSChannel::onEncrypted);
    connect(socket_, &QSslSocket::sslErrors, this, [this] {
        if (acceptPeer()) socket_->ignoreSslErrors();
    });
    connect(socket_, &QSslSocket::readyRead, this, &TLSChannel::readAvailable);
    connect(socket_, &QSslSocket::errorOccurred, this, &TLSChannel::onSocketError);
    connect(socket_, &QSslSocket::disconnected, this, &TLSChannel::onDisconnected);
}

TLSChannel::~TLSChannel() { --instances_; }

void TLSChannel::letDroppedChannelsFinish()
{
    QTimer cap;
    cap.setSingleShot(true);
    cap.start(disposeGrace + std::chrono::milliseconds(200));
    while (instances_ > 0 && cap.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // not done outside exec()
    }
}

void TLSChannel::dispose()
{
    onEvent = nullptr;
    held_.clear();
    closed_ = true;
    connectTimer_.reset();
    if (encrypted_ && socket_->state() == QAbstractSocket::ConnectedState) {
        // Let what was sent reach the TV, then part politely; a peer that does not let go
        // is cut off after a short grace.
        connect(socket_, &QSslSocket::disconnected, this, &QObject::deleteLater);
        QTimer::singleShot(disposeGrace, this, [this] {
            socket_->abort();
            deleteLater();
        });
        socket_->disconnectFromHost();
        return;
    }
    socket_->abort();
    deleteLater();
}

void TLSChannel::start()
{
    const OwnerCall call(ownerCalls_);
    if (started_ || closed_) return;
    started_ = true;
    connectTimer_ = scheduler_.schedule(connectTimeout, [this] {
        close(Error{Error::Kind::connection, "connection timed out"});
    });
    // An address that cannot be reached at all (no route) fails in here already.
    socket_->connectToHostEncrypted(host_, port_);
    if (closed_) return;
    if (!unsent_.empty()) {
        socket_->write(toQByteArray(unsent_));
        unsent_.clear();
    }
}

void TLSChannel::send(ByteView frame)
{
    const OwnerCall call(ownerCalls_);
    if (closed_) return;
    if (!started_) {
        append(unsent_, frame);
        return;
    }
    if (socket_->write(toQByteArray(frame)) < 0) {
        close(Error{Error::Kind::io, socket_->errorString().toStdString()});
    }
}

void TLSChannel::cancel()
{
    const OwnerCall call(ownerCalls_);
    close(std::nullopt);
}

void TLSChannel::onConnected()
{
    tcpConnected_ = true;
    connectTimer_.reset();
    const int fd = static_cast<int>(socket_->socketDescriptor());
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &keepAliveIdleSeconds, sizeof keepAliveIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &keepAliveIntervalSeconds, sizeof keepAliveIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &keepAliveProbes, sizeof keepAliveProbes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The key check, run while the handshake waits for a verdict and again once it is done
// (a certificate that chains to a trusted authority raises no errors to check it in).
bool TLSChannel::acceptPeer()
{
    const QSslCertificate leaf = socket_->peerCertificate();
    if (!leaf.isNull()) keyBox_.key = identity::RSAPublicKey::fromCertificate(view(leaf.toDer()));
    if (!pinned_) return keyBox_.key.has_value();
    const bool match = keyBox_.key && *keyBox_.key == *pinned_;
    keyBox_.pinMismatch = !match;
    return match;
}

void TLSChannel::onEncrypted()
{
    if (closed_) return;
    if (!acceptPeer()) {
        // Frames written before the handshake are still held back: nothing reaches this peer.
        close(Error{Error::Kind::tls, keyBox_.pinMismatch ? "server key does not match" : "server key unreadable"});
        return;
    }
    encrypted_ = true;
    serverKey_ = keyBox_.key;
    deliver(Ready{});
    readAvailable();
}

void TLSChannel::readAvailable()
{
    while (!closed_ && encrypted_ && socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(maxReadChunk);
        if (chunk.isEmpty()) break;
        receivedAny_ = true;
        auto result = frames_.append(view(chunk));
        auto* frames = std::get_if<protocol::FrameBuffer::Frames>(&result);
        if (!frames) {
            close(Error{Error::Kind::oversized, "frame too large"});
            return;
        }
        for (Bytes& frame : *frames) {
            if (closed_) return;
            deliver(Message{std::move(frame)});
        }
    }
}

void TLSChannel::onSocketError()
{
    if (closed_) return;
    const auto error = socket_->error();
    const std::string reason = socket_->errorString().toStdString();
    if (!tcpConnected_) {
        close(Error{Error::Kind::connection, reason});
    } else if (!encrypted_) {
        // A peer that hangs up during the handshake has refused it.
        const bool tls = isTlsError(error) || error == QAbstractSocket::RemoteHostClosedError;
        close(Error{tls ? Error::Kind::tls : Error::Kind::io, reason});
    } else if (error == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
    } else {
        close(Error{isTlsError(error) ? Error::Kind::tls : Error::Kind::io, reason});
    }
}

void TLSChannel::onDisconnected()
{
    if (closed_) return;
    if (!encrypted_) {
        close(Error{tcpConnected_ ? Error::Kind::tls : Error::Kind::connection, "connection closed during the handshake"});
        return;
    }
    // The TV's last words still count.
    readAvailable();
    if (!receivedAny_) {
        // With TLS 1.3 the server judges our certificate after our side of the handshake is
        // done, so a refusal arrives as the end of the session. A TV speaks first once it
        // accepts us; ending before any byte is the refusal, not an orderly end.
        close(Error{Error::Kind::tls, "connection ended right after the handshake"});
        return;
    }
    close(std::nullopt);
}

void TLSChannel::close(std::optional<Error> error)
{
    if (closed_) return;
    closed_ = true;
    connectTimer_.reset();
    socket_->abort();
    deliver(Closed{std::move(error)});
}

void TLSChannel::deliver(Event event)
{
    if (ownerCalls_ > 0 || !held_.empty()) {
        // The owner is inside a call into the channel: the event waits for the event loop,
        // behind any that wait already.
        held_.push_back(std::move(event));
        if (held_.size() == 1) QMetaObject::invokeMethod(this, [this] { releaseHeld(); }, Qt::QueuedConnection);
        return;
    }
    // A copy: the handler may drop the channel, which clears onEvent.
    if (auto handler = onEvent) handler(event);
}

void TLSChannel::releaseHeld()
{
    while (!held_.empty()) {
        const Event event = std::move(held_.front());
        held_.pop_front();
        if (auto handler = onEvent) handler(event);
    }
}

} // namespace telvanto::transport
