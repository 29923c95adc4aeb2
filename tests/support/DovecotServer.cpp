#include "support/DovecotServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>

#include <sys/stat.h>
#include <unistd.h>

namespace vindel::test {
namespace {
constexpr int scriptTimeoutMs = 60000;

// A port that nothing listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString serverFolder(const QTemporaryDir& folder)
{
    return folder.filePath(QStringLiteral("dovecot"));
}
} // namespace

DovecotServer::DovecotServer() = default;

DovecotServer::~DovecotServer()
{
    stop();
}

quint16 DovecotServer::start(int messageCount, const QString& password)
{
    return startServer(messageCount, password, false);
}

quint16 DovecotServer::startWithTls(int messageCount, const QString& password)
{
    return startServer(messageCount, password, true);
}

quint16 DovecotServer::startWithImap(int messageCount, const QString& password)
{
    return startServer(messageCount, password, true, true);
}

QString DovecotServer::certificatePath(const QString& name) const
{
    return m_folder ? serverFolder(*m_folder) + QStringLiteral("/tls/") + name + QStringLiteral(".pem")
                    : QString();
}

quint16 DovecotServer::startServer(int messageCount, const QString& password, bool tls, bool imap)
{
    stop();
    m_startOutput.clear();
    m_folder = std::make_unique<QTemporaryDir>();
    if (!m_folder->isValid()) {
        m_startOutput = QStringLiteral("cannot create a temporary folder: ") + m_folder->errorString();
        return 0;
    }
    // dovecot's mail process runs as its own user: it must be able to pass
    // through this folder (but not list it).
    QFile::setPermissions(m_folder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ExeGroup | QFile::ExeOther);
    // The port is free when chosen but could be taken before dovecot binds
    // it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const quint16 port = freePort();
        quint16 tlsPort = 0;
        for (int pick = 0; tls && pick < 5 && (tlsPort == 0 || tlsPort == port); ++pick)
            tlsPort = freePort();
        const auto taken = [&](quint16 p) { return p == 0 || p == port || p == tlsPort; };
        quint16 imapPort = 0, imapsPort = 0;
        for (int pick = 0; imap && pick < 5 && taken(imapPort); ++pick)
            imapPort = freePort();
        for (int pick = 0; imap && pick < 5 && (taken(imapsPort) || imapsPort == imapPort); ++pick)
            imapsPort = freePort();
        QStringList arguments{QStringLiteral("start"),
                              serverFolder(*m_folder),
                              QString::number(port),
                              QStringLiteral("vindel"),
                              password,
                              QString::number(messageCount)};
        if (tls)
            arguments << QString::number(tlsPort);
        if (imap)
            arguments << QString::number(imapPort) << QString::number(imapsPort);
        QString output;
        const bool started = port != 0 && (!tls || (tlsPort != 0 && tlsPort != port)) &&
                             (!imap || (!taken(imapPort) && !taken(imapsPort) && imapPort != imapsPort)) &&
                             runScript(arguments, output);
        m_startOutput += output;
        if (started) {
            m_port = port;
            m_tlsPort = tlsPort;
            m_imapPort = imapPort;
            m_imapsPort = imapsPort;
            return port;
        }
        if (!output.contains(u"Address already in use"))
            break;
    }
    return 0;
}

bool DovecotServer::deliver()
{
    if (!m_folder)
        return false;
    static int delivered = 0;
    const QString maildir = serverFolder(*m_folder) + QStringLiteral("/home/vindel/Maildir/");
    const QString name = QStringLiteral("%1.M%2P%3.vindel-test")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(++delivered)
                             .arg(QCoreApplication::applicationPid());
    QFile file(maildir + QStringLiteral("tmp/") + name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("From: late@example.org\r\nTo: user@example.org\r\nSubject: Late\r\n\r\nBody.\r\n");
    file.close();
    // The mailbox belongs to the server's mail user, who must read it.
    struct stat folder {};
    if (::stat(QFile::encodeName(maildir).constData(), &folder) != 0 ||
        ::chown(QFile::encodeName(file.fileName()).constData(), folder.st_uid, folder.st_gid) != 0)
        return false;
    return QFile::rename(file.fileName(), maildir + QStringLiteral("new/") + name);
}

void DovecotServer::stop()
{
    if (!m_folder)
        return;
    QString output;
    runScript({QStringLiteral("stop"), serverFolder(*m_folder)}, output);
    m_port = 0;
    m_tlsPort = 0;
    m_imapPort = 0;
    m_imapsPort = 0;
    m_folder.reset();
}

QString DovecotServer::log() const
{
    QString text = m_startOutput;
    if (m_folder) {
        QFile file(serverFolder(*m_folder) + QStringLiteral("/dovecot.log"));
        if (file.open(QIODevice::ReadOnly))
            text += QStringLiteral("\n---- dovecot.log ----\n") + QString::fromLocal8Bit(file.readAll());
    }
    return text;
}

bool DovecotServer::runScript(const QStringList& arguments, QString& output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("bash"), QStringList{QStringLiteral(VINDEL_DOVECOT_SCRIPT)} + arguments);
    if (!process.waitForStarted()) {
        output = QStringLiteral("cannot run %1: %2")
                     .arg(QStringLiteral(VINDEL_DOVECOT_SCRIPT), process.errorString());
        return false;
    }
    const bool finished = process.waitForFinished(scriptTimeoutMs);
    output = QString::fromLocal8Bit(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished();
        output += QStringLiteral("\n(run-dovecot.sh did not finish in time)");
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace vindel::test
