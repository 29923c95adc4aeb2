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
    void stop();

    quint16 port() const { return m_port; }
    QString user() const { return m_user; }
    // What the start script printed and the server's own log.
    QString log() const;

private:
    bool runScript(const QStringList& arguments, QString& output) const;

    std::unique_ptr<QTemporaryDir> m_folder;
    quint16 m_port = 0;
    QString m_user;
    QString m_startOutput;
};

} // namespace vindel::test
