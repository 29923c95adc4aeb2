#include "platform/SyslogSink.h"

#include <QFileInfo>

#include <syslog.h>

namespace vindel::platform {
namespace {
// openlog() keeps the pointer: it must outlive every syslog() call.
constexpr char ident[] = "Vindel";

int priorityOf(diag::EventType type)
{
    switch (type) {
    case diag::EventType::Error:
        return LOG_ERR;
    case diag::EventType::Warning:
        return LOG_WARNING;
    case diag::EventType::Information:
        return LOG_INFO;
    }
    return LOG_INFO;
}
} // namespace

SyslogSink::SyslogSink()
{
    ::openlog(ident, LOG_PID, LOG_USER);
}

SyslogSink::~SyslogSink()
{
    ::closelog();
}

bool SyslogSink::append(const QString& text, diag::EventType type)
{
    ::syslog(priorityOf(type), "%s", text.toUtf8().constData());
    return QFileInfo::exists(QStringLiteral("/dev/log"));
}

} // namespace vindel::platform
