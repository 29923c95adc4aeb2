#include "platform/QtTcpClient.h"

#include "diag/Failures.h"
#include "platform/SocketErrors.h"

#include <QCryptographicHash>
#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vindel::platform {
namespace {

bool isLocalhostName(const QString& host)
{
    return host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
           host.compare(u"localhost.", Qt::CaseInsensitive) == 0;
}

// The name a certificate must carry: "host." is the same host as "host",
// and certificates name hosts without the root's final dot.
QString certificateName(const QString& host)
{
    return host.endsWith(u'.') && !host.endsWith(QStringLiteral("..")) ? host.chopped(1) : host;
}

// Fills a socket address for a QHostAddress; false for anything but IPv4/IPv6.
bool toSockAddr(const QHostAddress& address, quint16 port, sockaddr_storage& storage, socklen_t& length)
{
    std::memset(&storage, 0, sizeof storage);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        const QString scope = address.scopeId();
        if (!scope.isEmpty()) {
            bool numeric = false;
            const uint index = scope.toUInt(&numeric);
            in6->sin6_scope_id = numeric ? index : if_nametoindex(scope.toLatin1().constData());
        }
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

} // namespace

QtTcpClient::QtTcpClient(QObject* parent) : QtTcpClient(Options{}, parent) {}

QtTcpClient::QtTcpClient(Options options, QObject* parent) : QObject(parent), m_options(std::move(options))
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &QtTcpClient::connectTimedOut);
    m_nextAddressTimer.setSingleShot(true);
    connect(&m_nextAddressTimer, &QTimer::timeout, this, &QtTcpClient::connectNext);
}

QtTcpClient::~QtTcpClient()
{
    teardown();
}

void QtTcpClient::setDataHandler(std::function<void(const QByteArray&)> handler)
{
    m_onData = std::move(handler);
}

void QtTcpClient::setErrorHandler(std::function<void(const diag::Failure&)> handler)
{
    m_onError = std::move(handler);
}

void QtTcpClient::setSecuredHandler(std::function<void(const Secured&)> handler)
{
    m_onSecured = std::move(handler);
}

void QtTcpClient::addCaCertificates(const QList<QSslCertificate>& certificates)
{
    m_extraCas += certificates;
}

std::optional<diag::Failure> QtTcpClient::connectToServer(const check::ServerAddress& address)
{
    auto failure = connectTo(address.host, address.port);
    if (!failure) {
        m_security = address.security;
        m_pin = address.pin;
    }
    return failure;
}

std::optional<diag::Failure> QtTcpClient::connectTo(const QString& host, quint16 port)
{
    if (m_state != State::Unconnected)
        return diag::failures::InvalidState();
    m_security = check::Security::Plain;
    m_pin.clear();
    m_state = State::Resolving;
    m_host = host;
    m_port = port;
    const quint64 attempt = ++m_attempt;
    // Even a literal address is connected from the event loop, so that no
    // result ever reaches the callbacks before connectTo() has returned.
    QTimer::singleShot(0, this, [this, attempt] {
        if (attempt == m_attempt)
            begin();
    });
    return std::nullopt;
}

void QtTcpClient::begin()
{
    QHostAddress literal;
    if (literal.setAddress(m_host)) {
        // A literal address needs no lookup (QHostInfo would look up its name).
        startConnecting({literal});
        return;
    }
    if (m_options.lookup) {
        lookedUp(m_options.lookup(m_host));
        return;
    }
    const quint64 attempt = m_attempt;
    m_lookupId = QHostInfo::lookupHost(m_host, this, [this, attempt](const QHostInfo& info) {
        if (attempt == m_attempt)
            lookedUp(info);
    });
}

void QtTcpClient::lookedUp(const QHostInfo& info)
{
    m_lookupId = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        // Without a network the resolver cannot answer: that is being off
        // line, not a missing name. "localhost" is never off line.
        if (!isLocalhostName(m_host) && !networkAvailable())
            fail(diag::failures::OffLine());
        else if (info.error() == QHostInfo::NoError)
            fail(diag::failures::HostNotFound()); // a name without addresses
        else
            fail(failureFromLookup(info.error()));
        return;
    }
    startConnecting(info.addresses());
}

