#include "diag/LogFile.h"

#include <QDir>
#include <QFileInfo>

namespace vindel::diag {
namespace {

// File failures are reported with the number and text the program has always
// used for a failed file access.
Failure fileFailure(const QFile& file)
{
    return {75, QStringLiteral("Path/File access error: %1 (%2)").arg(file.fileName(), file.errorString())};
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

} // namespace

LogFile::LogFile(const QString& path) : m_file(path) {}

std::optional<Failure> LogFile::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fileFailure(m_file);
    return std::nullopt;
}

bool LogFile::append(const QString& text, EventType type)
{
    QByteArray line = typeTag(type) + text.toUtf8();
    if (!line.endsWith('\n'))
        line.append('\n');
    return m_file.write(line) == line.size() && m_file.flush();
}

std::optional<Failure> LogFile::trim(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() <= sizeLimit)
        return std::nullopt;
    QFile file(path);
    if (!file.remove())
        return fileFailure(file);
    return std::nullopt;
}

QString LogFile::chooseFolder(const QString& programFolder, const QString& stateFolder)
{
    if (QFileInfo(programFolder).isWritable())
        return programFolder;
    QDir().mkpath(stateFolder);
    return stateFolder;
}

} // namespace vindel::diag
