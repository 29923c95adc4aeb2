#include "platform/InstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>

namespace vindel::platform {
namespace {

constexpr int askTimeoutMs = 1000;
// A later start connects and writes its byte at once; a client that has said
// nothing by then is dropped, so idle clients cannot pile up.
constexpr int clientTimeoutMs = 2000;
// Clients served at once; more are closed as soon as they are accepted. The
// socket so never holds more than a few descriptors, whatever connects.
constexpr int maxClients = 8;

QString sanitised(const QString& session)
{
    QString name;
    for (const QChar c : session)
        name += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-' ? c : QChar(u'_');
    return name.isEmpty() ? QStringLiteral("nodisplay") : name;
}

QString waylandName(const QString& display, const QString& runtimeFolder)
{
    QString name = display;
    if (QDir::isAbsolutePath(display) && !runtimeFolder.isEmpty() &&
        QDir::cleanPath(QFileInfo(display).path()) == QDir::cleanPath(runtimeFolder))
        name = QFileInfo(display).fileName();
    return QStringLiteral("wl-") + sanitised(name);
}

bool isLocalHost(const QString& host, const QString& hostName)
{
    static const QStringList local = {QString(),
                                      QStringLiteral("unix"),
                                      QStringLiteral("localhost"),
                                      QStringLiteral("127.0.0.1"),
                                      QStringLiteral("::1"),
                                      QStringLiteral("[::1]")};
    return local.contains(host) || (!hostName.isEmpty() && host == hostName.toLower());
}

bool isDigits(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QString x11Name(const QString& display, const QString& hostName)
{
    // [protocol/]host:number[.screen]; one line (a final line feed aside)
    QStringView rest(display);
    if (rest.endsWith(u'\n'))
        rest.chop(1);
    for (const auto protocol : {u"unix/", u"tcp/", u"inet/", u"inet6/", u"local/"}) {
        if (rest.startsWith(QStringView(protocol), Qt::CaseInsensitive)) {
            rest = rest.mid(QStringView(protocol).size());
            break;
        }
    }
    const qsizetype colon = rest.lastIndexOf(u':');
    QStringView number = colon < 0 ? QStringView() : rest.mid(colon + 1);
    if (const qsizetype dot = number.indexOf(u'.'); dot >= 0 && isDigits(number.mid(dot + 1)))
        number.truncate(dot);
    if (colon < 0 || rest.contains(u'\n') || !isDigits(number))
        return QStringLiteral("other-") + sanitised(display);
    const QString host = rest.left(colon).toString().toLower();
    if (isLocalHost(host, hostName))
        return QStringLiteral("x11-") + QString::number(number.toULongLong());
    return QStringLiteral("x11-%1-%2").arg(sanitised(host), QString::number(number.toULongLong()));
}

} // namespace

InstanceLock::InstanceLock()
    : InstanceLock(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), currentSession())
{
}

InstanceLock::InstanceLock(const QString& folder, const QString& session)
    : m_path(QDir(folder).filePath(QStringLiteral("Vindel-%1.lock").arg(sanitised(session))))
{
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_path).path());
    m_lock = std::make_unique<QLockFile>(m_path);
    // No age limit: only a lock whose process is gone counts as stale.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool InstanceLock::anotherInstanceRunning()
{
    if (tryAcquire())
        return false;
    // A copy that is still starting has no listener yet: then it is simply
    // left alone.
    QLocalSocket socket;
    socket.connectToServer(socketPath(), QIODevice::WriteOnly);
    if (socket.waitForConnected(askTimeoutMs)) {
        socket.write("\n", 1);
        socket.waitForBytesWritten(askTimeoutMs);
        socket.disconnectFromServer();
    }
    return true;
}

QString InstanceLock::lockPath() const
{
    return m_path;
}

QString InstanceLock::socketPath() const
{
    QString path = m_path;
    path.chop(int(sizeof(".lock")) - 1);
    return path + QStringLiteral(".socket");
}

bool InstanceLock::listenForLaterStarts(std::function<void()> onLaterStart)
{
    if (!tryAcquire())
        return false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath()); // left by a copy that died: the lock is ours now
    if (!m_server->listen(socketPath())) {
        m_server.reset();
        return false;
    }
    QLocalServer* server = m_server.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [this, server, onLaterStart] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            if (m_clients >= maxClients) {
                socket->abort(); // the descriptor goes at once, the object a moment later
                socket->deleteLater();
                continue;
            }
            ++m_clients;
            QObject::connect(socket, &QObject::destroyed, server, [this] { --m_clients; });
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, onLaterStart] {
                const bool asked = !socket->readAll().isEmpty();
                socket->disconnectFromServer();
                if (asked && onLaterStart)
                    onLaterStart();
            });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(clientTimeoutMs, socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
        }
    });
    return true;
}

QString InstanceLock::currentSession()
{
    return sessionName(qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("DISPLAY"),
                       QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                       QSysInfo::machineHostName());
}

QString InstanceLock::sessionName(const QString& waylandDisplay, const QString& display,
                                  const QString& runtimeFolder, const QString& hostName)
{
    if (!waylandDisplay.isEmpty())
        return waylandName(waylandDisplay, runtimeFolder);
    if (!display.isEmpty())
        return x11Name(display, hostName);
    return QStringLiteral("nodisplay");
}

} // namespace vindel::platform
