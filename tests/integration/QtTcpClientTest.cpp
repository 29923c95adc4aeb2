#include "platform/QtTcpClient.h"

#include "platform/SocketErrors.h"
#include "support/ScriptedPop3Server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace vindel::test {
namespace {
using platform::QtTcpClient;

constexpr int waitMs = 5000;

// Records what a client delivers.
struct Recorder {
    QList<QByteArray> chunks;
    QList<diag::Failure> failures;

    explicit Recorder(QtTcpClient& client)
    {
        client.setDataHandler([this](const QByteArray& bytes) { chunks.append(bytes); });
        client.setErrorHandler([this](const diag::Failure& failure) { failures.append(failure); });
    }
    QByteArray joined() const { return chunks.join(); }
    bool waitForBytes(const QByteArray& bytes) const
    {
        return QTest::qWaitFor([&] { return joined().contains(bytes); }, waitMs);
    }
    bool waitForFailure(int ms = waitMs) const
    {
        return QTest::qWaitFor([&] { return !failures.isEmpty(); }, ms);
    }
};

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

QtTcpClient::Options offLine()
{
    QtTcpClient::Options options;
    options.networkAvailable = [] { return false; };
    return options;
}

TEST(QtTcpClientTest, SendsExactBytesAndDeliversEachChunkInOrder)
{
    ScriptedPop3Server server(ServerScript()
                                  .sendPieces({"+OK rea", "dy\r\n"}, 150) // arrive as they were sent
                                  .expect("USER alice\r\n")
                                  .send("+OK\r\n")
                                  .expect("QUIT\r\n")
                                  .send("+OK bye\r\n")
                                  .stayOpen());
    ASSERT_TRUE(server.isListening());
    QtTcpClient client;
    Recorder recorder(client);

    EXPECT_FALSE(client.send("too early\r\n")); // nothing is connected yet
    ASSERT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    EXPECT_TRUE(client.isOpen());
    ASSERT_TRUE(recorder.waitForBytes("+OK ready\r\n"));
    EXPECT_TRUE(client.send("USER alice\r\n"));
    ASSERT_TRUE(recorder.waitForBytes("+OK\r\n"));
    EXPECT_TRUE(client.send("QUIT\r\n"));
    ASSERT_TRUE(recorder.waitForBytes("+OK bye\r\n"));

    EXPECT_EQ(server.received(0), QByteArray("USER alice\r\nQUIT\r\n"));
    EXPECT_EQ(recorder.chunks, (QList<QByteArray>{"+OK rea", "dy\r\n", "+OK\r\n", "+OK bye\r\n"}));
    EXPECT_TRUE(server.mismatches().isEmpty()) << server.mismatches().join(u'\n').toStdString();

    client.close();
    EXPECT_FALSE(client.isOpen());
    EXPECT_FALSE(client.send("QUIT\r\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.isClosedByClient(0); }, waitMs));
    client.close(); // harmless when already closed
    EXPECT_TRUE(recorder.failures.isEmpty());
}

TEST(QtTcpClientTest, ConnectsOverIpv6Loopback)
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHostIPv6, 0))
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    QObject::connect(&server, &QTcpServer::newConnection,
                     [&] { server.nextPendingConnection()->write("+OK v6\r\n"); });
    QtTcpClient client;
    Recorder recorder(client);
    ASSERT_EQ(client.connectTo("::1", server.serverPort()), std::nullopt);
    EXPECT_TRUE(recorder.waitForBytes("+OK v6\r\n"));
    EXPECT_TRUE(recorder.failures.isEmpty());
}

// Some cases need the machine changed: no network at all, or a resolver that
// answers without asking the network. The test then runs again in a child
// process inside fresh namespaces made by unshare(1), prepared by a shell
// prelude; the child sees VINDEL_CHILD_TEST set to the test's name.
bool isChildRun(const char* test)
{
    return qEnvironmentVariable("VINDEL_CHILD_TEST") == QLatin1String(test);
}

void runAsChild(const char* test, const QStringList& namespaces, const QString& prelude)
{
    // Whether this machine lets us make the namespaces at all: not without
    // the privilege, nor as root in a chroot, where unshare cannot change the
    // mount propagation of a root that is not a mount point.
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start("unshare", namespaces + QStringList{"true"});
    if (!probe.waitForStarted())
        GTEST_SKIP() << "unshare is not available";
    ASSERT_TRUE(probe.waitForFinished(10000));
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "cannot make namespaces here: " << probe.readAll().trimmed().toStdString();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VINDEL_CHILD_TEST", QLatin1String(test));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare",
                namespaces +
                    QStringList{"sh", "-c",
                                prelude + QStringLiteral(" && exec \"$0\" --gtest_filter=QtTcpClientTest.") +
                                    QLatin1String(test),
                                QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (child.exitCode() == 77 || output.contains(u"Operation not permitted"))
        GTEST_SKIP() << "cannot prepare the namespaces here: " << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(u"[  PASSED  ] 1 test")) << output.toStdString();
}

