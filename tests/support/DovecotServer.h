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
    // The one user is "vindel".
    quint16 start(int messageCount, const QString& password);
    // The same, and POP3 over TLS on tlsPort() with a certificate for
    // localhost by a throwaway authority; every login then needs TLS (on
    // port() only after STLS).
    quint16 startWithTls(int messageCount, const QString& password);
    // The same, and IMAP on imapPort() (login only after STARTTLS) and over
    // TLS on imapsPort() (needs dovecot-imapd).
    quint16 startWithImap(int messageCount, const QString& password);
    quint16 port() const { return m_port; }
    quint16 imapPort() const { return m_imapPort; }
    quint16 imapsPort() const { return m_imapsPort; }
    quint16 tlsPort() const { return m_tlsPort; }
    // Delivers one more unseen message into the user's INBOX as a mail
    // delivery agent would (written in tmp, then moved into new).
    bool deliver();
    // The throwaway authority and the server's certificate (PEM files).
    QString certificatePath(const QString& name) const;
    // What the start script printed and the server's own log.
    QString log() const;

private:
    bool runScript(const QStringList& arguments, QString& output) const;
    quint16 startServer(int messageCount, const QString& password, bool tls, bool imap = false);
    void stop();

    std::unique_ptr<QTemporaryDir> m_folder;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    quint16 m_imapPort = 0;
    quint16 m_imapsPort = 0;
    QString m_startOutput;
};

} // namespace vindel::test
