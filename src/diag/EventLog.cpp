#include "diag/EventLog.h"

#include "diag/Escape.h"

namespace vindel::diag {
namespace {

QString bounded(const QString& words)
{
    if (words.size() <= EventLog::wordsLimit)
        return words;
    qsizetype keep = EventLog::wordsLimit;
    if (words.at(keep - 1).isHighSurrogate())
        --keep; // never half a character
    return words.left(keep) +
           QStringLiteral(" [cut: %1 of %2 characters logged]").arg(keep).arg(words.size());
}

} // namespace

EventLog::EventLog(const Clock& clock, LogSink& systemLog) : m_clock(clock), m_systemLog(systemLog) {}

void EventLog::start(LogSink& file)
{
    m_file = &file;
}

QString EventLog::timeStamp(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString EventLog::timeStamp() const
{
    return timeStamp(m_clock.now());
}

QString EventLog::compose(const QString& words) const
{
    return timeStamp() + u' ' + escapeControls(bounded(words));
}

bool EventLog::write(const QString& words, EventType type)
{
    return m_file != nullptr && m_file->append(compose(words), type);
}

void EventLog::writeAlways(const QString& words, EventType type)
{
    LogSink& sink = m_file != nullptr ? *m_file : m_systemLog;
    sink.append(compose(words), type);
}

} // namespace vindel::diag