// A name that does not exist: the resolver answers "no such name"
// (EAI_NONAME), which QHostInfo reports as HostNotFound, here as on any
// machine with DNS. The child resolves from /etc/hosts only, so no query
// leaves the machine.
TEST(QtTcpClientTest, NameThatDoesNotExistIs11001)
{
    if (!isChildRun("NameThatDoesNotExistIs11001")) {
        QTemporaryDir folder;
        const QString nsswitch = folder.filePath("nsswitch.conf");
        runAsChild("NameThatDoesNotExistIs11001", {"-m"},
                   QStringLiteral("printf 'hosts: files\\n' >'%1' && mount --bind '%1' /etc/nsswitch.conf")
                       .arg(nsswitch));
        return;
    }
    QtTcpClient::Options online;
    online.networkAvailable = [] { return true; };
    QtTcpClient client(online);
    Recorder recorder(client);
    ASSERT_EQ(client.connectTo("no-such-host.invalid", 110), std::nullopt);
    ASSERT_TRUE(recorder.waitForFailure());
    EXPECT_EQ(recorder.failures.first(), (diag::Failure{11001, "Host not found"}));
}

// A machine with no network at all: a network namespace with nothing but
// loopback, where nothing can leave the machine. Its resolver cannot be
// reached (EAI_AGAIN) and no interface is up.
TEST(QtTcpClientTest, WithoutAnyNetworkFailuresAreOffLine)
{
    if (!isChildRun("WithoutAnyNetworkFailuresAreOffLine")) {
        runAsChild("WithoutAnyNetworkFailuresAreOffLine", {"-n"},
                   "{ command -v ip >/dev/null || exit 77; } && ip link set lo up");
        return;
    }
    EXPECT_FALSE(QtTcpClient::hasUsableNetwork());
    for (const QString host : {"no-such-host.invalid", "192.0.2.1"}) {
        QtTcpClient client;
        Recorder recorder(client);
        ASSERT_EQ(client.connectTo(host, 110), std::nullopt);
        ASSERT_TRUE(recorder.waitForFailure());
        EXPECT_EQ(recorder.failures.first().number, 11004) << host.toStdString();
    }
    QtTcpClient client;
    Recorder recorder(client);
    ASSERT_EQ(client.connectTo("127.0.0.1", closedPort()), std::nullopt);
    ASSERT_TRUE(recorder.waitForFailure());
    EXPECT_EQ(recorder.failures.first().number, 10061); // loopback is never off line
}

TEST(QtTcpClientTest, ConnectWhileOpenFailsAtOnce)
{
    ScriptedPop3Server server(ServerScript().send("+OK ready\r\n").stayOpen());
    QtTcpClient client;
    Recorder recorder(client);
    ASSERT_EQ(client.connectTo("localhost", server.port()), std::nullopt);
    // Still looking up the name: already refused.
    const auto whileResolving = client.connectTo("localhost", server.port());
    ASSERT_TRUE(whileResolving.has_value());
    EXPECT_EQ(whileResolving->number, 40020);
    EXPECT_EQ(whileResolving->description, "Invalid operation at current state");

    ASSERT_TRUE(recorder.waitForBytes("+OK ready\r\n"));
    const auto whileConnected = client.connectTo("127.0.0.1", server.port());
    ASSERT_TRUE(whileConnected.has_value());
    EXPECT_EQ(whileConnected->number, 40020);
    // The refused request did not disturb the open connection.
    EXPECT_TRUE(client.isOpen());
    EXPECT_TRUE(client.send("STAT\r\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.received(0) == "STAT\r\n"; }, waitMs));
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_TRUE(recorder.failures.isEmpty());
}

TEST(QtTcpClientTest, ReconnectsAfterCloseAndAfterServerClose)
{
    ScriptedPop3Server server(ServerScript().send("+OK one\r\n").close());
    QtTcpClient client;
    Recorder recorder(client);
    ASSERT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    // An orderly close by the server delivers the last bytes and raises nothing.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.isOpen(); }, waitMs));
    EXPECT_EQ(recorder.joined(), QByteArray("+OK one\r\n"));
    EXPECT_TRUE(recorder.failures.isEmpty());

    server.setScript(ServerScript().send("+OK two\r\n").stayOpen());
    ASSERT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    ASSERT_TRUE(recorder.waitForBytes("+OK two\r\n"));
    client.close();

    // Closing while the connect is under way abandons it without a report.
    ASSERT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    client.close();
    EXPECT_FALSE(client.isOpen());
    ASSERT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    EXPECT_TRUE(recorder.waitForBytes("+OK two\r\n+OK two\r\n"));
    EXPECT_EQ(recorder.joined(), QByteArray("+OK one\r\n+OK two\r\n+OK two\r\n"));
    EXPECT_TRUE(recorder.failures.isEmpty());
}

TEST(QtTcpClientTest, HandlerMayStartTheNextConnection)
{
    // The core reconnects from inside its handlers (a retry after a failure).
    const quint16 refused = closedPort();
    ScriptedPop3Server server(ServerScript().send("+OK ready\r\n").stayOpen());
    QtTcpClient client;
    QList<diag::Failure> failures;
    QByteArray received;
    client.setDataHandler([&](const QByteArray& bytes) { received += bytes; });
    client.setErrorHandler([&](const diag::Failure& failure) {
        failures.append(failure);
        EXPECT_FALSE(client.isOpen());
        EXPECT_EQ(client.connectTo("127.0.0.1", server.port()), std::nullopt);
    });
    ASSERT_EQ(client.connectTo("127.0.0.1", refused), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "+OK ready\r\n"; }, waitMs));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.first().number, 10061);
}