void QtTcpClient::startConnecting(QList<QHostAddress> addresses)
{
    // Off line, only loopback destinations remain reachable.
    if (!networkAvailable()) {
        addresses.removeIf([](const QHostAddress& address) { return !address.isLoopback(); });
        if (addresses.isEmpty()) {
            fail(diag::failures::OffLine());
            return;
        }
    }
    m_addresses = std::move(addresses);
    m_nextIndex = 0;
    m_state = State::Connecting;
    m_lastFailure = diag::failures::HostNotFound();
    m_lastFailureIndex = -1;
    m_connectTimer.start(m_options.connectTimeout);
    connectNext();
}

void QtTcpClient::connectNext()
{
    m_nextAddressTimer.stop();
    while (!m_addresses.isEmpty()) {
        const QHostAddress address = m_addresses.takeFirst();
        const qsizetype index = m_nextIndex++;
        const bool loopback = address.isLoopback();
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (!toSockAddr(address, m_port, storage, length)) {
            noteFailure(index, diag::failures::AddressFamilyNotSupported());
            continue;
        }
        const int descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (descriptor < 0) {
            noteFailure(index, failureFromErrno(errno, loopback));
            continue;
        }
        int result = 0;
        do
            result = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&storage), length);
        while (result != 0 && errno == EINTR);
        if (result == 0) {
            m_descriptor = descriptor;
            m_loopbackAddress = loopback;
            connected();
            return;
        }
        if (errno == EINPROGRESS) {
            PendingConnect pending{descriptor, index, loopback, nullptr};
            pending.notifier = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
            const quint64 attempt = m_attempt;
            connect(pending.notifier, &QSocketNotifier::activated, this, [this, attempt, descriptor] {
                if (attempt == m_attempt)
                    connectFinished(descriptor);
            });
            m_pending.append(pending);
            // The next address gets its turn if this one is slow to answer.
            if (!m_addresses.isEmpty())
                m_nextAddressTimer.start(m_options.nextAddressDelay);
            return;
        }
        noteFailure(index, failureFromErrno(errno, loopback));
        ::close(descriptor);
    }
    // Every address has failed: report the failure of the last one.
    if (m_pending.isEmpty())
        fail(m_lastFailure);
}

void QtTcpClient::connectFinished(int descriptor)
{
    const auto it = std::find_if(m_pending.begin(), m_pending.end(), [descriptor](const PendingConnect& p) {
        return p.descriptor == descriptor;
    });
    if (it == m_pending.end())
        return;
    const PendingConnect pending = *it;
    m_pending.erase(it);
    pending.notifier->setEnabled(false);
    pending.notifier->deleteLater(); // is running its own signal right now
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(pending.descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        m_descriptor = pending.descriptor;
        m_loopbackAddress = pending.loopback;
        connected();
        return;
    }
    noteFailure(pending.index, failureFromErrno(error, pending.loopback));
    ::close(pending.descriptor);
    // A failed address hands over to the next one at once.
    connectNext();
}

void QtTcpClient::noteFailure(qsizetype index, const diag::Failure& failure)
{
    if (index < m_lastFailureIndex)
        return;
    m_lastFailureIndex = index;
    m_lastFailure = failure;
}

void QtTcpClient::dropPendingConnects()
{
    m_nextAddressTimer.stop();
    for (const PendingConnect& pending : std::as_const(m_pending)) {
        pending.notifier->setEnabled(false);
        pending.notifier->deleteLater(); // may be running its own signal right now
        ::close(pending.descriptor);
    }
    m_pending.clear();
}

void QtTcpClient::connected()
{
    m_connectTimer.stop();
    dropPendingConnects(); // the slower addresses lost the race
    m_addresses.clear();
    const int forQt = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
    if (forQt < 0) {
        fail(failureFromErrno(errno, m_loopbackAddress));
        return;
    }
    if (m_security == check::Security::Plain) {
        m_socket = new QTcpSocket(this);
    } else {
        m_tls = new QSslSocket(this);
        m_socket = m_tls;
    }
    m_socket->setReadBufferSize(readBufferBytes);
    if (!m_socket->setSocketDescriptor(forQt, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(forQt);
        fail(diag::failures::InvalidArgument());
        return;
    }
    m_state = State::Connected;
    m_ignoring = false;
    connect(m_socket, &QTcpSocket::readyRead, this, &QtTcpClient::readAvailable);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &QtTcpClient::socketFailed);
    // Qt reports a close by the server as an error first; this catches a
    // disconnection that comes without one.
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { socketFailed(QAbstractSocket::RemoteHostClosedError); });
    if (m_tls) {
        connect(m_tls, &QSslSocket::sslErrors, this, &QtTcpClient::sslErrorsFound);
        connect(m_tls, &QSslSocket::encrypted, this, &QtTcpClient::encrypted);
    }
    if (m_security == check::Security::ImplicitTls)
        beginHandshake();
}

