#include "diag/LogFile.h"

#include "diag/EventLog.h"
#include "diag/Failures.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vindel::diag {
namespace {

Failure fileFailure(const QString& path, const QString& reason)
{
    return failures::PathAccess.about(QStringLiteral("%1 (%2)").arg(path, reason));
}

Failure notARegularFile(const QString& path)
{
    return fileFailure(path, QStringLiteral("not a regular file"));
}

const char* typeTag(EventType type)
{
    switch (type) {
    case EventType::Error:
        return "ERROR ";
    case EventType::Warning:
        return "WARN  ";
    case EventType::Information:
        break;
    }
    return "INFO  ";
}

QByteArray lineOf(const QString& text, EventType type)
{
    QByteArray line = typeTag(type) + text.toUtf8();
    if (!line.endsWith('\n'))
        line.append('\n');
    return line;
}

bool isSystemFolder(const QString& canonical)
{
    static const QStringList systemTrees = {
        QStringLiteral("/usr"),    QStringLiteral("/opt"),   QStringLiteral("/etc"),
        QStringLiteral("/var"),    QStringLiteral("/bin"),   QStringLiteral("/sbin"),
        QStringLiteral("/lib"),    QStringLiteral("/lib32"), QStringLiteral("/lib64"),
        QStringLiteral("/libx32"), QStringLiteral("/boot"),  QStringLiteral("/snap"),
    };
    if (canonical == QLatin1String("/"))
        return true;
    for (const QString& tree : systemTrees)
        if (canonical == tree || canonical.startsWith(tree + u'/'))
            return true;
    return false;
}

} // namespace

LogFile::LogFile(const QString& path, const Clock& clock) : m_path(path), m_clock(clock) {}

std::optional<Failure> LogFile::open()
{
    const QByteArray native = QFile::encodeName(m_path);
    struct stat status = {};
    // Looked at first so that not even an open touches a FIFO or a device.
    if (::lstat(native.constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return notARegularFile(m_path);
    const int fd =
        ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
               S_IRUSR | S_IWUSR);
    if (fd < 0)
        return errno == ELOOP ? notARegularFile(m_path)
                              : fileFailure(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    // Something put there between the look and the open.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return notARegularFile(m_path);
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fileFailure(m_path, m_file.errorString());
    }
    return std::nullopt;
}

bool LogFile::startAfresh()
{
    if (!m_file.resize(0))
        return false;
    const QByteArray note =
        lineOf(EventLog::timeStamp(m_clock.now()) +
                   QStringLiteral(" Vindel Log started afresh: it had reached %1 bytes").arg(sizeLimit),
               EventType::Information);
    return m_file.write(note) == note.size();
}

bool LogFile::append(const QString& text, EventType type)
{
    const QByteArray line = lineOf(text, type);
    if (m_file.size() + line.size() > sizeLimit && !startAfresh())
        return false;
    return m_file.write(line) == line.size() && m_file.flush();
}

std::optional<Failure> LogFile::trim(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() <= sizeLimit)
        return std::nullopt;
    QFile file(path);
    if (!file.remove())
        return fileFailure(path, file.errorString());
    return std::nullopt;
}

bool LogFile::mayWriteBeside(const QString& programFolder)
{
    const QFileInfo info(programFolder);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !info.isDir() || !info.isWritable() || isSystemFolder(canonical))
        return false;
    const QFileInfo real(canonical);
    return real.ownerId() == ::geteuid() && !real.permission(QFileDevice::WriteOther);
}

QString LogFile::chooseFolder(const QString& programFolder, const QString& stateFolder)
{
    if (mayWriteBeside(programFolder))
        return programFolder;
    QDir().mkpath(stateFolder);
    return stateFolder;
}

} // namespace vindel::diag
