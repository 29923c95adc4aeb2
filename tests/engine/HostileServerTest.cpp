// A catalogue of hostile and broken POP3 and IMAP servers, each run against
// the real socket and timers on 127.0.0.1 (IMAP inside TLS, with a pinned
// self-signed certificate). Every case asserts the program's reaction
// (a normal count, a rejected reply as error 99999, or a connection error
// with its number through the error report) and that the check ends within
// the reply limit, memory stays small, no descriptor is left open and the
// settings are not written.
#include "Certificates.h"
#include "DemoPop3Server.h"
#include "ProcessFigures.h"
#include "RealHarness.h"
#include "check/IdleListener.h"
#include "support/ScriptedPop3Server.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

namespace vindel::test {
namespace {

constexpr int defaultLimitMs = 400;
constexpr qint64 mebibyte = 1024 * 1024;
// Memory a case may add to the process at its peak. The floods below send
// several times this much.
constexpr qint64 peakGrowthBoundKiB = 16 * 1024;

// How a check against the server must end.
struct Outcome {
    enum class Kind { Count, Rejected, ConnectionError };
    Kind kind;
    QString text; // the count, or the rejected reply's description
    int number = 0;
};

Outcome counted(const QString& count)
{
    return {Outcome::Kind::Count, count};
}

Outcome rejected(const QString& description)
{
    return {Outcome::Kind::Rejected, description};
}

Outcome failedWith(int number)
{
    return {Outcome::Kind::ConnectionError, {}, number};
}

const QString overlongDescription = "Reply longer than 65536 bytes";

struct HostileCase {
    using Check = std::function<void(const RealHarness&, const ScriptedPop3Server&)>;

