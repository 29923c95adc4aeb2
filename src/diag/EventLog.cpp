#include "diag/EventLog.h"

namespace vindel::diag {

EventLog::EventLog(const Clock& clock, LogSink& systemLog) : m_clock(clock), m_systemLog(systemLog) {}

void EventLog::start(LogSink& file)
{
    m_file = &file;
}

QString EventLog::timeStamp() const
{
    return m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString EventLog::compose(const QString& words) const
{
    return timeStamp() + u' ' + words;
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