// A listening socket on a loopback address whose accept queue is full: it
// drops further SYNs, so a connect to it hangs, all inside 127.0.0.0/8.
class Blackhole {
public:
    explicit Blackhole(const char* address, quint16 port = 0)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(port);
        socklen_t length = sizeof where;
        if (m_listener < 0 || ::inet_pton(AF_INET, address, &where.sin_addr) != 1 ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&where), length) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&where), &length) != 0)
            return;
        m_port = ntohs(where.sin_port);
        for (int i = 0; i < 3; ++i) { // fills the queue (its length is the backlog plus one)
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&where), sizeof where);
            m_fillers.append(filler);
        }
    }
    ~Blackhole()
    {
        for (const int filler : std::as_const(m_fillers))
            ::close(filler);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    Blackhole(const Blackhole&) = delete;
    Blackhole& operator=(const Blackhole&) = delete;

    quint16 port() const { return m_port; } // 0 when it could not be made

private:
    int m_listener = -1;
    quint16 m_port = 0;
    QList<int> m_fillers;
};

int openDescriptors()
{
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

// How each kind of failure arrives: after connectTo() has returned, with its
// number (and text), the bytes before it delivered, the connection closed.
// Off line, only names fail as such: loopback keeps working.
TEST(QtTcpClientTest, EachFailureArrivesWithItsNumber)
{
    const quint16 refused = closedPort();
    ASSERT_NE(refused, 0);
    const Blackhole blackhole("127.0.0.1");
    ASSERT_NE(blackhole.port(), 0);
    ScriptedPop3Server resetting(ServerScript().send("+OK ready\r\n").silence(100).reset());
    ScriptedPop3Server answering(ServerScript().send("+OK ready\r\n").stayOpen());
    const diag::Failure rejected{10061, "Connection is forcefully rejected"};
    const diag::Failure reset{10054, "Connection is reset by remote side"};
    struct Case {
        const char* name;
        bool offLine;
        QString host;
        quint16 port;
        diag::Failure failure; // number 0: connects
        QByteArray received;
    };
    const Case cases[] = {
        {"reset by the server", false, "127.0.0.1", resetting.port(), reset, "+OK ready\r\n"},
        {"refused by address", false, "127.0.0.1", refused, rejected, {}},
        {"refused by name", false, "localhost", refused, rejected, {}},
        {"no host name", false, "not a host name", 110, {11001, {}}, {}},
        {"a connect that hangs", false, "127.0.0.1", blackhole.port(), {10060, "Connection timed out"}, {}},
        {"no host name off line", true, "not a host name", 110, {11004, "No network connection"}, {}},
        {"refused off line", true, "127.0.0.1", refused, {10061, {}}, {}},
        {"loopback by name off line", true, "localhost", answering.port(), {0, {}}, "+OK ready\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtTcpClient::Options options = c.offLine ? offLine() : QtTcpClient::Options{};
        options.connectTimeout = std::chrono::milliseconds(500);
        QtTcpClient client(options);
        Recorder recorder(client);
        ASSERT_EQ(client.connectTo(c.host, c.port), std::nullopt);
        EXPECT_TRUE(recorder.failures.isEmpty()); // nothing while connectTo runs
        if (c.failure.number == 0) {
            EXPECT_TRUE(recorder.waitForBytes(c.received));
            EXPECT_TRUE(recorder.failures.isEmpty());
            continue;
        }
        ASSERT_TRUE(recorder.waitForFailure());
        EXPECT_EQ(recorder.failures.first().number, c.failure.number);
        if (!c.failure.description.isEmpty()) {
            EXPECT_EQ(recorder.failures.first().description, c.failure.description);
        }
        EXPECT_EQ(recorder.joined(), c.received);
        EXPECT_FALSE(client.isOpen());
    }
}

// A name with several addresses: one that swallows the connect does not keep
// the client from the next, the first to connect wins and the others are
// dropped; when none connects, the failure is the one of the last address
// (or the limit's 10060 while one still hangs).
TEST(QtTcpClientTest, AddressesOfANameAreTriedSideBySide)
{
    ScriptedPop3Server server(ServerScript().send("+OK ready\r\n").stayOpen()); // on 127.0.0.1
    ASSERT_TRUE(server.isListening());
    const Blackhole blackhole("127.0.0.2", server.port());
    ASSERT_EQ(blackhole.port(), server.port());
    const QHostAddress answers("127.0.0.1");
    const QHostAddress swallows("127.0.0.2");
    const QHostAddress refuses("127.0.0.3");
    constexpr int limitMs = 800;
    struct Case {
        const char* name;
        QList<QHostAddress> addresses;
        int failure; // 0: connects
    };
    const Case cases[] = {
        {"hanging address first", {swallows, answers}, 0},
        {"refusing address first", {refuses, answers}, 0},
        {"answering address first", {answers, swallows}, 0},
        {"behind two hanging addresses", {swallows, swallows, answers}, 0},
        {"hanging, then refusing", {swallows, refuses}, 10060},
        {"refusing, then hanging", {refuses, swallows}, 10060},
        {"all refusing", {refuses, refuses}, 10061},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtTcpClient::Options options;
        options.connectTimeout = std::chrono::milliseconds(limitMs);
        options.lookup = [&c](const QString& host) {
            EXPECT_EQ(host, "pop.vindel.test");
            QHostInfo info;
            info.setAddresses(c.addresses);
            return info;
        };
        const int descriptorsBefore = openDescriptors();
        const int connectionsBefore = server.connectionCount();
        QtTcpClient client(options);
        Recorder recorder(client);
        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(client.connectTo("pop.vindel.test", server.port()), std::nullopt);
        if (c.failure == 0) {
            ASSERT_TRUE(recorder.waitForBytes("+OK ready\r\n"));
            EXPECT_LT(clock.elapsed(), limitMs);
            EXPECT_EQ(server.connectionCount(), connectionsBefore + 1);
            // The socket's two descriptors and the server's end of it; a
            // losing connect still open would add one.
            EXPECT_EQ(openDescriptors(), descriptorsBefore + 3);
            // Nothing of the race is left to go off later, up to the limit.
            EXPECT_FALSE(recorder.waitForFailure(std::max(0, limitMs + 100 - int(clock.elapsed()))));
            EXPECT_TRUE(client.send("QUIT\r\n"));
            const int connection = server.connectionCount() - 1;
            EXPECT_TRUE(QTest::qWaitFor([&] { return server.received(connection) == "QUIT\r\n"; }, waitMs));
            client.close();
            // The server lets go of its end too before the next count.
            EXPECT_TRUE(QTest::qWaitFor([&] { return server.isClosedByClient(connection); }, waitMs));
        } else {
            ASSERT_TRUE(recorder.waitForFailure());
            EXPECT_EQ(recorder.failures.first().number, c.failure);
            EXPECT_EQ(recorder.failures.size(), 1);
            if (c.failure == 10060) {
                EXPECT_GE(clock.elapsed(), limitMs * 9 / 10); // a coarse timer may end 5 % early
            }
            EXPECT_FALSE(client.isOpen());
            EXPECT_EQ(openDescriptors(), descriptorsBefore);
        }
    }
}

TEST(SocketErrorsTest, PlatformFailuresMapOntoTheWindowsSocketsNumbers)
{
    using platform::failureFromErrno;
    // No route to any network is being off line, except towards loopback.
    const std::tuple<int, bool, int> cases[] = {
        {ECONNREFUSED, false, 10061}, {ECONNRESET, false, 10054}, {ETIMEDOUT, false, 10060},
        {EHOSTUNREACH, false, 10065}, {EINVAL, false, 10014},     {ENETUNREACH, false, 11004},
        {ENETDOWN, false, 11004},     {ENETUNREACH, true, 10051},
    };
    for (const auto& [error, towardsLoopback, number] : cases)
        EXPECT_EQ(failureFromErrno(error, towardsLoopback).number, number) << error << " " << towardsLoopback;
    // Anything unlisted stays a retried failure with the platform's text.
    const diag::Failure other = failureFromErrno(EOPNOTSUPP, false);
    EXPECT_EQ(other.number, 10014);
    EXPECT_FALSE(other.description.isEmpty());

    EXPECT_EQ(platform::failureFromLookup(QHostInfo::HostNotFound).number, 11001);
    EXPECT_EQ(platform::failureFromLookup(QHostInfo::UnknownError).number, 11002);
}

} // namespace
} // namespace vindel::test