void QtTcpClient::beginHandshake()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_extraCas.isEmpty())
        configuration.addCaCertificates(m_extraCas);
    m_tls->setSslConfiguration(configuration);
    // The socket was connected by hand, so Qt knows no name to verify.
    m_tls->setPeerVerifyName(certificateName(m_host));
    m_securing = true;
    m_tlsFailure.reset();
    m_tls->startClientEncryption();
}

std::optional<diag::Failure> QtTcpClient::startTls()
{
    if (m_state != State::Connected || m_security != check::Security::StartTls || m_securing ||
        m_tls->isEncrypted())
        return tlsHandshakeFailure(QStringLiteral("no connection is waiting for STLS"));
    // Bytes the server sent in the clear after its "+OK" are no part of TLS.
    if (m_socket->bytesAvailable() > 0)
        return tlsHandshakeFailure(QStringLiteral("the server sent more text after agreeing to STLS"));
    beginHandshake();
    return std::nullopt;
}

void QtTcpClient::sslErrorsFound(const QList<QSslError>& errors)
{
    const QSslCertificate certificate = m_tls->peerCertificate();
    if (!m_pin.isEmpty() &&
        QCryptographicHash::hash(certificate.toDer(), QCryptographicHash::Sha256) != m_pin) {
        m_tlsFailure = pinMismatchFailure(m_pin, certificate);
        return;
    }
    // A weak key or signature is never waived, pinned or not; it is named
    // before the faults of trust, which would not make it any stronger.
    if ((m_tlsFailure = weakCertificateFailure(m_tls->peerCertificateChain())))
        return;
    QList<QSslError> remaining = errors;
    if (!m_pin.isEmpty()) {
        // The pinned certificate is trusted on purpose: the pin stands in for
        // the authorities (who issued it), its names and its dates, and for
        // nothing else.
        remaining.removeIf([](const QSslError& error) {
            switch (error.error()) {
            case QSslError::SelfSignedCertificate:
            case QSslError::SelfSignedCertificateInChain:
            case QSslError::UnableToGetLocalIssuerCertificate:
            case QSslError::UnableToGetIssuerCertificate:
            case QSslError::UnableToVerifyFirstCertificate:
            case QSslError::CertificateUntrusted:
            case QSslError::HostNameMismatch:
            case QSslError::CertificateExpired:
            case QSslError::CertificateNotYetValid:
                return true;
            default:
                return false;
            }
        });
        if (remaining.isEmpty()) {
            m_tls->ignoreSslErrors();
            return;
        }
    }
    m_tlsFailure = certificateFailure(remaining, certificate, certificateName(m_host));
}

void QtTcpClient::encrypted()
{
    const QSslCertificate certificate = m_tls->peerCertificate();
    const QByteArray digest = QCryptographicHash::hash(certificate.toDer(), QCryptographicHash::Sha256);
    // A certificate the authorities vouch for is still not the pinned one.
    if (!m_pin.isEmpty() && digest != m_pin) {
        fail(pinMismatchFailure(m_pin, certificate));
        return;
    }
    // The TLS library's security level may be lower than ours, or let
    // through what it does not look at (a 224-bit curve).
    if (const auto weak = weakCertificateFailure(m_tls->peerCertificateChain())) {
        fail(*weak);
        return;
    }
    m_securing = false;
    const quint64 attempt = m_attempt;
    if (m_onSecured)
        m_onSecured({certificateSubject(certificate), check::fingerprintText(digest),
                     protocolName(m_tls->sessionProtocol())});
    if (attempt == m_attempt)
        readAvailable(); // what came with the end of the handshake
}

