#pragma once

#include "diag/Clock.h"
#include "diag/LogSink.h"

#include <QDateTime>
#include <QString>

namespace vindel::diag {

// The event log. Every event is the local date and time, one blank, then the
// event's words. Ordinary events are written only while the log file is on
// ("/T"); connection errors are always written: to the file when it is on,
// otherwise to the system log.
//
// Words longer than wordsLimit characters (a POP3 reply may be at most 512
// octets, its CR LF included) are cut there and marked as cut, so a server
// that pads its replies cannot make one event large. Control characters in
// the words are shown escaped (escapeControls), so no text from a server or
// a certificate can start a line of its own in the log.
class EventLog {
public:
    static constexpr qsizetype wordsLimit = 512;

    EventLog(const Clock& clock, LogSink& systemLog);

    // Turns the log file on for the rest of the run.
    void start(LogSink& file);

    // Writes when the log file is on; false when it is off or the write failed.
    bool write(const QString& words, EventType type);
    // Writes whether or not the log file is on.
    void writeAlways(const QString& words, EventType type);

    // The time stamp that starts every event: date before time, local.
    QString timeStamp() const;
    static QString timeStamp(const QDateTime& time);

private:
    QString compose(const QString& words) const;

    const Clock& m_clock;
    LogSink& m_systemLog;
    LogSink* m_file = nullptr;
};

} // namespace vindel::diag
