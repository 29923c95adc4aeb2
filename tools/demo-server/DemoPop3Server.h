#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace vindel::demo {

// A small POP3 mailbox for trying the program out and for tests: it answers
// USER, PASS, STAT and QUIT (RFC 1939) on a loopback address and holds only a
// count of messages, which the owner changes while clients come and go.
class DemoPop3Server : public QObject {
    Q_OBJECT
public:
    static constexpr int messageSize = 1234; // octets per pretend message

    explicit DemoPop3Server(QObject* parent = nullptr);

    // Listens on a loopback address only; port 0 picks a free one.
    bool listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

    // An empty password accepts any; otherwise PASS must match it exactly.
    void setPassword(const QString& password) { m_password = password; }
    void setCount(int count);
    int count() const { return m_count; }
    int sessions() const { return m_sessions; }

signals:
    void countChanged(int count);
    // A client finished a whole check (QUIT answered).
    void sessionFinished(int sessions);

private:
    void accept();
    void serve(QTcpSocket* socket);
    QByteArray answer(QTcpSocket* socket, const QByteArray& line);

    QTcpServer m_server;
    QString m_password;
    int m_count = 0;
    int m_sessions = 0;
};

} // namespace vindel::demo