    const char* name;
    ServerScript script;
    Outcome expected;
    int replyLimitMs = defaultLimitMs;
    int withinMs = defaultLimitMs + 1000; // from the start of the check to its end
    bool drainServer = false;             // wait until the server has sent everything
    Check alsoCheck = {};                 // what else the case must show
    int boxOpenMs = 0;   // how long a message box stays open, running its own event loop as a real one does
    QString scheme = {}; // "imaps://" or "imap+starttls://" (the script starts at STARTTLS); none: POP3
};

// The setting for a check against the server, which gets the identity the
// case's scheme needs.
QString serverSetting(const QString& scheme, ScriptedPop3Server& server)
{
    if (scheme.isEmpty())
        return local(server.port());
    const Certificates& certificates = Certificates::get();
    server.setTlsIdentity({certificates.certificate("self")}, certificates.key("self"), scheme == "imaps://");
    return scheme + local(server.port()) + certificates.pin("self");
}

// The rest of a well-behaved conversation after the greeting.
ServerScript loginAndStat(ServerScript script, const QByteArray& statReply = "+OK 2 320\r\n")
{
    script.expect("USER vindel\r\n")
        .send("+OK\r\n")
        .expect("PASS secret\r\n")
        .send("+OK logged in\r\n")
        .expect("STAT\r\n")
        .send(statReply);
    return script;
}

// A whole well-behaved conversation after the given greeting steps.
ServerScript conversation(const ServerScript& greetingSteps, const QByteArray& statReply = "+OK 2 320\r\n")
{
    ServerScript script = loginAndStat(greetingSteps, statReply);
    script.expect("QUIT\r\n").send("+OK bye\r\n").stayOpen();
    return script;
}

ServerScript greeting()
{
    return ServerScript().send("+OK ready\r\n");
}

QByteArray bytes(const char* text, int size)
{
    return QByteArray(text, size);
}

// Every byte of a reply, one at a time with a pause: no line end for a while.
ServerScript dripped(const QList<QByteArray>& replies, int pauseMs)
{
    ServerScript script;
    const QList<QByteArray> commands = {"USER vindel\r\n", "PASS secret\r\n", "STAT\r\n", "QUIT\r\n"};
    for (qsizetype i = 0; i < replies.size(); ++i) {
        script.drip(replies[i], pauseMs);
        if (i < commands.size())
            script.expect(commands[i]);
    }
    return script.stayOpen();
}

// An IMAP server up to the STATUS command: the greeting, with imap+starttls
// STARTTLS and the handshake, and LOGIN.
ServerScript imapUpToStatus(bool startTls)
{
    ServerScript script = ServerScript().send("* OK ready\r\n");
    if (startTls)
        script.expect("v1 STARTTLS\r\n").send("v1 OK begin\r\n").startTls();
    return script.expect("v2 LOGIN \"vindel\" \"secret\"\r\n")
        .send("v2 OK logged in\r\n")
        .expect("v3 STATUS INBOX (UNSEEN)\r\n");
}

std::vector<HostileCase> catalogue()
{
    const QByteArray longError = "-ERR " + QByteArray(505, 'e') + "\r\n"; // 512 octets with CR LF
    ServerScript resetInStat = loginAndStat(greeting(), "+OK 3 1");
    resetInStat.silence(100).reset();
    ServerScript closeAfterPass = greeting();
    closeAfterPass.expect("USER vindel\r\n").send("+OK\r\n").expect("PASS secret\r\n").close();
    ServerScript silentAfterQuit = loginAndStat(greeting());
    silentAfterQuit.expect("QUIT\r\n").stayOpen();
    ServerScript junkAfterBye = loginAndStat(greeting());
    junkAfterBye.expect("QUIT\r\n").send("+OK bye\r\n-ERR junk after the end\r\n+OK\r\n").stayOpen();
    ServerScript repliesInOneSegment = loginAndStat(greeting(), "+OK 2 320\r\n+OK bye\r\n");
    repliesInOneSegment.stayOpen();
    // A second of the event loop flat out (qWaitFor naps) would carry the
    // flood to its end if the program still read.
    const HostileCase::Check floodStalls = [](const RealHarness&, const ScriptedPop3Server& server) {
        QSignalSpy finished(&server, &ScriptedPop3Server::scriptFinished);
        EXPECT_FALSE(server.isFinished(0) || finished.wait(1000))
            << "the program read on from a connection it had given up";
    };
    ServerScript imapLongLines = imapUpToStatus(false);
    imapLongLines.flood(QByteArray("* OK still there\r\n"), 1000000)
        .send("* STATUS INBOX (UNSEEN 3)\r\nv3 OK\r\n")
        .expect("v4 LOGOUT\r\n")
        .send("* BYE\r\nv4 OK\r\n")
        .stayOpen();
    const HostileCase::Check noImapCount = [](const RealHarness& h, const ScriptedPop3Server&) {
        EXPECT_TRUE(h.journal.filter("label You have").isEmpty()) << h.journal.join('\n').toStdString();
    };
    ServerScript longErrAfterPass = greeting();
    longErrAfterPass.expect("USER vindel\r\n")
        .send("+OK\r\n")
        .expect("PASS secret\r\n")
        .send(longError)
        .stayOpen();

    return {
        // Replies in pieces and in heaps.
        {"GreetingSplitByteByByte", conversation(ServerScript().drip("+OK ready\r\n", 20)), counted("2")},
        {"SeveralRepliesInOneSegment", repliesInOneSegment, counted("2")},
        {"AnswersBeforeBeingAsked",
         ServerScript().send("+OK ready\r\n+OK\r\n+OK\r\n+OK 3 100\r\n+OK bye\r\n").stayOpen(), counted("3")},
        // The reply limit is counted per complete reply, not per byte: a
        // drip of one byte every 50 ms that completes each reply within the
        // limit is served to the end ...
        {"SlowDripOfEveryReplyWithinTheLimit",
         dripped({"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 320\r\n", "+OK bye\r\n"}, 50), counted("2"),
         800, 5000},

        // Lines that never end, or end too late.
        // Once the line is overlong the check gives the connection up and
        // reads no more of it: the flood stalls with the server.
        {"FloodOfMegabytesWithoutALineEnd", ServerScript().flood('A', 64 * mebibyte).stayOpen(),
         rejected(overlongDescription), defaultLimitMs, 5000, false, floodStalls},
        {"OneLineOfOneMebibyte", ServerScript().send("+OK ").flood('x', mebibyte).send("\r\n").stayOpen(),
         rejected(overlongDescription), defaultLimitMs, 3000, true},
        // ... while a drip that never ends its line cannot keep the check
        // alive: it ends at the limit although bytes keep coming.
        {"DripThatNeverEndsItsLine", ServerScript().send("+OK ").drip(QByteArray(200, 'x'), 50),
         failedWith(10060)},
        {"BareCarriageReturnIsNoLineEnd", ServerScript().send("+OK ready\r").stayOpen(), failedWith(10060)},

        // Bytes that are not text.
        {"BinaryGarbageAndNulBytes",
         ServerScript().send(bytes("\x00\xff\xfe\x01garbage\x00\r\n", 14)).stayOpen(),
         rejected(QStringLiteral("garbage\\x00\r\n"))}, // the NUL shown escaped
        {"NulBytesInsideAcceptedReplies",
         conversation(ServerScript().send(bytes("+OK \x00\xff ready\r\n", 14)), bytes("+OK 5 \x00\r\n", 9)),
         counted("5")},

        // The report's box opens inside the socket's read handler and the
        // server floods on while it is open: the program holds no more than
        // a bounded buffer of it, and once the check has given the
        // connection up it takes nothing more, so the flood stalls.
        {"FloodWhileTheMessageBoxIsOpen", ServerScript().send("-ERR go away\r\n").flood('A', 200 * mebibyte),
         rejected(" go away\r\n"), defaultLimitMs, 2000 + 1000, false, floodStalls, 2000},
        {"ErrTextOf512Octets", longErrAfterPass, rejected(QString::fromLatin1(longError.mid(4))),
         defaultLimitMs, defaultLimitMs + 1000, false,
         [](const RealHarness&, const ScriptedPop3Server& server) {
             EXPECT_EQ(server.received(0), "USER vindel\r\nPASS secret\r\n");
         }},

        // Connections that break or go quiet.
        {"ResetInTheMiddleOfAReply", resetInStat, failedWith(10054), defaultLimitMs, defaultLimitMs + 1000,
         false,
         [](const RealHarness& h, const ScriptedPop3Server&) {
             EXPECT_FALSE(h.journal.contains("label You have 3 Mail(s)")); // half a reply counts nothing
         }},
        {"ResetRightAfterAccepting", ServerScript().reset(), failedWith(10054)},
        {"CloseRightAfterAccepting", ServerScript().close(), failedWith(10060)},
        {"CloseAfterTheGreeting", greeting().expect("USER vindel\r\n").close(), failedWith(10060)},
        {"CloseAfterPass", closeAfterPass, failedWith(10060)},
        {"SilenceAfterConnecting", ServerScript().stayOpen(), failedWith(10060)},
        {"SilenceAfterUser", greeting().expect("USER vindel\r\n").stayOpen(), failedWith(10060)},
        {"AnswersQuitButNeverCloses", conversation(greeting()), counted("2"), defaultLimitMs,
         defaultLimitMs + 1000, false,
         [](const RealHarness&, const ScriptedPop3Server& server) {
             EXPECT_TRUE(QTest::qWaitFor([&] { return server.isClosedByClient(0); }, 2000));
         }},
        // Bytes behind the answer to QUIT belong to a connection that is
        // closed: they are not replies of this check, nor of the next.
        {"JunkBehindTheAnswerToQuit", junkAfterBye, counted("2")},
        {"NeverAnswersQuit", silentAfterQuit, failedWith(10060), defaultLimitMs, defaultLimitMs + 1000, false,
         [](const RealHarness& h, const ScriptedPop3Server&) {
             // The count was shown before QUIT; the silence then ends the check.
             EXPECT_TRUE(h.journal.contains("label You have 2 Mail(s)"));
         }},

        // IMAP. A literal that cannot fit under the cap is refused when it is
        // announced: neither waited for nor kept, and a flood of it stalls.
        {.name = "ImapLiteralOfGigabytesThenSilence",
         .script = imapUpToStatus(false).send("* STATUS INBOX {4000000000}\r\n").send("x").stayOpen(),
         .expected = rejected(overlongDescription),
         .scheme = "imaps://"},
        {.name = "ImapLiteralOfGigabytesThenAFlood",
         .script = imapUpToStatus(true).send("* STATUS INBOX {4000000000}\r\n").flood('x', 64 * mebibyte),
         .expected = rejected(overlongDescription),
         .withinMs = 5000,
         .alsoCheck = floodStalls,
         .scheme = "imap+starttls://"},
        // Untagged lines are read and passed over, a million of them in
        // bounded memory; they are no answer, so they cannot hold a check
        // past the reply limit.
        {.name = "ImapMillionUntaggedLinesBeforeTheAnswer",
         .script = imapLongLines,
         .expected = counted("3"),
         .replyLimitMs = 60000,
         .withinMs = 60000,
         .scheme = "imaps://"},
        {.name = "ImapUntaggedLinesThatNeverEnd",
         .script = imapUpToStatus(false).flood(QByteArray("* OK\r\n"), 1000000000),
         .expected = failedWith(10060),
         .scheme = "imaps://"},
        // BYE ends the check at every step but the last.
        {.name = "ImapByeAsTheGreeting",
         .script = ServerScript().send("* BYE too busy\r\n").close(),
         .expected = rejected("BYE too busy\r\n"),
         .scheme = "imaps://"},
        {.name = "ImapByeAfterLogin",
         .script = imapUpToStatus(true).send("* BYE going down\r\n").close(),
         .expected = rejected("BYE going down\r\n"),
         .scheme = "imap+starttls://"},
        {.name = "ImapByeAfterStatus",
         .script = imapUpToStatus(false).send("* STATUS INBOX (UNSEEN 4)\r\n* BYE\r\n").stayOpen(),
         .expected = rejected("BYE\r\n"),
         .alsoCheck = noImapCount,
         .scheme = "imaps://"},
        // A tagged answer counts only for the command it names.
        {.name = "ImapNoTaggedAnswer",
         .script = imapUpToStatus(true).send("* STATUS INBOX (UNSEEN 4)\r\n").stayOpen(),
         .expected = failedWith(10060),
         .alsoCheck = noImapCount,
         .scheme = "imap+starttls://"},
        {.name = "ImapStatusAnsweredWithTheTagOfLogin",
         .script = imapUpToStatus(false).send("* STATUS INBOX (UNSEEN 4)\r\nv2 OK\r\n").stayOpen(),
         .expected = rejected("v2 OK\r\n"),
         .alsoCheck = noImapCount,
         .scheme = "imaps://"},
        {.name = "ImapLoginAnsweredWithTheTagOfStatus",
         .script = ServerScript()
                       .send("* OK\r\n")
                       .expect("v2 LOGIN \"vindel\" \"secret\"\r\n")
                       .send("v3 OK\r\n")
                       .stayOpen(),
         .expected = rejected("v3 OK\r\n"),
         .alsoCheck =
             [](const RealHarness& h, const ScriptedPop3Server&) {
                 EXPECT_EQ(h.wire.sent, "v2 LOGIN \"vindel\" \"secret\"\r\n"); // and no STATUS
             },
         .scheme = "imaps://"},
    };
}

// Test names print the case's name, not its bytes.
void PrintTo(const HostileCase& c, std::ostream* out)
{
    *out << c.name;
}

class HostileServer : public ::testing::TestWithParam<HostileCase> {
protected:
    static void SetUpTestSuite() { warmUp(); }

