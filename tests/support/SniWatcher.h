#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariant>

namespace vindel::test {

// A session bus of the test's own: dbus-run-session around a shell that
// prints the bus address and then waits for the end of its input. Ending
// the shell ends the bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    // Empty when the bus could not start; error() then says why.
    QString address() const { return m_address; }
    QString error() const { return m_error; }
    QDBusConnection connect(const QString& name) const;

private:
    QProcess m_session;
    QString m_address;
    QString m_error;
};

// The smallest org.kde.StatusNotifierWatcher: it keeps every registration
// it is sent, in order.
class SniWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit SniWatcher(QDBusConnection bus) : m_bus(std::move(bus)) {}
    ~SniWatcher() override { stop(); }

    // Takes the watcher's name and object; stop() gives them up.
    bool start();
    void stop();

    QStringList registrations;
    // Whether a panel is behind the watcher; announceHost() says one came.
    bool host = true;
    void announceHost()
    {
        host = true;
        emit StatusNotifierHostRegistered();
    }

    bool hostRegistered() const { return host; }
    QStringList items() const { return registrations; }
    int protocolVersion() const { return 0; }

    // A property of the item registered last, read over the bus.
    QVariant itemProperty(const QString& name) const;

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection m_bus;
    bool m_started = false;
};

} // namespace vindel::test
