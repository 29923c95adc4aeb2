#pragma once

#include "check/Timer.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace vindel::platform {

// The check timer over QTimer, with the semantics of a classic form timer: it
// ticks only while enabled with an interval above 0; setting the interval or
// enabling it starts the count afresh; the enabled flag and the interval read
// back as they were set, whether or not the timer runs (a disabled timer with
// interval 60000 is "60000, stopped"). It starts disabled with interval 0.
class QtTimer : public QObject, public check::Timer {
    Q_OBJECT
public:
    explicit QtTimer(QObject* parent = nullptr);

    void setHandler(std::function<void()> handler) override;
    void setInterval(int milliseconds) override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;
    int interval() const { return m_interval; }

private:
    void apply();

    QTimer m_timer;
    std::function<void()> m_handler;
    int m_interval = 0;
    bool m_enabled = false;
};

} // namespace vindel::platform
