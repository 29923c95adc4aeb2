#pragma once

#include <QDBusConnection>
#include <QObject>

#include <functional>

namespace vindel::platform {

// Calls back when the network comes back: the reachability that Qt's network
// information reports rises to the local network or beyond. Without a
// backend (none installed, none that knows reachability) it watches nothing.
class NetworkWatcher : public QObject {
    Q_OBJECT
public:
    explicit NetworkWatcher(std::function<void()> cameBack, QObject* parent = nullptr);
    bool isWatching() const { return m_watching; }

private:
    std::function<void()> m_cameBack;
    int m_last = 0; // the last reachability, as its number (unknown is 0)
    bool m_watching = false;
};

// Calls back when the machine has resumed from sleep: the login manager's
// PrepareForSleep(false) on the given bus (the system bus). Without that
// bus it watches nothing.
class SleepWatcher : public QObject {
    Q_OBJECT
public:
    SleepWatcher(QDBusConnection bus, std::function<void()> resumed, QObject* parent = nullptr);
    bool isWatching() const { return m_watching; }

private Q_SLOTS:
    void prepareForSleep(bool starting);

private:
    std::function<void()> m_resumed;
    bool m_watching = false;
};

} // namespace vindel::platform
