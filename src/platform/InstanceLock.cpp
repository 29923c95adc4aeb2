#include "platform/InstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

namespace vindel::platform {
namespace {
QString sanitised(const QString& session)
{
    QString name;
    for (const QChar c : session)
        name += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-' ? c : QChar(u'_');
    return name.isEmpty() ? QStringLiteral("nodisplay") : name;
}
} // namespace

InstanceLock::InstanceLock()
    : InstanceLock(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), currentSession())
{
}

InstanceLock::InstanceLock(const QString& folder, const QString& session)
    : m_path(QDir(folder).filePath(QStringLiteral("Vindel-%1.lock").arg(sanitised(session))))
{
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_path).path());
    m_lock = std::make_unique<QLockFile>(m_path);
    // No age limit: only a lock whose process is gone counts as stale.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool InstanceLock::anotherInstanceRunning()
{
    return !tryAcquire();
}

QString InstanceLock::lockPath() const
{
    return m_path;
}

QString InstanceLock::currentSession()
{
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    return sanitised(wayland.isEmpty() ? qEnvironmentVariable("DISPLAY") : wayland);
}

} // namespace vindel::platform
