#pragma once

#include "diag/LogSink.h"

#include <QString>

namespace vindel::platform {

// Log events written to the system log with syslog(3), ident "Vindel": error
// events as LOG_ERR, warnings as LOG_WARNING, information as LOG_INFO. This
// is where the connection-error events go while the log file is off.
class SyslogSink : public diag::LogSink {
public:
    SyslogSink();
    ~SyslogSink() override;

    // syslog(3) reports nothing back; false only when there is no local
    // system log socket to take the event.
    bool append(const QString& text, diag::EventType type) override;
};

} // namespace vindel::platform
