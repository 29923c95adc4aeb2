#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vindel::test {

// A real dovecot POP3 server on 127.0.0.1 for tests, run by
// dovecot/run-dovecot.sh in a temporary folder with one user and a maildir
// holding a known number of messages. It stops when this object goes.
class DovecotServer {
public:
    DovecotServer();
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Starts the server (stopping one started before) and returns its port,
    // or 0 when it could not start: log() then tells why.
    quint16 start(int messageCount, const QString& password, const QString& user = QStringLiteral("vindel"));
    // The same, and POP3 over TLS on tlsPort() with a certificate for
    // localhost by a throwaway authority; every login then needs TLS (on
    // port() only after STLS).
    quint16 startWithTls(int messageCount, const QString& password);
    void stop();

    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }
    // The throwaway authority and the server's certificate (PEM files).
    QString certificatePath(const QString& name) const;
    QString user() const { return m_user; }
    // What the start script printed and the server's own log.
    QString log() const;

private:
    bool runScript(const QStringList& arguments, QString& output) const;
    quint16 startServer(int messageCount, const QString& password, const QString& user, bool tls);

    std::unique_ptr<QTemporaryDir> m_folder;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QString m_user;
    QString m_startOutput;
};

} // namespace vindel::test
