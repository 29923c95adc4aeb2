#include "platform/IniSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vindel::platform {
namespace {

// An application name becomes a folder and a file name: no separators, no
// "." or "..".
bool isUsableAppName(const QString& app)
{
    return !app.isEmpty() && app != u"." && app != u".." && !app.contains(u'/') && !app.contains(u'\\') &&
           !app.contains(QChar(0));
}

bool isUsableName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QChar(0));
}

// Drops the group and other bits of an existing file or folder.
void tighten(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (::stat(native.constData(), &status) == 0 && (status.st_mode & 077) != 0)
        ::chmod(native.constData(), status.st_mode & 0700);
}

// Creates a folder and its missing parents owner-only; tightens the last one
// when it already exists.
bool makeFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QFileInfo info(path);
    if (info.isDir()) {
        tighten(path);
        return true;
    }
    if (info.exists())
        return false;
    const QString parent = QFileInfo(path).path();
    if (parent != path && !QFileInfo(parent).isDir() && !makeFolder(parent))
        return false;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return QFileInfo(path).isDir();
}

// Creates the file owner-only when it is missing, tightens it otherwise.
bool prepareFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int descriptor = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    ::close(descriptor);
    tighten(path);
    return true;
}

// QSettings guards a write with "<file>.lock", which a process killed right
// after creating it leaves behind empty; QSettings then waits half a minute
// before it takes such a lock as stale, with the program frozen. An empty
// lock is never a live one here (a lock is written as soon as it is made,
// and only one instance of the program saves), so it is removed first.
void removeEmptyLock(const QString& path)
{
    const QString lock = path + QStringLiteral(".lock");
    const QFileInfo info(lock);
    if (info.isFile() && info.size() == 0)
        QFile::remove(lock);
}

QString asText(const QVariant& value)
{
    // A hand-edited value with unquoted commas reads back as a list.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

} // namespace

IniSettingsStore::IniSettingsStore()
    : IniSettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
{
}

IniSettingsStore::IniSettingsStore(const QString& folder) : m_folder(folder) {}

QString IniSettingsStore::filePath(const QString& app) const
{
    return m_folder + u'/' + app + u'/' + app + QStringLiteral(".conf");
}

QString IniSettingsStore::get(const QString& app, const QString& section, const QString& key) const
{
    if (m_folder.isEmpty() || !isUsableAppName(app) || !isUsableName(section) || !isUsableName(key))
        return {};
    const QString path = filePath(app);
    if (!QFileInfo(path).isFile())
        return {};
    tighten(QFileInfo(path).path());
    tighten(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    return value.isValid() ? asText(value) : QString();
}

bool IniSettingsStore::save(const QString& app, const QString& section, const QString& key,
                            const QString& value)
{
    return saveAll(app, section, {{key, value}});
}

bool IniSettingsStore::saveAll(const QString& app, const QString& section,
                               const QList<QPair<QString, QString>>& values)
{
    if (m_folder.isEmpty() || !isUsableAppName(app) || !isUsableName(section))
        return false;
    for (const auto& [key, value] : values)
        if (!isUsableName(key))
            return false;
    const QString path = filePath(app);
    if (!makeFolder(QFileInfo(path).path()) || !prepareFile(path))
        return false;
    removeEmptyLock(path);
    QSettings settings(path, QSettings::IniFormat);
    // Never fall back to writing the file in place: that could leave half a
    // file behind.
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(section);
    for (const auto& [key, value] : values)
        settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace vindel::platform
