#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>

namespace vindel::test {

// The throwaway certificates of tls/make-certificates.sh, made once.
struct Certificates {
    QTemporaryDir folder;
    bool made = false;

    Certificates()
    {
        QProcess script;
        script.start(QStringLiteral("bash"), {QStringLiteral(VINDEL_CERTIFICATE_SCRIPT), folder.path()});
        made = script.waitForFinished(60000) && script.exitCode() == 0;
    }
    QSslCertificate certificate(const QString& name) const
    {
        return QSslCertificate::fromPath(folder.filePath(name + ".pem")).value(0);
    }
    QSslKey key(const QString& name) const
    {
        QFile file(folder.filePath(name + ".key"));
        file.open(QIODevice::ReadOnly);
        const QByteArray pem = file.readAll();
        const QSslKey ec(pem, QSsl::Ec);
        return ec.isNull() ? QSslKey(pem, QSsl::Rsa) : ec;
    }
    QString pin(const QString& name) const
    {
        return "#sha256=" +
               QString::fromLatin1(
                   QCryptographicHash::hash(certificate(name).toDer(), QCryptographicHash::Sha256).toHex());
    }
    static const Certificates& get()
    {
        static const Certificates certificates;
        return certificates;
    }
};

} // namespace vindel::test
