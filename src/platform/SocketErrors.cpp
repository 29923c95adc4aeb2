#include "platform/SocketErrors.h"

#include "check/ServerAddress.h"
#include "diag/Failures.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSslKey>
#include <QStringList>

#include <cerrno>
#include <cstring>

namespace vindel::platform {
namespace failures = diag::failures;

diag::Failure failureFromErrno(int error, bool loopbackDestination)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return failures::PermissionDenied();
    case EINVAL:
    case EFAULT:
        return failures::InvalidArgument();
    case EMFILE:
    case ENFILE:
        return failures::TooManyOpenFiles();
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT:
        return failures::AddressFamilyNotSupported();
    case EADDRINUSE:
        return failures::AddressInUse();
    case EADDRNOTAVAIL:
        return failures::AddressNotAvailable();
    case ENETUNREACH:
    case ENETDOWN:
        return (loopbackDestination ? failures::NetworkUnreachable : failures::OffLine)();
    case ECONNRESET:
        return failures::ConnectionReset();
    case ENOBUFS:
    case ENOMEM:
        return failures::NoBufferSpace();
    case ETIMEDOUT:
        return failures::TimedOut();
    case ECONNREFUSED:
        return failures::ConnectionRefused();
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return failures::HostUnreachable();
    default:
        return failures::InvalidArgument.saying(QString::fromLocal8Bit(std::strerror(error)));
    }
}

diag::Failure failureFromLookup(QHostInfo::HostInfoError error)
{
    return (error == QHostInfo::HostNotFound ? failures::HostNotFound : failures::TryAgain)();
}

namespace {

QString distinguishedName(const QSslCertificate& certificate, bool issuer)
{
    QStringList parts;
    const QList<QByteArray> attributes =
        issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    for (const QByteArray& attribute : attributes) {
        const QStringList values =
            issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString& value : values)
            parts << QString::fromLatin1(attribute) + u'=' + value;
    }
    return parts.isEmpty() ? QStringLiteral("(no name)") : parts.join(QStringLiteral(", "));
}

// The names a certificate is for: its alternative names, else its common name.
QString certificateNames(const QSslCertificate& certificate)
{
    QStringList names;
    const auto alternatives = certificate.subjectAlternativeNames();
    for (auto it = alternatives.cbegin(); it != alternatives.cend(); ++it)
        if (it.key() == QSsl::DnsEntry || it.key() == QSsl::IpAddressEntry)
            names << it.value();
    if (names.isEmpty())
        names = certificate.subjectInfo(QSslCertificate::CommonName);
    return names.isEmpty() ? QStringLiteral("no name at all") : names.join(QStringLiteral(", "));
}

// The object identifier (its content bytes) of a DER certificate's
// signature algorithm, or empty when the encoding is not understood:
// Certificate ::= SEQUENCE { tbsCertificate SEQUENCE, signatureAlgorithm
// SEQUENCE { algorithm OBJECT IDENTIFIER, ... }, signature BIT STRING }.
QByteArray signatureAlgorithm(const QByteArray& der)
{
    qsizetype at = 0;
    qsizetype length = 0;
    auto enter = [&der, &at, &length](char tag) {
        if (at + 2 > der.size() || der.at(at) != tag)
            return false;
        const auto first = static_cast<uchar>(der.at(at + 1));
        at += 2;
        length = first;
        if (first >= 0x80) {
            const int octets = first & 0x7f;
            if (octets == 0 || octets > 3 || at + octets > der.size())
                return false;
            length = 0;
            for (int i = 0; i < octets; ++i)
                length = (length << 8) | static_cast<uchar>(der.at(at++));
        }
        return length <= der.size() - at;
    };
    if (!enter(0x30) || !enter(0x30)) // the certificate, then what is signed
        return {};
    at += length;
    if (!enter(0x30) || !enter(0x06)) // the algorithm, then its identifier
        return {};
    return der.mid(at, length);
}

// The digest of a signature algorithm too weak to vouch for a certificate.
QString weakDigest(const QByteArray& algorithm)
{
    static const struct {
        const char* identifier; // DER content bytes, in hexadecimal
        const char* digest;
    } weak[] = {
        {"2a864886f70d010102", "MD2"},   // md2WithRSAEncryption
        {"2a864886f70d010103", "MD4"},   // md4WithRSAEncryption
        {"2a864886f70d010104", "MD5"},   // md5WithRSAEncryption
        {"2a864886f70d010105", "SHA-1"}, // sha1WithRSAEncryption
        {"2b0e03021d", "SHA-1"},         // sha1WithRSASignature (OIW)
        {"2a8648ce3d0401", "SHA-1"},     // ecdsa-with-SHA1
        {"2a8648ce380403", "SHA-1"},     // dsa-with-sha1
    };
    const QByteArray hex = algorithm.toHex();
    for (const auto& entry : weak)
        if (hex == entry.identifier)
            return QString::fromLatin1(entry.digest);
    return {};
}

