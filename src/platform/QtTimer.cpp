#include "platform/QtTimer.h"

namespace vindel::platform {

QtTimer::QtTimer(QObject* parent) : QObject(parent)
{
    // Minute ticks are counted towards the check interval: keep them exact.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_handler)
            m_handler();
    });
}

void QtTimer::setHandler(std::function<void()> handler)
{
    m_handler = std::move(handler);
}

void QtTimer::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    apply();
}

void QtTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    apply();
}

bool QtTimer::isEnabled() const
{
    return m_enabled;
}

void QtTimer::apply()
{
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

} // namespace vindel::platform
