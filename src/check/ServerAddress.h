#pragma once

#include <QByteArray>
#include <QString>

namespace vindel::check {

// How a check's connection is protected.
enum class Security {
    Plain,       // POP3 in the clear, byte for byte as it always was
    ImplicitTls, // the TLS handshake first, then the conversation inside it
    StartTls,    // the greeting in the clear, then STLS, the handshake, the rest inside
};

// Which conversation a check holds with the server.
enum class Protocol { Pop3, Imap };

// Where a check connects and how. The setting holds one of
//   host, host:port, [IPv6 address]:port     plain, port 110 unless named
//   pop3s://host[:port]                      TLS from the start, port 995
//   pop3+stls://host[:port]                  STLS before the login, port 110
//   imaps://host[:port]                      IMAP, TLS from the start, port 993
//   imap+starttls://host[:port]              IMAP, STARTTLS before the login, port 143
// where a host may be an IPv6 address, bare or in brackets ("::1", "[::1]");
// a port after it needs the brackets ("[::1]:995"). Either TLS form may end
// in "#sha256=" and the certificate's SHA-256 fingerprint (64 hexadecimal
// digits, colons allowed, either case): then exactly that certificate stands
// in for the authorities' word, whoever signed it, for whatever names and
// dates; its key and signatures must still be as strong as any other's.
// IMAP has no plain form: its forms are read exactly as the POP3 TLS forms.
struct ServerAddress {
    ServerAddress() = default;
    ServerAddress(QString host, quint16 port, Security security = Security::Plain, QByteArray pin = {},
                  QString problem = {}, Protocol protocol = Protocol::Pop3)
        : host(std::move(host)), port(port), security(security), pin(std::move(pin)),
          problem(std::move(problem)), protocol(protocol)
    {
    }

    QString host;
    quint16 port = 110;
    Security security = Security::Plain;
    QByteArray pin;  // the pinned fingerprint's 32 bytes; empty: verified as usual
    QString problem; // why a TLS form cannot be used, in words for the user
    Protocol protocol = Protocol::Pop3;
    bool operator==(const ServerAddress&) const = default;
};

ServerAddress parseServerAddress(const QString& setting);

// A fingerprint as the log and the messages show it: "AB:CD:...".
QString fingerprintText(const QByteArray& digest);

} // namespace vindel::check
