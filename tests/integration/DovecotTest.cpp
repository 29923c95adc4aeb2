#include "../engine/RealHarness.h"
#include "support/DovecotServer.h"

#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {
using platform::QtTcpClient;

constexpr int messageCount = 3;
const QString password = "s3cret pass";

// One POP3 exchange at a time over the real client: send a command, wait for
// the server's reply line.
class Pop3Dialogue {
public:
    explicit Pop3Dialogue(QtTcpClient& client) : m_client(client)
    {
        client.setDataHandler([this](const QByteArray& bytes) { m_pending += bytes; });
        client.setErrorHandler([this](const diag::Failure& failure) { m_failures.append(failure); });
    }
    // The next reply line, or an empty text when none came in time.
    QByteArray reply()
    {
        if (!QTest::qWaitFor([&] { return m_pending.contains("\r\n") || !m_failures.isEmpty(); }, 10000))
            return {};
        const qsizetype end = m_pending.indexOf("\r\n");
        if (end < 0)
            return {};
        const QByteArray line = m_pending.left(end + 2);
        m_pending.remove(0, end + 2);
        return line;
    }
    QByteArray command(const QByteArray& line)
    {
        if (!m_client.send(line + "\r\n"))
            return {};
        return reply();
    }
    const QList<diag::Failure>& failures() const { return m_failures; }

private:
    QtTcpClient& m_client;
    QByteArray m_pending;
    QList<diag::Failure> m_failures;
};

class DovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = new DovecotServer;
        s_server->start(messageCount, password);
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        // Never skipped: a server that cannot start is a failure, with its log.
        ASSERT_NE(s_server->port(), 0) << "dovecot did not start:\n" << s_server->log().toStdString();
    }

    static DovecotServer* s_server;
};
DovecotServer* DovecotTest::s_server = nullptr;

// Logs in by hand and checks that every message is still there; the server
// then closes after QUIT: an orderly close, no failure.
void expectEveryMessageThere(DovecotServer& server)
{
    QtTcpClient client;
    Pop3Dialogue pop3(client);
    ASSERT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    ASSERT_TRUE(pop3.reply().startsWith("+OK"));
    EXPECT_TRUE(pop3.command("USER " + server.user().toLatin1()).startsWith("+OK"));
    EXPECT_TRUE(pop3.command("PASS " + password.toLatin1()).startsWith("+OK"));
    const QByteArray stat = pop3.command("STAT");
    EXPECT_TRUE(stat.startsWith("+OK " + QByteArray::number(messageCount) + ' ')) << stat.constData();
    EXPECT_TRUE(pop3.command("QUIT").startsWith("+OK"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !client.isOpen(); }, 10000));
    EXPECT_TRUE(pop3.failures().isEmpty());
}

TEST_F(DovecotTest, LogsInAndCountsTheMessages)
{
    expectEveryMessageThere(*s_server);
}

TEST_F(DovecotTest, WrongPasswordIsRejected)
{
    QtTcpClient client;
    Pop3Dialogue pop3(client);
    ASSERT_EQ(client.connectTo("localhost", s_server->port()), std::nullopt);
    ASSERT_TRUE(pop3.reply().startsWith("+OK"));
    EXPECT_TRUE(pop3.command("USER " + s_server->user().toLatin1()).startsWith("+OK"));
    const QByteArray rejected = pop3.command("PASS not-the-password");
    EXPECT_TRUE(rejected.startsWith("-ERR")) << rejected.constData();
    EXPECT_TRUE(pop3.command("STAT").startsWith("-ERR"));
    client.close();
    EXPECT_TRUE(pop3.failures().isEmpty());
}

TEST_F(DovecotTest, APasswordCarryingCommandsDeletesNothing)
{
    // The right password with "DELE 1" and "QUIT" behind it: sent as it is,
    // the server would take three commands and delete message 1.
    RealHarness h(local(s_server->port()), password + "\r\nDELE 1\r\nQUIT");
    h.store.put("UserName", s_server->user());
    // Over when the refusal is reported, or (sent as it is) when the check ends.
    ASSERT_TRUE(h.runFirstCheck());
    EXPECT_TRUE(h.firstMessage().startsWith("message 48 Error 5\r\n\r\n"));
    h.popChk.shutDown();
    expectEveryMessageThere(*s_server);
}

} // namespace
} // namespace vindel::test
