// The behaviour with the real socket and timers against real servers on
// 127.0.0.1: the demo mailbox, scripted servers and dovecot. The windows are
// the fakes of the unit tests, so these tests need no display.
#include "DemoPop3Server.h"
#include "RealHarness.h"
#include "support/DovecotServer.h"
#include "support/ScriptedPop3Server.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

TEST(Engine, CountsTheDemoMailboxAndEndsTheCheckCleanly)
{
    demo::DemoPop3Server server;
    ASSERT_TRUE(server.listen());
    server.setCount(3);
    RealHarness h(local(server.port()));
    ASSERT_TRUE(h.runFirstCheck());
    EXPECT_EQ(h.window.status, "You have 3 Mail(s)");
    EXPECT_EQ(h.tray.tip, "Vindel - You have 3 Mail(s)");
    EXPECT_TRUE(h.journal.contains("notice You have 3 Mail(s)"));
    EXPECT_FALSE(h.tcp.isOpen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 2000));
    EXPECT_TRUE(h.journal.filter("message").isEmpty());

    // A second check through the check command sees the mailbox change.
    server.setCount(0);
    h.popChk.checkNow();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return h.window.status == "You have No mail" && h.checkTimer.isEnabled(); }, 5000));
    EXPECT_EQ(h.tray.picture, shell::StatePicture::Normal);
}

TEST(Engine, SendsExactlyTheCommandsEvenWhenRepliesComeInPieces)
{
    ScriptedPop3Server server(ServerScript()
                                  .sendPieces({"+OK PO", "P3 ready", "\r", "\n"}, 30)
                                  .expect("USER vindel\r\n")
                                  .sendPieces({"+OK\r", "\n"}, 30)
                                  .expect("PASS secret\r\n")
                                  .send("+OK logged in\r\n")
                                  .expect("STAT\r\n")
                                  .send("+OK 2 320\r\n+")
                                  .expect("QUIT\r\n")
                                  .send("OK bye\r\n")
                                  .stayOpen());
    ASSERT_TRUE(server.isListening());
    RealHarness h(local(server.port()));
    ASSERT_TRUE(h.runFirstCheck());
    EXPECT_EQ(server.received(0), "USER vindel\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
    EXPECT_TRUE(server.mismatches().isEmpty()) << server.mismatches().join('\n').toStdString();
    EXPECT_EQ(h.window.status, "You have 2 Mail(s)");
    EXPECT_TRUE(h.journal.filter("message").isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.isClosedByClient(0); }, 2000));
}

TEST(Engine, ARejectedReplyIsReportedWithTheServersWords)
{
    ScriptedPop3Server server(ServerScript()
                                  .send("+OK ready\r\n")
                                  .expect("USER vindel\r\n")
                                  .send("-ERR no such user\r\n")
                                  .stayOpen());
    RealHarness h(local(server.port()));
    ASSERT_TRUE(h.runFirstCheck());
    EXPECT_EQ(h.firstMessage(), "message 48 Error 99999\r\n\r\n no such user\r\n");
    EXPECT_EQ(server.received(0), "USER vindel\r\n"); // nothing after the rejection
    EXPECT_EQ(h.journal.filter("dialog").size(), 1);
}

TEST(Engine, ARefusedConnectionArrivesWithItsNumber)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    RealHarness refused(local(port));
    ASSERT_TRUE(refused.runFirstCheck());
    EXPECT_TRUE(refused.firstMessage().startsWith("message 48 Error 10061\r\n\r\n"));
    EXPECT_EQ(refused.systemLog.lines.size(), 1);
}

TEST(Engine, ASilentServerEndsTheCheckAfterTheReplyLimit)
{
    ScriptedPop3Server server(ServerScript().stayOpen());
    RealHarness h(local(server.port()));
    h.popChk.setReplyLimit(300);
    ASSERT_TRUE(h.runFirstCheck(5000));
    EXPECT_TRUE(h.firstMessage().startsWith("message 48 Error 10060\r\n\r\n"));
    EXPECT_FALSE(h.tcp.isOpen());
    EXPECT_EQ(h.journal.filter("message").size(), 1);
}

class Dovecot : public ::testing::Test {
protected:
    DovecotServer dovecot;
};

TEST_F(Dovecot, TheEngineCountsTheRealMailbox)
{
    const quint16 port = dovecot.start(4, "right-password");
    ASSERT_NE(port, 0) << dovecot.log().toStdString();
    RealHarness h(local(port), "right-password");
    ASSERT_TRUE(h.runFirstCheck());
    EXPECT_EQ(h.window.status, "You have 4 Mail(s)") << h.journal.join('\n').toStdString();
    EXPECT_TRUE(h.checkSucceeded());
    EXPECT_FALSE(h.tcp.isOpen());
}

// What goes inside TLS is the plain conversation exactly, STLS before it for
// the STLS form; the log names the certificate and never the password.
TEST_F(Dovecot, TheEngineCountsTheRealMailboxOverTlsAndOverStls)
{
    ASSERT_NE(dovecot.startWithTls(3, "right-password"), 0) << dovecot.log().toStdString();
    const QByteArray login = "USER vindel\r\nPASS right-password\r\nSTAT\r\nQUIT\r\n";
    const struct {
        QString server;
        QByteArray sent;
    } forms[] = {
        {QStringLiteral("pop3s://localhost:%1").arg(dovecot.tlsPort()), login},
        {QStringLiteral("pop3+stls://localhost:%1").arg(dovecot.port()), "STLS\r\n" + login},
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

TEST_F(Dovecot, AWrongPasswordGoesThroughTheErrorReport)
{
    const quint16 port = dovecot.start(1, "right-password");
    ASSERT_NE(port, 0) << dovecot.log().toStdString();
    RealHarness h(local(port), "wrong-password");
    ASSERT_TRUE(h.runFirstCheck());
    EXPECT_TRUE(h.firstMessage().startsWith("message 48 Error 99999\r\n\r\n [AUTH]"))
        << h.firstMessage().toStdString();
    // The password was the last thing sent, and the failure is reported once.
    EXPECT_EQ(h.journal.filter("label Send").last(), "label Send Password...");
    EXPECT_EQ(h.journal.filter("message").size(), 1);
}

} // namespace
} // namespace vindel::test