    // One secured check, before the first IMAP case counts descriptors, for
    // what the TLS library opens once per process.
    static void warmUpTls()
    {
        static bool done = false;
        if (std::exchange(done, true))
            return;
        ScriptedPop3Server server(imapUpToStatus(false)
                                      .send("* STATUS INBOX (UNSEEN 1)\r\nv3 OK\r\n")
                                      .expect("v4 LOGOUT\r\n")
                                      .send("v4 OK\r\n")
                                      .stayOpen());
        RealHarness h(serverSetting("imaps://", server));
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        h.popChk.checkNow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.checkSucceeded(); }, 5000));
    }

    // One ordinary check first, so that whatever Qt opens once per process
    // is open before the descriptors are counted.
    static void warmUp()
    {
        demo::DemoPop3Server server;
        ASSERT_TRUE(server.listen());
        RealHarness h(local(server.port()));
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        h.popChk.checkNow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.checkSucceeded(); }, 5000));
    }
};

void expectOutcome(const HostileCase& c, const RealHarness& h)
{
    switch (c.expected.kind) {
    case Outcome::Kind::Count:
        EXPECT_TRUE(h.checkSucceeded());
        EXPECT_EQ(h.window.status, QStringLiteral("You have %1 Mail(s)").arg(c.expected.text));
        EXPECT_EQ(h.firstMessage(), QString());
        EXPECT_FALSE(h.tcp.isOpen());
        break;
    case Outcome::Kind::Rejected:
        EXPECT_EQ(h.firstMessage(), "message 48 Error 99999\r\n\r\n" + c.expected.text);
        break;
    case Outcome::Kind::ConnectionError:
        EXPECT_TRUE(
            h.firstMessage().startsWith(QStringLiteral("message 48 Error %1\r\n\r\n").arg(c.expected.number)))
            << h.firstMessage().toStdString();
        EXPECT_FALSE(h.tcp.isOpen());
        // The connection-error event is written even without "/T".
        EXPECT_EQ(h.systemLog.lines.size(), 1);
        break;
    }
}

