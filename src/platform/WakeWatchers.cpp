#include "platform/WakeWatchers.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QSocketNotifier>

#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vindel::platform {

namespace {

const QString managerService = QStringLiteral("org.freedesktop.NetworkManager");
const QString managerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString managerInterface = QStringLiteral("org.freedesktop.NetworkManager");

// NetworkManager's state as a reachability: connected to the local network
// (50), to a site (60), globally (70); below 50 (asleep, disconnected,
// disconnecting, connecting) there is none; 0 is unknown.
int reachability(uint state)
{
    if (state == 0)
        return 0;
    if (state >= 70)
        return 4;
    if (state >= 60)
        return 3;
    return state >= 50 ? 2 : 1;
}

// The bus could not bring the answer: no NetworkManager there (or none that answers).
bool managerMissing(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::Disconnected:
        return true;
    default:
        return error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
    }
}

int openNetlink(unsigned groups)
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = groups;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A route that leads out of the machine: a live default route of the main
// table, or an IPv4 route through a gateway (universe scope). IPv6 gives every
// route the universe scope, the link-local ones of each link that is up too,
// so there only a default route counts.
bool leadsOut(const rtmsg& route)
{
    if (route.rtm_table != RT_TABLE_MAIN || route.rtm_type != RTN_UNICAST ||
        (route.rtm_flags & (RTNH_F_DEAD | RTNH_F_LINKDOWN)))
        return false;
    return route.rtm_dst_len == 0 || (route.rtm_family == AF_INET && route.rtm_scope == RT_SCOPE_UNIVERSE);
}

} // namespace

NetworkWatcher::NetworkWatcher(QDBusConnection bus, std::function<void()> cameBack, QObject* parent)
    : QObject(parent), m_cameBack(std::move(cameBack))
{
    if (!bus.isConnected() || !bus.connect(managerService, managerPath, managerInterface,
                                           QStringLiteral("StateChanged"), this, SLOT(stateChanged(uint)))) {
        watchRoutes();
        return;
    }
    m_watching = true;
    // The state it is in now, asked without waiting; a NetworkManager that
    // is not running is not started for it.
    QDBusMessage get = QDBusMessage::createMethodCall(managerService, managerPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << managerInterface << QStringLiteral("State");
    get.setAutoStartService(false);
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(get, 10000), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &NetworkWatcher::managerAnswered);
}

NetworkWatcher::~NetworkWatcher()
{
    stopRoutes();
}

void NetworkWatcher::managerAnswered(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *call;
    if (reply.isError()) {
        if (managerMissing(reply.error()) && !m_heardManager)
            watchRoutes();
        return;
    }
    if (!m_heardManager) // a change heard meanwhile is newer
        m_level = reachability(reply.value().variant().toUInt());
}

void NetworkWatcher::stateChanged(uint state)
{
    // NetworkManager has (re)started: it speaks for the network from now on.
    m_heardManager = true;
    stopRoutes();
    m_watching = true;
    const int now = reachability(state);
    const bool back = now > m_level && now >= 2;
    m_level = now;
    if (back)
        m_cameBack();
}

// Neither Qt nor a small Debian library answers "is there a way out" from
// the routing table without GLib: Qt's own network information on Linux is
// NetworkManager's or GLib's, and libnl's route cache would bring two
// libraries (some 600 KiB on disk) for one question. So the kernel is asked
// directly: a change of a link or a route re-reads the table, which also
// catches the routes the kernel drops with a link without saying so.
void NetworkWatcher::watchRoutes()
{
    if (m_events >= 0)
        return;
    m_events = openNetlink(RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE);
    m_table = openNetlink(0);
    if (m_events < 0 || m_table < 0) {
        stopRoutes();
        return;
    }
    m_watching = true;
    m_eventsReady = new QSocketNotifier(m_events, QSocketNotifier::Read, this);
    connect(m_eventsReady, &QSocketNotifier::activated, this, &NetworkWatcher::routesChanged);
    m_tableReady = new QSocketNotifier(m_table, QSocketNotifier::Read, this);
    connect(m_tableReady, &QSocketNotifier::activated, this, &NetworkWatcher::readRoutes);
    askForRoutes();
}

void NetworkWatcher::stopRoutes()
{
    delete m_eventsReady;
    delete m_tableReady;
    m_eventsReady = m_tableReady = nullptr;
    for (int* fd : {&m_events, &m_table}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_asking = m_askAgain = false;
}

void NetworkWatcher::routesChanged()
{
    // What changed does not matter, only what the table holds afterwards;
    // an overrun (ENOBUFS) lost changes, which the reading finds as well.
    char buffer[8192];
    while (::recv(m_events, buffer, sizeof buffer, MSG_DONTWAIT) >= 0 || errno == ENOBUFS || errno == EINTR) {
    }
    askForRoutes();
}

void NetworkWatcher::askForRoutes()
{
    if (m_asking) {
        m_askAgain = true;
        return;
    }
    struct {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++m_sequence;
    request.route.rtm_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_table, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) <
        0)
        return; // the next change asks again
    m_asking = true;
    m_askAgain = false;
    m_routeSeen = false;
}

void NetworkWatcher::readRoutes()
{
    std::vector<char> buffer(65536);
    for (;;) {
        const ssize_t size = ::recv(m_table, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            return;
        auto length = unsigned(size);
        bool done = false;
        bool failed = false;
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_seq != m_sequence)
                continue; // the rest of an earlier dump
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
                done = true;
                failed = message->nlmsg_type == NLMSG_ERROR;
            } else if (message->nlmsg_type == RTM_NEWROUTE &&
                       message->nlmsg_len >= NLMSG_LENGTH(sizeof(rtmsg)) &&
                       leadsOut(*static_cast<const rtmsg*>(NLMSG_DATA(message))))
                m_routeSeen = true;
        }
        if (!done || !m_asking)
            continue;
        // Each answer is the table as it was at one moment, even one that
        // has changed since: the change asks again.
        // A failed one leaves what was known.
        m_asking = false;
        const bool back = !failed && m_routed == 0 && m_routeSeen;
        if (!failed)
            m_routed = m_routeSeen ? 1 : 0;
        if (m_askAgain)
            askForRoutes();
        if (back)
            m_cameBack();
        return;
    }
}

SleepWatcher::SleepWatcher(QDBusConnection bus, std::function<void()> resumed, QObject* parent)
    : QObject(parent), m_resumed(std::move(resumed))
{
    m_watching =
        bus.isConnected() &&
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                    SLOT(prepareForSleep(bool)));
}

void SleepWatcher::prepareForSleep(bool starting)
{
    if (!starting) // false: the machine has woken up
        m_resumed();
}

} // namespace vindel::platform
