#include "platform/QtTcpClient.h"

#include "platform/SocketErrors.h"

#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QTcpSocket>

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

std::optional<diag::Failure> QtTcpClient::connectTo(const QString& host, quint16 port)
{
    if (m_state != State::Unconnected)
        return socketFailure(WinsockError::InvalidState);
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
            fail(socketFailure(WinsockError::OffLine));
        else if (info.error() == QHostInfo::NoError)
            fail(socketFailure(WinsockError::HostNotFound)); // a name without addresses
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
            fail(socketFailure(WinsockError::OffLine));
            return;
        }
    }
    m_addresses = std::move(addresses);
    m_state = State::Connecting;
    m_lastFailure = socketFailure(WinsockError::HostNotFound);
    m_connectTimer.start(m_options.connectTimeout);
    connectNext();
}

void QtTcpClient::connectNext()
{
    while (!m_addresses.isEmpty()) {
        const QHostAddress address = m_addresses.takeFirst();
        m_loopbackAddress = address.isLoopback();
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (!toSockAddr(address, m_port, storage, length)) {
            m_lastFailure = socketFailure(WinsockError::AddressFamilyNotSupported);
            continue;
        }
        const int descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (descriptor < 0) {
            m_lastFailure = failureFromErrno(errno, m_loopbackAddress);
            continue;
        }
        int result = 0;
        do
            result = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&storage), length);
        while (result != 0 && errno == EINTR);
        if (result == 0) {
            m_descriptor = descriptor;
            connected();
            return;
        }
        if (errno == EINPROGRESS) {
            m_descriptor = descriptor;
            m_connectNotifier = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
            connect(m_connectNotifier, &QSocketNotifier::activated, this, &QtTcpClient::connectFinished);
            return;
        }
        m_lastFailure = failureFromErrno(errno, m_loopbackAddress);
        ::close(descriptor);
    }
    // Every address failed: report the last address's failure.
    fail(m_lastFailure);
}

void QtTcpClient::connectFinished()
{
    dropConnectNotifier();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        connected();
        return;
    }
    m_lastFailure = failureFromErrno(error, m_loopbackAddress);
    ::close(m_descriptor);
    m_descriptor = -1;
    connectNext();
}

void QtTcpClient::connected()
{
    m_connectTimer.stop();
    m_addresses.clear();
    const int forQt = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
    if (forQt < 0) {
        fail(failureFromErrno(errno, m_loopbackAddress));
        return;
    }
    m_socket = new QTcpSocket(this);
    if (!m_socket->setSocketDescriptor(forQt, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(forQt);
        fail(socketFailure(WinsockError::InvalidArgument));
        return;
    }
    m_state = State::Connected;
    connect(m_socket, &QTcpSocket::readyRead, this, &QtTcpClient::readAvailable);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &QtTcpClient::socketFailed);
    // Qt reports a close by the server as an error first; this catches a
    // disconnection that comes without one.
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { socketFailed(QAbstractSocket::RemoteHostClosedError); });
}

void QtTcpClient::readAvailable()
{
    if (m_state != State::Connected)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (!bytes.isEmpty() && m_onData)
        m_onData(bytes);
}

void QtTcpClient::socketFailed(QAbstractSocket::SocketError error)
{
    if (m_state != State::Connected)
        return;
    // Bytes that came with the end are still delivered, before the failure.
    const QByteArray rest = m_socket->isReadable() ? m_socket->readAll() : QByteArray();
    std::optional<diag::Failure> failure;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // Qt reads a reset as a plain close; the kernel's TCP state knows better.
        if (connectionWasReset())
            failure = socketFailure(WinsockError::ConnectionReset);
    } else if (error == QAbstractSocket::SocketTimeoutError) {
        failure = socketFailure(WinsockError::TimedOut);
    } else if (error == QAbstractSocket::SocketResourceError) {
        failure = socketFailure(WinsockError::NoBufferSpace);
    } else {
        failure = socketFailure(WinsockError::ConnectionReset);
    }
    teardown();
    const quint64 attempt = m_attempt;
    if (!rest.isEmpty() && m_onData)
        m_onData(rest);
    // The data handler may have started a new connection meanwhile.
    if (failure && attempt == m_attempt && m_onError)
        m_onError(*failure);
}

void QtTcpClient::connectTimedOut()
{
    if (m_state == State::Connecting)
        fail(socketFailure(WinsockError::TimedOut));
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

void QtTcpClient::dropConnectNotifier()
{
    if (!m_connectNotifier)
        return;
    m_connectNotifier->setEnabled(false);
    m_connectNotifier->deleteLater(); // may be running its own signal right now
    m_connectNotifier = nullptr;
}

void QtTcpClient::teardown()
{
    ++m_attempt;
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    m_connectTimer.stop();
    dropConnectNotifier();
    if (m_socket) {
        QObject::disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
        m_socket->deleteLater(); // may be running its own signal right now
        m_socket = nullptr;
    }
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    m_addresses.clear();
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
    if (m_state != State::Connected)
        return false;
    return m_socket->write(bytes) == bytes.size();
}

void QtTcpClient::close()
{
    if (m_state != State::Unconnected)
        teardown();
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