TEST_P(HostileServer, EndsAsItShouldWithinTheLimit)
{
    const HostileCase& c = GetParam();
    if (!c.scheme.isEmpty())
        warmUpTls();
    const int descriptorsBefore = ProcessFigures::openDescriptors();
    const bool peakResets = ProcessFigures::resetPeak();
    const qint64 residentBefore = ProcessFigures::residentKiB();
    {
        ScriptedPop3Server server(c.script);
        ASSERT_TRUE(server.isListening());
        RealHarness h(serverSetting(c.scheme, server));
        h.popChk.setReplyLimit(c.replyLimitMs);
        if (c.boxOpenMs > 0)
            h.onMessage = [&c] {
                QEventLoop box;
                QTimer::singleShot(c.boxOpenMs, &box, &QEventLoop::quit);
                box.exec();
            };
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);

        QElapsedTimer clock;
        clock.start();
        h.popChk.checkNow();
        const bool ended = QTest::qWaitFor([&] { return h.checkSucceeded() || !h.firstMessage().isEmpty(); },
                                           c.withinMs + 2000);
        const qint64 elapsed = clock.elapsed();
        // Keep the world still from here: no retry of a failed check.
        if (!h.checkSucceeded())
            h.checkTimer.setEnabled(false);
        ASSERT_TRUE(ended) << "the check did not end; journal:\n" << h.journal.join('\n').toStdString();
        EXPECT_LE(elapsed, c.withinMs);
        if (c.expected.kind == Outcome::Kind::ConnectionError && c.expected.number == 10060) {
            EXPECT_GE(elapsed, c.replyLimitMs - 20) << "ended before the reply limit";
        }

        if (c.drainServer && !server.isFinished(0)) {
            // A signal wait runs the event loop flat out (qWaitFor naps).
            QSignalSpy finished(&server, &ScriptedPop3Server::scriptFinished);
            EXPECT_TRUE(finished.wait(20000)) << "the server could not send";
        }
        expectOutcome(c, h);
        if (c.alsoCheck)
            c.alsoCheck(h, server);
        EXPECT_EQ(h.journal.filter("message").size(), 1 - int(c.expected.kind == Outcome::Kind::Count))
            << h.journal.join('\n').toStdString();
        EXPECT_TRUE(h.store.writes.isEmpty()) << "a check wrote the settings";
        EXPECT_TRUE(server.mismatches().isEmpty()) << server.mismatches().join('\n').toStdString();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ProcessFigures::openDescriptors(), descriptorsBefore) << "a descriptor was left open";
    if (peakResets) {
        const qint64 growth = ProcessFigures::peakResidentKiB() - residentBefore;
        EXPECT_LT(growth, peakGrowthBoundKiB);
        std::printf("[ figures  ] %s: peak resident memory %+lld KiB\n", c.name,
                    static_cast<long long>(growth));
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, HostileServer, ::testing::ValuesIn(catalogue()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

} // namespace
} // namespace vindel::test