QString dateText(const QDateTime& moment)
{
    return moment.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

} // namespace

diag::Failure tlsHandshakeFailure(const QString& reason)
{
    return failures::TlsHandshakeFailed.about(reason);
}

diag::Failure certificateFailure(const QList<QSslError>& errors, const QSslCertificate& certificate,
                                 const QString& host)
{
    auto has = [&errors](std::initializer_list<QSslError::SslError> kinds) {
        for (const QSslError& error : errors)
            for (QSslError::SslError kind : kinds)
                if (error.error() == kind)
                    return true;
        return false;
    };
    const QString names = certificateNames(certificate);
    if (has({QSslError::SelfSignedCertificate}))
        return failures::TlsUntrustedIssuer.saying(
            QStringLiteral("The server's certificate (for %1) is self-signed: no trusted "
                           "authority vouches for it")
                .arg(names));
    if (has({QSslError::SelfSignedCertificateInChain, QSslError::UnableToGetLocalIssuerCertificate,
             QSslError::UnableToGetIssuerCertificate, QSslError::UnableToVerifyFirstCertificate,
             QSslError::CertificateUntrusted}))
        return failures::TlsUntrustedIssuer.saying(
            QStringLiteral("The server's certificate (for %1) is issued by %2, which is not "
                           "a trusted authority")
                .arg(names, distinguishedName(certificate, true)));
    if (has({QSslError::CertificateExpired}))
        return failures::TlsDateInvalid.saying(
            QStringLiteral("The server's certificate (for %1) expired on %2; it was valid "
                           "from %3")
                .arg(names, dateText(certificate.expiryDate()), dateText(certificate.effectiveDate())));
    if (has({QSslError::CertificateNotYetValid}))
        return failures::TlsDateInvalid.saying(
            QStringLiteral("The server's certificate (for %1) is not valid before %2")
                .arg(names, dateText(certificate.effectiveDate())));
    if (has({QSslError::HostNameMismatch}))
        return failures::TlsNameMismatch.saying(
            QStringLiteral("The server's certificate is for %1, not %2").arg(names, host));
    const QString reason = errors.isEmpty() ? QStringLiteral("unknown fault") : errors.first().errorString();
    return failures::TlsCertificateInvalid.saying(
        QStringLiteral("The server's certificate (for %1) cannot be used: %2").arg(names, reason));
}

std::optional<diag::Failure> weakCertificateFailure(const QList<QSslCertificate>& chain)
{
    for (qsizetype i = 0; i < chain.size(); ++i) {
        const QSslCertificate& certificate = chain.at(i);
        const QString which =
            i == 0 ? QStringLiteral("The server's certificate (for %1)").arg(certificateNames(certificate))
                   : QStringLiteral("The certificate of %1 in the server's chain")
                         .arg(distinguishedName(certificate, false));
        const QSslKey key = certificate.publicKey();
        const int bits = key.length();
        QString weakness;
        if ((key.algorithm() == QSsl::Rsa || key.algorithm() == QSsl::Dsa) && bits < 2048)
            weakness = QStringLiteral("has a %1-bit %2 key; at least 2048 bits are needed")
                           .arg(bits)
                           .arg(key.algorithm() == QSsl::Rsa ? QStringLiteral("RSA") : QStringLiteral("DSA"));
        else if (key.algorithm() == QSsl::Ec && bits < 256)
            weakness =
                QStringLiteral("has a %1-bit elliptic-curve key; at least 256 bits are needed").arg(bits);
        else if (const QString digest = weakDigest(signatureAlgorithm(certificate.toDer()));
                 !digest.isEmpty() && !certificate.isSelfSigned())
            weakness = QStringLiteral("is signed with %1, which no longer proves who signed it").arg(digest);
        if (!weakness.isEmpty())
            return failures::TlsCertificateInvalid.saying(which + u' ' + weakness);
    }
    return std::nullopt;
}

diag::Failure pinMismatchFailure(const QByteArray& pin, const QSslCertificate& certificate)
{
    const QByteArray seen = QCryptographicHash::hash(certificate.toDer(), QCryptographicHash::Sha256);
    return failures::PinMismatch.saying(
        QStringLiteral("The server's certificate has changed: the setting expects SHA-256 "
                       "%1, the server showed %2 (for %3, issued by %4)")
            .arg(check::fingerprintText(pin), check::fingerprintText(seen), certificateNames(certificate),
                 distinguishedName(certificate, true)));
}

QString certificateSubject(const QSslCertificate& certificate)
{
    return distinguishedName(certificate, false);
}

QString protocolName(QSsl::SslProtocol protocol)
{
    switch (protocol) {
    case QSsl::TlsV1_2:
        return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3:
        return QStringLiteral("TLS 1.3");
    default:
        return QStringLiteral("TLS");
    }
}

} // namespace vindel::platform
