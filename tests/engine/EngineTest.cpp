// The behaviour with the real socket and timers against dovecot on
// 127.0.0.1. The windows are the fakes of the unit tests, so these tests
// need no display.
#include "RealHarness.h"
#include "support/DovecotServer.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class Dovecot : public ::testing::Test {
protected:
    DovecotServer dovecot;
};

// A wrong password and one that would carry commands of its own fail through
// the error report, the second before it is sent; the right one then counts
// every message, so nothing was deleted.
TEST_F(Dovecot, TheEngineLogsInWithTheRightPasswordOnly)
{
    const quint16 port = dovecot.start(4, "right-password");
    ASSERT_NE(port, 0) << dovecot.log().toStdString();
    const struct {
        QString password;
        QByteArray sent;
        QString outcome;
    } rows[] = {
        {"wrong-password", "USER vindel\r\nPASS wrong-password\r\n", "message 48 Error 99999\r\n\r\n [AUTH]"},
        {"right-password\r\nDELE 1\r\nQUIT", "USER vindel\r\n", "message 48 Error 5\r\n\r\n"},
        {"right-password", "USER vindel\r\nPASS right-password\r\nSTAT\r\nQUIT\r\n",
         "label You have 4 Mail(s)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password.toStdString());
        RealHarness h(local(port), row.password);
        ASSERT_TRUE(h.runFirstCheck());
        const QStringList outcome = h.journal.filter(QRegularExpression("^(message|label You have)"));
        ASSERT_EQ(outcome.size(), 1) << h.journal.join('\n').toStdString();
        EXPECT_TRUE(outcome[0].startsWith(row.outcome)) << outcome[0].toStdString();
        EXPECT_EQ(h.wire.sent, row.sent);
    }
}

// What goes inside TLS is the plain conversation exactly, STLS before it for
// the STLS form; the log names the certificate and never the password. Over
// IMAP the count is that of the unseen messages in INBOX (all three are).
TEST_F(Dovecot, TheEngineCountsTheRealMailboxOverTlsAndOverStls)
{
    ASSERT_NE(dovecot.startWithImap(3, "right-password"), 0) << dovecot.log().toStdString();
    const QByteArray login = "USER vindel\r\nPASS right-password\r\nSTAT\r\nQUIT\r\n";
    const QByteArray imapLogin =
        "v2 LOGIN \"vindel\" \"right-password\"\r\nv3 STATUS INBOX (UNSEEN)\r\nv4 LOGOUT\r\n";
    const struct {
        QString server;
        QByteArray sent;
    } forms[] = {
        {QStringLiteral("pop3s://localhost:%1").arg(dovecot.tlsPort()), login},
        {QStringLiteral("pop3+stls://localhost:%1").arg(dovecot.port()), "STLS\r\n" + login},
        {QStringLiteral("imaps://localhost:%1").arg(dovecot.imapsPort()), imapLogin},
        {QStringLiteral("imap+starttls://localhost:%1").arg(dovecot.imapPort()),
         "v1 STARTTLS\r\n" + imapLogin},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.server.toStdString());
        RealHarness h(form.server, "right-password");
        h.tcp.addCaCertificates(QSslCertificate::fromPath(dovecot.certificatePath("ca")));
        QTemporaryDir logFolder;
        h.arguments = QStringList{"/t"};
        h.logFolder = logFolder.path();
        ASSERT_TRUE(h.runFirstCheck());
        EXPECT_EQ(h.window.status, "You have 3 Mail(s)") << h.journal.join('\n').toStdString();
        EXPECT_EQ(h.wire.sent, form.sent);
        EXPECT_FALSE(h.tcp.isOpen());
        // The log names the certificate the connection was made with.
        const QByteArray digest = QCryptographicHash::hash(
            QSslCertificate::fromPath(dovecot.certificatePath("server")).value(0).toDer(),
            QCryptographicHash::Sha256);
        QFile logFile(logFolder.filePath("Vindel.log"));
        ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(logFile.readAll());
        EXPECT_TRUE(log.contains(", certificate CN=localhost, O=Vindel Tests, SHA-256 " +
                                 check::fingerprintText(digest)))
            << log.toStdString();
        EXPECT_EQ(log.contains("INFO  ") && log.contains(" STLS\n"), form.sent.startsWith("STLS"));
        EXPECT_FALSE(log.contains("right-password"));
    }
}

// Another mail program reads everything: it marks every message in INBOX
// seen over a connection of its own.
bool markAllSeen(quint16 port, const QString& caPath)
{
    QSslSocket socket;
    QSslConfiguration tls = socket.sslConfiguration();
    tls.addCaCertificates(QSslCertificate::fromPath(caPath));
    socket.setSslConfiguration(tls);
    socket.connectToHostEncrypted(QStringLiteral("localhost"), port);
    QByteArray heard;
    const auto command = [&](const QByteArray& tag, const QByteArray& words) {
        socket.write(tag + ' ' + words + "\r\n");
        while (!heard.contains("\n" + tag + " OK")) {
            if (!socket.waitForReadyRead(10000))
                return false;
            heard += socket.readAll();
        }
        return true;
    };
    heard = "\n";
    return socket.waitForEncrypted(10000) && command("a", "LOGIN vindel right-password") &&
           command("b", "SELECT INBOX") && command("c", "STORE 1:* +FLAGS.SILENT (\\Seen)") &&
           command("d", "LOGOUT");
}

// With the interval at ten minutes, only the server's word can bring a
// count within seconds: a delivered message is told with its notice, and
// reading it elsewhere brings the no-mail status.
TEST_F(Dovecot, ImapServersTellOfNewAndReadMailWithinSeconds)
{
    ASSERT_NE(dovecot.startWithImap(0, "right-password"), 0) << dovecot.log().toStdString();
    const auto ca = QSslCertificate::fromPath(dovecot.certificatePath("ca"));
    for (const QString& server : {QStringLiteral("imaps://localhost:%1").arg(dovecot.imapsPort()),
                                  QStringLiteral("imap+starttls://localhost:%1").arg(dovecot.imapPort())}) {
        SCOPED_TRACE(server.toStdString());
        RealHarness h(server, "right-password");
        h.tcp.addCaCertificates(ca);
        h.listeningTcp.addCaCertificates(ca);
        h.store.put("Interval", "10");
        QTemporaryDir logFolder;
        h.arguments = QStringList{"/t"};
        h.logFolder = logFolder.path();
        ASSERT_TRUE(h.runFirstCheck());
        EXPECT_EQ(h.window.status, "You have No mail");
        const auto log = [&] {
            QFile file(logFolder.filePath("Vindel.log"));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return log().contains("Listening for changes"); }, 10000))
            << log().toStdString();

        ASSERT_TRUE(dovecot.deliver());
        EXPECT_TRUE(QTest::qWaitFor([&] { return h.window.status == "You have 1 Mail(s)"; }, 15000))
            << h.journal.join('\n').toStdString();
        EXPECT_TRUE(h.journal.contains("notice You have 1 Mail(s)"));

        ASSERT_TRUE(markAllSeen(dovecot.imapsPort(), dovecot.certificatePath("ca")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return h.window.status == "You have No mail"; }, 15000))
            << h.journal.join('\n').toStdString();
        EXPECT_TRUE(h.journal.filter("message").isEmpty());
        EXPECT_FALSE(log().contains("right-password"));
    }
}

} // namespace
} // namespace vindel::test
