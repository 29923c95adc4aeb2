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

// Turns this platform's socket and resolver failures into entries of the
// failure catalogue (diag/Failures.h), and makes the texts of the secured
// connections' failures. An orderly close by the server is no failure.

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
