#pragma once

#include "diag/Failure.h"

#include <QHostInfo>
#include <QList>
#include <QSsl>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

#include <optional>

namespace vindel::platform {

// The one table that turns this platform's socket and resolver failures into
// the Windows Sockets numbers the program decides on. Descriptions are short
// English texts; the number alone drives the program's reaction.
//
// Number  Name              Raised for
// 10013   WSAEACCES         connect: EACCES, EPERM (a firewall rule, a broadcast address)
// 10014   WSAEFAULT         connect: EINVAL, EFAULT; any socket failure not named in this table
//                           (the description is then the platform's own text)
// 10024   WSAEMFILE         socket: EMFILE, ENFILE
// 10047   WSAEAFNOSUPPORT   socket: EAFNOSUPPORT, EPROTONOSUPPORT (IPv6 switched off, say)
// 10048   WSAEADDRINUSE     connect: EADDRINUSE (no free local port)
// 10049   WSAEADDRNOTAVAIL  connect: EADDRNOTAVAIL
// 10051   WSAENETUNREACH    connect: ENETUNREACH, ENETDOWN towards a loopback address (which is
//                           never off line)
// 10054   WSAECONNRESET     connect: ECONNRESET; an open connection reset by the server, or
//                           broken by a read or write error
// 10055   WSAENOBUFS        ENOBUFS, ENOMEM; Qt's resource error
// 10060   WSAETIMEDOUT      connect: ETIMEDOUT, or the client's own connect time limit
// 10061   WSAECONNREFUSED   connect: ECONNREFUSED (nothing listens on the port)
// 10065   WSAEHOSTUNREACH   connect: EHOSTUNREACH, EHOSTDOWN
// 11001   WSAHOST_NOT_FOUND name lookup: the name does not exist (QHostInfo::HostNotFound, which
//                           covers EAI_NONAME, EAI_FAIL and EAI_NODATA, and names that are not
//                           valid host names at all)
// 11002   WSATRY_AGAIN      name lookup: any other failure (QHostInfo::UnknownError, which is
//                           what EAI_AGAIN, no answer from the resolver, becomes)
// 11004   WSANO_DATA        off line: no usable network interface when the destination is not a
//                           loopback address, or connect: ENETUNREACH, ENETDOWN
// 40020   -                 connectTo while a connection is still open (refused at once)
//
// Secured connections (numbers of check::tlsfailure, all transient; each
// text says what is wrong, never how to get round it):
// 12037   certificate expired or not yet valid (its dates)
// 12038   certificate for other names (the names it carries, the name asked for)
// 12045   certificate self-signed or by an authority not trusted (its issuer)
// 12157   no TLS agreed: handshake failed (a plain server on a TLS port, a broken
//         handshake, a close during it, plain text behind the "+OK" to STLS)
// 12169   a key or signature too weak (weakCertificateFailure), or any other
//         fault of the certificate (Qt's words for it)
// 12180   the server refused STLS (made by the check, which reads the reply)
// 12181   not the pinned certificate (the expected and the seen fingerprint)
// 12182   a TLS form of the server setting that cannot be used (made by the check)
//
// An orderly close by the server is no failure and has no number.
enum class WinsockError : int {
    PermissionDenied = 10013,
    InvalidArgument = 10014,
    TooManyOpenFiles = 10024,
    AddressFamilyNotSupported = 10047,
    AddressInUse = 10048,
    AddressNotAvailable = 10049,
    NetworkUnreachable = 10051,
    ConnectionReset = 10054,
    NoBufferSpace = 10055,
    TimedOut = 10060,
    ConnectionRefused = 10061,
    HostUnreachable = 10065,
    HostNotFound = 11001,
    TryAgain = 11002,
    OffLine = 11004,
    InvalidState = 40020,
};

// The failure for a number of the table, with the table's description.
diag::Failure socketFailure(WinsockError number);

// A failed socket() or connect(), by errno. ENETUNREACH and ENETDOWN mean off
// line unless the destination is a loopback address.
diag::Failure failureFromErrno(int error, bool loopbackDestination);

// A failed name lookup.
diag::Failure failureFromLookup(QHostInfo::HostInfoError error);

// A handshake that did not come to an end; reason in Qt's or our words.
diag::Failure tlsHandshakeFailure(const QString& reason);
// The most telling of the certificate's faults: its issuer first, then its
// dates, then its names.
diag::Failure certificateFailure(const QList<QSslError>& errors, const QSslCertificate& certificate,
                                 const QString& host);
// The first certificate the server sent whose key or signature is too weak
// to be trusted with the password, pinned or not: an RSA or DSA key under
// 2048 bits, an elliptic-curve key under 256 bits, a signature made with MD5
// or SHA-1 (a certificate's signature over itself vouches for nothing and is
// not looked at). Checked here rather than left to the TLS library's
// security level, which the system's configuration may lower and which lets
// a 224-bit curve pass.
std::optional<diag::Failure> weakCertificateFailure(const QList<QSslCertificate>& chain);
// A certificate other than the pinned one.
diag::Failure pinMismatchFailure(const QByteArray& pin, const QSslCertificate& certificate);

// "CN=pop.example.org, O=Example": the subject as the log shows it.
QString certificateSubject(const QSslCertificate& certificate);
// "TLS 1.3"
QString protocolName(QSsl::SslProtocol protocol);

} // namespace vindel::platform