void QtTcpClient::readAvailable()
{
    // Qt does not signal again while this runs, so bytes that came while the
    // handler ran a nested event loop are taken here, not left lying.
    const quint64 attempt = m_attempt;
    while (attempt == m_attempt && m_state == State::Connected && !m_ignoring && !m_securing &&
           m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->readAll();
        if (m_onData)
            m_onData(bytes);
    }
}

void QtTcpClient::socketFailed(QAbstractSocket::SocketError error)
{
    if (m_state != State::Connected)
        return;
    if (m_ignoring) {
        teardown(); // the end of a connection given up on is nobody's news
        return;
    }
    if (m_securing) {
        // Whatever ends a handshake (a refused certificate, a server that
        // speaks no TLS, a close) fails the check, and nothing the server
        // sent is handed on.
        const diag::Failure failure =
            m_tlsFailure ? *m_tlsFailure
                         : tlsHandshakeFailure(error == QAbstractSocket::RemoteHostClosedError
                                                   ? QStringLiteral("the server closed the connection")
                                                   : m_socket->errorString());
        fail(failure);
        return;
    }
    // Bytes that came with the end are still delivered, before the failure.
    const QByteArray rest = m_socket->isReadable() ? m_socket->readAll() : QByteArray();
    std::optional<diag::Failure> failure;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // Qt reads a reset as a plain close; the kernel's TCP state knows better.
        if (connectionWasReset())
            failure = diag::failures::ConnectionReset();
    } else if (error == QAbstractSocket::SocketTimeoutError) {
        failure = diag::failures::TimedOut();
    } else if (error == QAbstractSocket::SocketResourceError) {
        failure = diag::failures::NoBufferSpace();
    } else {
        failure = diag::failures::ConnectionReset();
    }
    teardown();
    const quint64 attempt = m_attempt;
    if (!rest.isEmpty() && m_onData)
        m_onData(rest);
    // The data handler may have started a new connection meanwhile.
    if (failure && attempt == m_attempt && m_onError)
        m_onError(*failure);
    else if (!failure && attempt == m_attempt && m_onClosed)
        m_onClosed();
}

void QtTcpClient::connectTimedOut()
{
    if (m_state == State::Connecting)
        fail(diag::failures::TimedOut());
}

bool QtTcpClient::networkAvailable() const
{
    return m_options.networkAvailable ? m_options.networkAvailable() : hasUsableNetwork();
}

bool QtTcpClient::connectionWasReset() const
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(m_descriptor, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return false;
    // After a FIN from the server the socket waits in CLOSE_WAIT for our
    // close; after a reset it is already CLOSED.
    return info.tcpi_state == TCP_CLOSE;
}

void QtTcpClient::teardown()
{
    ++m_attempt;
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    m_connectTimer.stop();
    dropPendingConnects();
    if (m_socket) {
        QObject::disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
        m_socket->deleteLater(); // may be running its own signal right now
        m_socket = nullptr;
        m_tls = nullptr;
    }
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    m_addresses.clear();
    m_ignoring = false;
    m_securing = false;
    m_tlsFailure.reset();
    m_state = State::Unconnected;
}

void QtTcpClient::fail(const diag::Failure& failure)
{
    teardown();
    if (m_onError)
        m_onError(failure);
}

bool QtTcpClient::send(const QByteArray& bytes)
{
    if (m_state != State::Connected || m_securing)
        return false; // nothing goes out while the handshake decides
    return m_socket->write(bytes) == bytes.size();
}

void QtTcpClient::close()
{
    if (m_state != State::Unconnected)
        teardown();
}

void QtTcpClient::ignoreIncoming()
{
    // Unread bytes stay in the bounded buffer; once it is full Qt stops
    // reading and the kernel's window closes on the server.
    if (m_state == State::Connected)
        m_ignoring = true;
}

bool QtTcpClient::isOpen() const
{
    return m_state != State::Unconnected;
}

bool QtTcpClient::hasUsableNetwork()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    // Not even loopback listed: the interfaces cannot be read here (a
    // sandbox), which says nothing about the network. Never claim off line
    // on no evidence.
    if (interfaces.isEmpty())
        return true;
    for (const QNetworkInterface& netInterface : interfaces) {
        const auto flags = netInterface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = netInterface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            const QHostAddress ip = entry.ip();
            if (!ip.isLoopback() && !ip.isLinkLocal())
                return true;
        }
    }
    return false;
}

} // namespace vindel::platform
