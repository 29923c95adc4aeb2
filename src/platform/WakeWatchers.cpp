#include "platform/WakeWatchers.h"

#include <QNetworkInformation>

namespace vindel::platform {

NetworkWatcher::NetworkWatcher(std::function<void()> cameBack, QObject* parent)
    : QObject(parent), m_cameBack(std::move(cameBack))
{
    using Info = QNetworkInformation;
    if (!Info::instance() && !Info::loadDefaultBackend() &&
        !Info::loadBackendByFeatures(Info::Feature::Reachability))
        return;
    Info* info = Info::instance();
    if (!info || !info->supports(Info::Feature::Reachability))
        return;
    m_watching = true;
    m_last = int(info->reachability());
    connect(info, &Info::reachabilityChanged, this, [this](Info::Reachability now) {
        // Unknown, disconnected, local, site, online: a rise to a network
        // that may reach the server is a return.
        const bool back = int(now) > m_last && now >= Info::Reachability::Local;
        m_last = int(now);
        if (back)
            m_cameBack();
    });
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