namespace vindel::test {
namespace {

// The push listener against servers that break IDLE, over the real socket:
// its troubles are its own (nothing is reported, nothing tells of a change
// that was not told), and it comes back after a pause that doubles, so a
// server that keeps dropping it is not hammered.
TEST(HostileListener, ComesBackAfterAPauseThatDoubles)
{
    const ServerScript upToIdle = ServerScript()
                                      .send("* OK hi\r\n")
                                      .expect("i1 LOGIN \"u\" \"p\"\r\n")
                                      .send("i1 OK\r\n")
                                      .expect("i2 CAPABILITY\r\n")
                                      .send("* CAPABILITY IMAP4rev1 IDLE\r\ni2 OK\r\n")
                                      .expect("i3 EXAMINE INBOX\r\n")
                                      .send("i3 OK\r\n")
                                      .expect("i4 IDLE\r\n");
    const struct {
        const char* name;
        ServerScript script;
        bool idles;
    } rows[] = {
        {"IDLE without a continuation", ServerScript(upToIdle).stayOpen(), false},
        {"dropped as soon as it idles", ServerScript(upToIdle).send("+ idling\r\n").close(), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedPop3Server server(row.script);
        ASSERT_TRUE(server.isListening());
        platform::QtTcpClient tcp;
        platform::QtTimer timer;
        FakeClock clock;
        MemorySink systemLog;
        diag::EventLog log(clock, systemLog);
        int changes = 0;
        check::IdleListener listener(tcp, timer, log, [&] { ++changes; });
        listener.setReplyLimit(defaultLimitMs);
        listener.listen({"127.0.0.1", server.port(), check::Security::Plain, {}, {}, check::Protocol::Imap},
                        {"u", "p", "u"}, 60000);
        QElapsedTimer sinceAccept;
        QList<qint64> gaps;
        for (int connection = 1; connection < 3; ++connection) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() > connection; }, 20000));
            if (sinceAccept.isValid())
                gaps << sinceAccept.elapsed();
            sinceAccept.start();
        }
        EXPECT_GE(gaps.value(0), 3500); // the second pause is 4 s
        // Idling again after a lost connection asks for one check, as a
        // change may have gone unheard; the first idle asks for none.
        if (row.idles)
            EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 2; }, 5000)) << changes;
        else
            EXPECT_EQ(changes, 0);
        EXPECT_TRUE(systemLog.lines.isEmpty());
        EXPECT_TRUE(server.mismatches().isEmpty()) << server.mismatches().join('\n').toStdString();
        listener.stop();
    }
}

} // namespace
} // namespace vindel::test
