#pragma once

#include "shell/InstanceCheck.h"

#include <QLockFile>
#include <QString>

#include <memory>

namespace vindel::platform {

// The single-instance test: one running program per user and desktop session.
// A lock file in the user's runtime folder, named after the desktop session
// ($WAYLAND_DISPLAY, else $DISPLAY), is held for the life of this object. A
// lock left behind by a process that no longer runs is taken over.
class InstanceLock : public shell::InstanceCheck {
public:
    InstanceLock();
    // For tests: an explicit folder and session name.
    InstanceLock(const QString& folder, const QString& session);
    ~InstanceLock() override;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object holds the lock (now or already).
    bool tryAcquire();
    // The start-up's question: false once this instance holds the lock.
    bool anotherInstanceRunning() override;
    QString lockPath() const;

    // The current desktop session's name, reduced to characters that are
    // safe in a file name.
    static QString currentSession();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace vindel::platform
