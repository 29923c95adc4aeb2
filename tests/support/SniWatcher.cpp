#include "support/SniWatcher.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace vindel::test {

PrivateBus::PrivateBus()
{
    m_session.start(QStringLiteral("dbus-run-session"),
                    {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null")});
    if (!m_session.waitForStarted(5000)) {
        m_error = QStringLiteral("dbus-run-session cannot start: ") + m_session.errorString();
        return;
    }
    if (!m_session.waitForReadyRead(10000) || !m_session.canReadLine()) {
        m_error = QStringLiteral("dbus-run-session gave no bus: ") +
                  QString::fromLocal8Bit(m_session.readAllStandardError());
        return;
    }
    m_address = QString::fromLocal8Bit(m_session.readLine().trimmed());
}

PrivateBus::~PrivateBus()
{
    if (m_session.state() == QProcess::NotRunning)
        return;
    // The end of its input ends the waiting shell; dbus-run-session then
    // stops the bus and ends. So does a test that dies: its pipe closes.
    m_session.closeWriteChannel();
    if (!m_session.waitForFinished(5000)) {
        m_session.kill();
        m_session.waitForFinished(3000);
    }
}

QDBusConnection PrivateBus::connect(const QString& name) const
{
    return QDBusConnection::connectToBus(m_address, name);
}

bool SniWatcher::start()
{
    m_started = m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                     QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                         QDBusConnection::ExportAllProperties) &&
                m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    return m_started;
}

void SniWatcher::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    m_bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
}

void SniWatcher::RegisterStatusNotifierItem(const QString& service)
{
    registrations << service;
    emit StatusNotifierItemRegistered(service);
}

QVariant SniWatcher::itemProperty(const QString& name) const
{
    if (registrations.isEmpty())
        return {};
    QDBusMessage get = QDBusMessage::createMethodCall(
        registrations.last(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << name;
    const QDBusMessage reply = m_bus.call(get, QDBus::BlockWithGui, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

} // namespace vindel::test
