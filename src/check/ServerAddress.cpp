#include "check/ServerAddress.h"

namespace vindel::check {
namespace {
constexpr quint16 pop3Port = 110;
constexpr quint16 pop3sPort = 995;
constexpr quint16 imapPort = 143;
constexpr quint16 imapsPort = 993;
constexpr qsizetype sha256Bytes = 32;

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

// "host", "host:port", "[v6]:port", "[v6]" or a bare IPv6 address. A suffix
// that is no valid port leaves the whole text as the host, as plain settings
// always did; ok says whether that happened.
ServerAddress hostAndPort(const QString& setting, quint16 defaultPort, bool& ok)
{
    ok = true;
    if (setting.startsWith(u'[')) {
        const qsizetype close = setting.indexOf(u']');
        if (close > 0) {
            const QString host = setting.mid(1, close - 1);
            const QString rest = setting.mid(close + 1);
            quint16 port = defaultPort;
            if (rest.isEmpty())
                return {host, defaultPort};
            if (rest.startsWith(u':') && parsePort(rest.mid(1), port))
                return {host, port};
        }
        ok = false;
        return {setting, defaultPort};
    }
    // Exactly one colon: "host:port". More than one: a bare IPv6 address.
    const qsizetype colon = setting.indexOf(u':');
    if (colon > 0 && setting.indexOf(u':', colon + 1) < 0) {
        quint16 port = defaultPort;
        if (parsePort(setting.mid(colon + 1), port))
            return {setting.left(colon), port};
        ok = false;
    }
    return {setting, defaultPort};
}

// "sha256=" and 64 hexadecimal digits, colons anywhere between them.
bool parsePin(const QString& fragment, QByteArray& pin)
{
    const QString prefix = QStringLiteral("sha256=");
    if (!fragment.startsWith(prefix, Qt::CaseInsensitive))
        return false;
    QByteArray hex;
    for (QChar c : fragment.mid(prefix.size())) {
        if (c == u':')
            continue;
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
        hex += static_cast<char>(c.unicode());
    }
    if (hex.size() != 2 * sha256Bytes)
        return false;
    pin = QByteArray::fromHex(hex);
    return true;
}

ServerAddress parseTlsForm(const QString& rest, Security security, quint16 defaultPort)
{
    QString hostPart = rest;
    QByteArray pin;
    QString problem;
    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0) {
        hostPart = rest.left(hash);
        if (!parsePin(rest.mid(hash + 1), pin))
            problem = QStringLiteral("The certificate pin in the server setting must be \"#sha256=\" "
                                     "followed by 64 hexadecimal digits.");
    }
    if (hostPart.endsWith(u'/'))
        hostPart.chop(1);
    bool portOk = true;
    ServerAddress address = hostAndPort(hostPart, defaultPort, portOk);
    if (!portOk)
        problem = QStringLiteral("The port in the server setting must be a number from 1 to 65535.");
    // ":995" is a port without a host; "::1" is a bare IPv6 address.
    if (address.host.isEmpty() || (hostPart.startsWith(u':') && hostPart.count(u':') == 1))
        problem = QStringLiteral("The server setting names no host.");
    address.security = security;
    address.pin = problem.isEmpty() ? pin : QByteArray();
    address.problem = problem;
    return address;
}

} // namespace

ServerAddress parseServerAddress(const QString& setting)
{
    const struct {
        QString scheme;
        Security security;
        quint16 port;
        Protocol protocol;
    } tlsForms[] = {{QStringLiteral("pop3s://"), Security::ImplicitTls, pop3sPort, Protocol::Pop3},
                    {QStringLiteral("pop3+stls://"), Security::StartTls, pop3Port, Protocol::Pop3},
                    {QStringLiteral("imaps://"), Security::ImplicitTls, imapsPort, Protocol::Imap},
                    {QStringLiteral("imap+starttls://"), Security::StartTls, imapPort, Protocol::Imap}};
    for (const auto& form : tlsForms) {
        if (setting.startsWith(form.scheme, Qt::CaseInsensitive)) {
            ServerAddress address = parseTlsForm(setting.mid(form.scheme.size()), form.security, form.port);
            address.protocol = form.protocol;
            return address;
        }
    }
    bool ignored = true;
    return hostAndPort(setting, pop3Port, ignored);
}

QString fingerprintText(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

} // namespace vindel::check
