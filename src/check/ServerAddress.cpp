#include "check/ServerAddress.h"

namespace vindel::check {
namespace {
constexpr quint16 pop3Port = 110;

// A port suffix is taken only when it is a whole decimal number 1..65535.
bool parsePort(const QString& text, quint16& port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    const int value = text.toInt();
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<quint16>(value);
    return true;
}
} // namespace

ServerAddress parseServerAddress(const QString& setting)
{
    // "[v6]:port" or "[v6]"
    if (setting.startsWith(u'[')) {
        const qsizetype close = setting.indexOf(u']');
        if (close > 0) {
            const QString host = setting.mid(1, close - 1);
            const QString rest = setting.mid(close + 1);
            quint16 port = pop3Port;
            if (rest.isEmpty())
                return {host, pop3Port};
            if (rest.startsWith(u':') && parsePort(rest.mid(1), port))
                return {host, port};
        }
        return {setting, pop3Port};
    }
    // Exactly one colon: "host:port". More than one: a bare IPv6 address.
    const qsizetype colon = setting.indexOf(u':');
    if (colon > 0 && setting.indexOf(u':', colon + 1) < 0) {
        quint16 port = pop3Port;
        if (parsePort(setting.mid(colon + 1), port))
            return {setting.left(colon), port};
    }
    return {setting, pop3Port};
}

} // namespace vindel::check
