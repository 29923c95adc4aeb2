#pragma once

#include <QString>

namespace vindel::diag {

// Event types of the log, with the numbers the program has always used.
enum class EventType { Error = 1, Warning = 2, Information = 4 };

// Where composed log events end up: the log file, or the system log.
// append() writes one event and reports whether it was written.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual bool append(const QString& text, EventType type) = 0;
};

} // namespace vindel::diag
