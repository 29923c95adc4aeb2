#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusPendingCallWatcher;
class QSocketNotifier;

#include <functional>

namespace vindel::platform {

// Calls back when the network comes back: its reachability rises to the
// local network or beyond. NetworkManager on the given bus (the system bus)
// says so; where it is not on that bus, the kernel's routing table does: a
// default route that appears after there was none. With neither it watches
// nothing.
class NetworkWatcher : public QObject {
    Q_OBJECT
public:
    NetworkWatcher(QDBusConnection bus, std::function<void()> cameBack, QObject* parent = nullptr);
    ~NetworkWatcher() override;
    bool isWatching() const { return m_watching; }

private Q_SLOTS:
    void stateChanged(uint state);

private:
    void managerAnswered(QDBusPendingCallWatcher* call);
    void watchRoutes();
    void stopRoutes();
    void routesChanged();
    void askForRoutes();
    void readRoutes();

    std::function<void()> m_cameBack;
    int m_level = 0; // the last reachability: unknown, none, local, site, online (0 to 4)
    bool m_heardManager = false;
    bool m_watching = false;
    // The kernel's routing table, when NetworkManager is not there: one
    // netlink socket hears the changes, one asks for the whole table.
    int m_events = -1;
    int m_table = -1;
    QSocketNotifier* m_eventsReady = nullptr;
    QSocketNotifier* m_tableReady = nullptr;
    unsigned m_sequence = 0;
    bool m_asking = false;    // a table dump is under way
    bool m_askAgain = false;  // the table changed while it was being read
    bool m_routeSeen = false; // the dump under way has seen a way out
    int m_routed = -1;        // a default route was there: unknown, no, yes (-1, 0, 1)
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
