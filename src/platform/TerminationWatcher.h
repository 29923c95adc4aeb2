#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vindel::platform {

// Turns SIGTERM, SIGINT and SIGHUP (the end of the desktop session, a kill,
// Ctrl+C in a terminal) into a call on the event thread, so the program can
// run its ordinary shut-down sequence instead of dying mid-way.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(std::function<void()> onTerminate, QObject* parent = nullptr);
    ~TerminationWatcher() override;

private:
    void signalled();

    std::function<void()> m_onTerminate;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vindel::platform
