// The demo mailbox program as the README documents it: a count that grows on
// its own, one more for Enter, none for "0".
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

// One POP3 conversation; the count from the STAT reply, or -1.
int statCount(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(3000))
        return -1;
    auto reply = [&socket]() -> QByteArray {
        while (!socket.canReadLine())
            if (!socket.waitForReadyRead(3000))
                return {};
        return socket.readLine();
    };
    reply(); // greeting
    QByteArray stat;
    for (const QByteArray command : {"USER demo\r\n", "PASS demo\r\n", "STAT\r\n", "QUIT\r\n"}) {
        socket.write(command);
        const QByteArray answer = reply();
        if (command.startsWith("STAT"))
            stat = answer;
    }
    return stat.startsWith("+OK ") ? stat.split(' ').value(1).toInt() : -1;
}

TEST(DemoServer, TheCountGrowsByItselfAndAtTheKeyboard)
{
    QTemporaryDir folder;
    const QString portFile = folder.filePath("port");
    QProcess server;
    server.start(QStringLiteral(VINDEL_DEMO_SERVER),
                 {"--count", "1", "--every", "2", "--port-file", portFile});
    ASSERT_TRUE(server.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(portFile).size() > 0; }, 5000));
    QFile file(portFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto port = static_cast<quint16>(file.readAll().trimmed().toUInt());

    EXPECT_EQ(statCount(port), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return statCount(port) == 2; }, 4000))
        << "no message after two seconds";
    const int before = statCount(port);
    server.write("\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return statCount(port) > before; }, 2000)) << "Enter added nothing";
    server.write("0\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return statCount(port) == 0; }, 2000)) << "0 did not empty it";

    server.terminate();
    EXPECT_TRUE(server.waitForFinished(3000));
}

} // namespace
} // namespace vindel::test
