// The POP3 conversation, its framing and its reply limit, driven through the
// behaviour's real entry points with a fake connection.
#include "Fakes.h"
#include "check/ReplyFramer.h"
#include "check/ServerAddress.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using check::ReplyFramer;

QList<QByteArray> drain(ReplyFramer& framer)
{
    QList<QByteArray> lines;
    while (auto reply = framer.next())
        lines << (reply->overlong ? QByteArray("<overlong>") : reply->line);
    return lines;
}

TEST(ReplyFramer, HandsOutCompleteLinesOnlyAndKeepsTheirEnds)
{
    ReplyFramer framer;
    framer.feed("+OK rea");
    EXPECT_TRUE(drain(framer).isEmpty());
    framer.feed("dy\r\n+OK 3 1");
    EXPECT_EQ(drain(framer), QList<QByteArray>{"+OK ready\r\n"});
    framer.feed("20\r\n+OK bye\n");
    EXPECT_EQ(drain(framer), (QList<QByteArray>{"+OK 3 120\r\n", "+OK bye\n"}));
    EXPECT_EQ(framer.pendingSize(), 0);
}

TEST(ReplyFramer, CapsALineWithoutEndAndDropsItsRest)
{
    ReplyFramer framer;
    const QByteArray flood(ReplyFramer::maxLineLength + 100, 'x');
    framer.feed(flood);
    EXPECT_EQ(drain(framer), QList<QByteArray>{"<overlong>"});
    EXPECT_LT(framer.pendingSize(), 200);
    for (int i = 0; i < 50; ++i) // megabytes more of the same line stay out of memory
        framer.feed(QByteArray(64 * 1024, 'y'));
    EXPECT_TRUE(drain(framer).isEmpty());
    EXPECT_EQ(framer.pendingSize(), 0);
    framer.feed("tail\r\n+OK next\r\n");
    EXPECT_EQ(drain(framer), QList<QByteArray>{"+OK next\r\n"});
}

TEST(ReplyFramer, WithLiteralsAResponseAndItsLiteralsAreOneReplyUnderTheSameCap)
{
    ReplyFramer framer;
    framer.setLiterals(true);
    framer.feed("* STATUS {5}\r\nIN\nBO X {0}\r\n (UNSEEN 2)\r\nv3 OK");
    EXPECT_EQ(drain(framer), QList<QByteArray>{"* STATUS {5}\r\nIN\nBO X {0}\r\n (UNSEEN 2)\r\n"});
    framer.feed(" done\r\n* 1 FETCH {4294967296}\r\n");
    // Refused as soon as it is announced; its bytes are counted off, never kept.
    EXPECT_EQ(drain(framer), (QList<QByteArray>{"v3 OK done\r\n", "<overlong>"}));
    for (int i = 0; i < 50; ++i)
        framer.feed(QByteArray(64 * 1024, '\n'));
    EXPECT_TRUE(drain(framer).isEmpty());
    EXPECT_EQ(framer.pendingSize(), 0);
}

TEST(ServerAddress, EachFormTakesItsHostPortAndPinAndRefusesWhatCannotBeUsed)
{
    using A = check::ServerAddress;
    using S = check::Security;
    using P = check::Protocol;
    const QByteArray pin = QByteArray::fromHex(QByteArray(64, 'a'));
    const QString hex = QString(64, u'a');
    const QString colons = QString::fromLatin1(QByteArray(32, '\xAA').toHex(':').toUpper());
    const std::pair<QString, A> cases[] = {
        // Plain names use port 110; a port suffix is honoured, a bad one stays in the host.
        {"mail.example.test", {"mail.example.test", 110}},
        {"127.0.0.1:2110", {"127.0.0.1", 2110}},
        {"::1", {"::1", 110}},
        {"fe80::1:2", {"fe80::1:2", 110}},
        {"[::1]:8110", {"::1", 8110}},
        {"[::1]", {"::1", 110}},
        {"host:0", {"host:0", 110}},
        {"host:99999", {"host:99999", 110}},
        {"host:x1", {"host:x1", 110}},
        {"", {"", 110}},
        {"pop3s://mail.example.test", {"mail.example.test", 995, S::ImplicitTls}},
        {"POP3S://h:1995/", {"h", 1995, S::ImplicitTls}},
        {"pop3+stls://h", {"h", 110, S::StartTls}},
        {"pop3+stls://[::1]:2110", {"::1", 2110, S::StartTls}},
        // A bare IPv6 address is a host in every form; its port needs brackets.
        {"pop3s://::1", {"::1", 995, S::ImplicitTls}},
        {"pop3+stls://::1", {"::1", 110, S::StartTls}},
        {"pop3s://[::1]", {"::1", 995, S::ImplicitTls}},
        {"pop3s://fe80::1:995/", {"fe80::1:995", 995, S::ImplicitTls}},
        {"pop3s://::1#sha256=" + hex, {"::1", 995, S::ImplicitTls, pin}},
        {"pop3s://h#sha256=" + hex, {"h", 995, S::ImplicitTls, pin}},
        {"pop3s://h:9#SHA256=" + colons, {"h", 9, S::ImplicitTls, pin}},
        // A pin on a plain form is no pin: the whole text stays the host, as before.
        {"h#sha256=" + hex, {"h#sha256=" + hex, 110}},
        // IMAP: the two TLS forms only, read as the POP3 ones.
        {"imaps://h", {"h", 993, S::ImplicitTls, {}, {}, P::Imap}},
        {"IMAP+STARTTLS://[::1]:1143/", {"::1", 1143, S::StartTls, {}, {}, P::Imap}},
        {"imap+starttls://h#sha256=" + colons, {"h", 143, S::StartTls, pin, {}, P::Imap}},
        {"imap://h", {"imap://h", 110}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(check::parseServerAddress(text), expected) << text.toStdString();
    for (const QString& unusable :
         {"pop3s://h#sha256=" + hex.left(63), "pop3s://h#sha256=" + hex + "0", "pop3s://h#md5=" + hex,
          "pop3s://h#sha256=" + hex.left(63) + "g", QString("pop3s://h:99999"), QString("pop3+stls://"),
          QString("pop3s://:995"), QString("imaps://h#sha256=1"), QString("imap+starttls://:143")}) {
        const A address = check::parseServerAddress(unusable);
        EXPECT_FALSE(address.problem.isEmpty()) << unusable.toStdString();
        EXPECT_TRUE(address.pin.isEmpty()) << unusable.toStdString();
    }
}

class Session : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.startChecking()); }
    Harness h;
};

// A whole check in each form of the server setting, as a transcript: what
// the server does, then what the program does, act by act; then the event
// log ("/T") it leaves, which never holds the password.
TEST(SessionTranscript, AFullCheckIsTheExactConversation)
{
    const QByteArray secure = "<handshake done>";
    const QString login = R"(send v2 LOGIN "alice" "s\"3\\cret")"
                          "\r\n";
    struct Step {
        QByteArray server; // bytes the server sends, or the end of the handshake
        Journal acts;
    };
    const struct {
        const char* server;
        std::vector<Step> steps;
        QStringList log;
    } cases[] = {
        {"mail.example.test",
         {{"", {"label Connecting...", "connect mail.example.test:110"}},
          {"+OK POP3 ser", {}}, // a reply split across segments is one reply
          {"ver ready\r", {}},
          {"\n", {"label Send User Name...", "send USER alice\r\n"}}},
         {"+OK POP3 server ready\r\n", "USER alice\n"}},
        {"pop3+stls://mail.example.test",
         {{"", {"label Connecting...", "connect mail.example.test:110"}},
          {"+OK POP3 server ready\r\n", {"send STLS\r\n"}},
          {"+OK begin TLS\r\n", {"starttls"}},
          {secure, {"secured TLS 1.3", "label Send User Name...", "send USER alice\r\n"}}},
         {"+OK POP3 server ready\r\n", "STLS\n", "+OK begin TLS\r\n",
          "TLS 1.3 with mail.example.test, certificate CN=mail.example.test, SHA-256 AB:CD\n",
          "USER alice\n"}},
        {"pop3s://mail.example.test",
         {{"", {"label Connecting...", "connect tls mail.example.test:995"}},
          {secure, {"secured TLS 1.3"}},
          {"+OK POP3 server ready\r\n", {"label Send User Name...", "send USER alice\r\n"}}},
         {"TLS 1.3 with mail.example.test, certificate CN=mail.example.test, SHA-256 AB:CD\n",
          "+OK POP3 server ready\r\n", "USER alice\n"}},
        // IMAP: the password is sent quoted and logged masked.
        {"imaps://mail.example.test",
         {{"", {"label Connecting...", "connect tls mail.example.test:993"}},
          {secure, {"secured TLS 1.3"}},
          {"* OK [CAPABILITY IMAP4rev1] ready\r\n", {"label Send Password...", login}}},
         {"TLS 1.3 with mail.example.test, certificate CN=mail.example.test, SHA-256 AB:CD\n",
          "* OK [CAPABILITY IMAP4rev1] ready\r\n", "v2 LOGIN \"alice\" **********\n"}},
    };
    const Journal found{"label You have 3 Mail(s)", "tray 1 Vindel - You have 3 Mail(s)",
                        "notice You have 3 Mail(s)", "picture 1"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        Harness h;
        QTemporaryDir dir;
        const bool imap = QByteArray(c.server).startsWith("imap");
        h.store.put("Pop3Server", c.server);
        if (imap)
            h.store.put("PassWord", R"(s"3\cret)");
        ASSERT_TRUE(h.startChecking({"/t"}, dir.path()));
        EXPECT_EQ(h.window.colour, shell::TextColour::Blue);
        std::vector<Step> steps = c.steps;
        if (imap) {
            steps.push_back({"v2 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n",
                             {"label Now Checking...", "send v3 STATUS INBOX (UNSEEN)\r\n"}});
            // Untagged data, a literal split across segments: the count waits for the tagged OK.
            steps.push_back({"* 4 EXISTS\r\n* STATUS {5}\r\nIN", {}});
            steps.push_back({"BOX (MESSAGES 9 UNSEEN 3)\r\n", {}});
            steps.push_back({"v3 OK done\r\n", found + Journal{"send v4 LOGOUT\r\n"}});
            steps.push_back({"* BYE out\r\nv4 OK bye\r\nv9 NO junk\r\n", {"close"}});
        } else {
            steps.push_back({"+OK\r\n", {"label Send Password...", "send PASS s3cret\r\n"}});
            steps.push_back({"+OK logged in\r\n", {"label Now Checking...", "send STAT\r\n"}});
            steps.push_back({"+OK 3 4567\r\n", found + Journal{"send QUIT\r\n"}});
            // What comes behind the answer to QUIT is no reply: no error report.
            steps.push_back({"+OK bye\r\n-ERR junk\r\n+OK\r\n", {"close"}});
        }
        for (const Step& step : steps) {
            if (step.server == secure)
                h.tcp.secure();
            else if (!step.server.isEmpty())
                h.tcp.serverSends(step.server);
            EXPECT_EQ(h.journal, step.acts) << step.server.constData();
            EXPECT_EQ(h.checkTimer.isEnabled(), step.acts == Journal{"close"}); // stopped for the whole check
            h.journal.clear();
        }
        EXPECT_EQ(h.checkTimer.interval(), 60000);
        EXPECT_FALSE(h.replyTimer.isEnabled());

        QFile file(dir.filePath("Vindel.log"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QString log;
        const QStringList tail = imap ? QStringList{"v2 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n",
                                                    "v3 STATUS INBOX (UNSEEN)\n",
                                                    "* 4 EXISTS\r\n",
                                                    "* STATUS {5}\\x0D\\x0AINBOX (MESSAGES 9 UNSEEN 3)\r\n",
                                                    "v3 OK done\r\n",
                                                    "v4 LOGOUT\n",
                                                    "* BYE out\r\n",
                                                    "v4 OK bye\r\n"}
                                      : QStringList{"+OK\r\n",    "PASS **********\n", "+OK logged in\r\n",
                                                    "STAT\n",     "+OK 3 4567\r\n",    "QUIT\n",
                                                    "+OK bye\r\n"};
        for (const QString& line : QStringList{"Vindel Started\n"} + c.log + tail)
            log += "INFO  2026-12-07 09:30:05 " + line;
        EXPECT_EQ(QString::fromUtf8(file.readAll()), log);
    }
}

// A connection that cannot be secured as the setting asks never carries the
// login: the check fails through the error report and nothing more is sent.
TEST(SessionSecurity, NoFallbackToPlainWhenTlsCannotBeHad)
{
    const struct {
        const char* server;
        QByteArray serverSends;
        QByteArray sent;
        const char* message;
        std::optional<diag::Failure> tlsRefused = {};
    } cases[] = {
        {"pop3s://h#sha256=12", "", "", "message 48 Error 12182\r\n\r\nThe certificate pin"},
        {"pop3+stls://h", "+OK ready\r\n-ERR no\r\n", "STLS\r\n",
         "message 48 Error 12180\r\n\r\nThe server refused STLS, so the connection cannot be encrypted: -ERR "
         "no"},
        // The handshake cannot start.
        {"pop3+stls://h", "+OK ready\r\n+OK\r\n", "STLS\r\n", "message 48 Error 12157\r\n\r\nno TLS",
         diag::Failure{12157, "no TLS"}},
        {"pop3+stls://h", "+OK ready\r\n+OK\r\n+OK\r\n", "STLS\r\n",
         "message 48 Error 12157\r\n\r\nThe server sent more text after agreeing to STLS"},
        {"imap+starttls://h", "* OK ready\r\nv1 BAD what\r\n", "v1 STARTTLS\r\n",
         "message 48 Error 12180\r\n\r\nThe server refused STARTTLS, so the connection cannot be "
         "encrypted: v1 BAD what"},
        // Logged in before TLS could start: nothing is sent in the clear.
        {"imap+starttls://h", "* PREAUTH hi\r\n", "",
         "message 48 Error 12180\r\n\r\nThe server refused STARTTLS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        Harness h;
        h.store.put("Pop3Server", c.server);
        h.tcp.refuseTls = c.tlsRefused;
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        ASSERT_TRUE(h.checkTimer.fire());
        if (!c.serverSends.isEmpty())
            h.tcp.serverSends(c.serverSends);
        EXPECT_EQ(h.tcp.sent, c.sent);
        EXPECT_TRUE(h.journal.filter("message").value(0).startsWith(c.message))
            << h.journal.join('\n').toStdString();
        EXPECT_FALSE(h.tcp.isOpen());
        // Logged like every connection failure, also without "/T".
        EXPECT_EQ(h.systemLog.lines.size(), 1);
        EXPECT_TRUE(h.systemLog.lines.value(0).contains("[Error] " + QString(c.message).mid(17, 5)));
        // The probes of the count connect in plain, as after the settings command.
        h.store.put("Pop3Server", "h");
        h.globals.ConfigChanged = true;
        EXPECT_EQ(h.errorCountShown(), 1);
    }
}

TEST(SessionCredentials, AnEmptyPasswordIsSentAsItIs)
{
    // (An empty user name never reaches a check: start-up asks for one.)
    Harness empty;
    empty.store.put("PassWord", "");
    ASSERT_TRUE(empty.startChecking());
    empty.tcp.serverSends("+OK\r\n+OK\r\n");
    EXPECT_EQ(empty.tcp.sent, "USER alice\r\nPASS \r\n");
}

TEST(SessionCredentials, ACredentialThatWouldEndTheCommandIsNeverSent)
{
    // A stored value with CR, LF or NUL would put commands of its own on the
    // wire ("DELE 1" behind PASS deletes mail): the check fails instead.
    const QString injected[] = {"s\r\nDELE 1\r\nQUIT", "s\nDELE 1", "s\rDELE 1",
                                QString("s") + QChar(0) + "DELE 1"};
    for (const QString& value : injected) {
        for (const bool inPassword : {false, true}) {
            Harness fresh;
            fresh.store.put(inPassword ? "PassWord" : "UserName", value);
            ASSERT_TRUE(fresh.startChecking());
            fresh.tcp.serverSends("+OK ready\r\n");
            fresh.tcp.serverSends("+OK\r\n");
            fresh.tcp.serverSends("+OK\r\n"); // after the refusal nothing of the connection is heard
            const std::string what = (inPassword ? "password " : "user name ") + value.toStdString();
            EXPECT_EQ(fresh.tcp.sent, inPassword ? "USER alice\r\n" : "") << what;
            EXPECT_FALSE(fresh.tcp.isOpen()) << what;
            const QString message =
                QStringLiteral("message 48 Error 5\r\n\r\nThe %1 was not sent: it holds a line "
                               "break or a NUL character. Correct it in the settings.")
                    .arg(inPassword ? "password" : "user name");
            EXPECT_EQ(fresh.journal.filter("message"), QStringList{message}) << what;
            EXPECT_FALSE(fresh.replyTimer.isEnabled()) << what;
            EXPECT_EQ(fresh.checkTimer.interval(), 1000) << what; // the error report's retry
            EXPECT_EQ(fresh.errorCountShown(), 1) << what;
        }
    }
}

TEST_F(Session, ARejectedReplyIsReportedAndLeavesTheConversationWhereItWas)
{
    h.tcp.serverSends("+OK\r\n+OK\r\n");
    h.journal.clear();
    h.tcp.sent.clear();
    h.tcp.serverSends("-ERR invalid password\r\n");
    EXPECT_EQ(h.journal.first(), "message 48 Error 99999\r\n\r\n invalid password\r\n");
    EXPECT_EQ(h.journal.at(1), "dialog");
    EXPECT_TRUE(h.tcp.sent.isEmpty());
    EXPECT_TRUE(h.tcp.isOpen());
    EXPECT_FALSE(h.replyTimer.isEnabled()); // the check is over: no time-out on top of the report
    // The retry a second later starts on a fresh connection, with no second error.
    EXPECT_EQ(h.checkTimer.interval(), 1000);
    h.journal.clear();
    ASSERT_TRUE(h.checkTimer.fire());
    EXPECT_EQ(h.journal, (Journal{"label Connecting...", "close", "connect mail.example.test:110"}));
    EXPECT_EQ(h.errorCountShown(), 1);
}

TEST_F(Session, AfterARejectedReplyTheConnectionIsNotHeardAgain)
{
    // A thousand rejections in one segment are one report, not a thousand
    // message boxes and dialogs; a late "+OK" does not revive the old check.
    QByteArray flood;
    for (int i = 0; i < 1000; ++i)
        flood += "-ERR go away\r\n";
    h.tcp.serverSends(flood + "+OK\r\n");
    h.tcp.serverSends("+OK\r\n-ERR again\r\n");
    EXPECT_EQ(h.journal.filter("message").size(), 1);
    EXPECT_EQ(h.journal.filter("dialog").size(), 1);
    EXPECT_TRUE(h.tcp.sent.isEmpty());
    // The retry's own connection is heard as usual.
    ASSERT_TRUE(h.checkTimer.fire());
    h.tcp.serverSends("+OK ready\r\n");
    EXPECT_EQ(h.tcp.sent, "USER alice\r\n");
}

TEST(SessionReplies, OnlyAnExactPlusOkIsAccepted)
{
    struct Case {
        QByteArray reply;
        QString description;
    };
    // The description is the reply from its fifth character on.
    for (const Case& c : {Case{"+ok\r\n", "\n"}, Case{" +OK ready\r\n", " ready\r\n"},
                          Case{"-ERR\r\n", "\r\n"}, Case{"-E\n", ""}}) {
        Harness fresh;
        fresh.startChecking();
        fresh.journal.clear();
        fresh.tcp.serverSends(c.reply);
        EXPECT_EQ(fresh.journal.value(0), "message 48 Error 99999\r\n\r\n" + c.description)
            << c.reply.constData();
        EXPECT_TRUE(fresh.tcp.sent.isEmpty());
    }
}

// An IMAP server that says goodbye, refuses, answers another command or
// gives no count ends the check as a rejected reply there.
TEST(SessionReplies, AnImapCheckEndsOnAnyAnswerButTheAwaitedOk)
{
    const QByteArray login = "v2 LOGIN \"alice\" \"s3cret\"\r\n";
    const std::tuple<QByteArray, QByteArray, QString> cases[] = {
        {"* BYE full\r\n", "", "BYE full\r\n"},
        {"* OK\r\n* BYE gone\r\n", login, "BYE gone\r\n"},
        {"* OK\r\nv2 NO [AUTHENTICATIONFAILED] no\r\n", login, "NO [AUTHENTICATIONFAILED] no\r\n"},
        {"* OK\r\nv3 OK early\r\n", login, "v3 OK early\r\n"},
        {"* OK\r\nv2 OK\r\n* STATUS Trash (UNSEEN 4)\r\nv3 OK\r\n", login + "v3 STATUS INBOX (UNSEEN)\r\n",
         "The server gave no UNSEEN count for INBOX"},
    };
    for (const auto& [replies, sent, description] : cases) {
        Harness fresh;
        fresh.store.put("Pop3Server", "imaps://h");
        ASSERT_TRUE(fresh.startChecking());
        fresh.tcp.secure();
        fresh.journal.clear();
        fresh.tcp.serverSends(replies);
        EXPECT_EQ(fresh.tcp.sent, sent) << replies.constData();
        EXPECT_EQ(fresh.journal.filter("message").value(0), "message 48 Error 99999\r\n\r\n" + description)
            << replies.constData();
    }
}

// A name or password with 8-bit bytes cannot be a quoted string: it goes as
// a literal once the server asks for it, and a refusal ends the check.
TEST(SessionCredentials, AnImapLoginWithEightBitBytesGoesAsLiterals)
{
    const QString kana = QStringLiteral("ｱﾘｽ"); // 9 bytes in UTF-8
    const struct {
        QString user, password;
        QByteArray replies, sent;
    } rows[] = {
        {"alice", QStringLiteral("päss"), "* OK\r\n+ go\r\nv2 OK\r\n",
         "v2 LOGIN \"alice\" {5}\r\np\xc3\xa4ss\r\nv3 STATUS INBOX (UNSEEN)\r\n"},
        {kana, kana, "* OK\r\n+ go\r\n+ go\r\nv2 OK\r\n",
         "v2 LOGIN {9}\r\n" + kana.toUtf8() + " {9}\r\n" + kana.toUtf8() +
             "\r\nv3 STATUS INBOX (UNSEEN)\r\n"},
        {"alice", QStringLiteral("päss"), "* OK\r\nv2 NO no literals\r\n", "v2 LOGIN \"alice\" {5}\r\n"},
        {"alice", QStringLiteral("päss"), "* OK\r\nv2 OK early\r\n", "v2 LOGIN \"alice\" {5}\r\n"},
    };
    for (const auto& row : rows) {
        Harness h;
        h.store.put("Pop3Server", "imaps://h");
        h.store.put("UserName", row.user);
        h.store.put("PassWord", row.password);
        ASSERT_TRUE(h.startChecking());
        h.tcp.secure();
        h.tcp.serverSends(row.replies);
        EXPECT_EQ(h.tcp.sent, row.sent);
        EXPECT_EQ(h.journal.filter("message").size(), row.sent.endsWith("}\r\n") ? 1 : 0);
    }
}

TEST(SessionReplies, TheCountIsTheTextBeforeTheFirstBlank)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"+OK 12 34567\r\n", "You have 12 Mail(s)"},
        {"+OK 0 0\r\n", "You have No mail"},
        {"+OK  3 100\r\n", "You have  Mail(s)"},
        {"+OK 3\r\n", "You have 3 Mail(s)"},
        {"+OK 03 1\r\n", "You have 03 Mail(s)"},
        {"+OK 99999999999999999999 1\r\n", "You have 99999999999999999999 Mail(s)"},
        {"+OK -1 0\r\n", "You have -1 Mail(s)"},
    };
    for (const auto& [reply, status] : cases) {
        Harness fresh;
        fresh.startChecking();
        fresh.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n" + reply);
        EXPECT_EQ(fresh.window.status, status) << reply.constData();
        EXPECT_TRUE(fresh.tcp.sent.endsWith("STAT\r\nQUIT\r\n"));
    }
}

TEST(SessionIdle, PlusOkWithNoCheckUnderWayAnswersNothing)
{
    Harness idle;
    idle.tcp.connectToServer({"x", 1});
    idle.tcp.serverSends("+OK\r\n");
    EXPECT_TRUE(idle.tcp.sent.isEmpty());
    EXPECT_TRUE(idle.journal.filter("label").isEmpty());
}

TEST_F(Session, ASilentServerEndsTheCheckAsATimeOut)
{
    EXPECT_TRUE(h.replyTimer.isRunning());
    EXPECT_EQ(h.replyTimer.interval(), 60000);
    h.tcp.serverSends("+OK ready\r\n");
    h.journal.clear();
    ASSERT_TRUE(h.replyTimer.fire());
    EXPECT_EQ(h.journal.value(0), "close");
    EXPECT_TRUE(h.journal.value(1).startsWith("message 48 Error 10060\r\n\r\n"));
    EXPECT_FALSE(h.replyTimer.isEnabled());
    EXPECT_EQ(h.systemLog.lines.value(0).left(35), "2 2026-12-07 09:30:05 [Error] 10060");
    EXPECT_EQ(h.errorCountShown(), 1);
}

// An IMAP server that offers IDLE is listened to from the first count on;
// what it tells of starts a check a second later while the checks are paced.
struct ImapHarness : Harness {
    ImapHarness()
    {
        store.put("Pop3Server", "imaps://h");
        store.put("Interval", "10");
        running = popChk.start({}, QDir::tempPath()) == shell::PopChk::StartResult::Running;
    }
    // One whole check that finds `unseen` messages.
    void count(int unseen)
    {
        checkTimer.fire();
        tcp.secure();
        tcp.serverSends("* OK\r\nv2 OK\r\n* STATUS INBOX (UNSEEN " + QByteArray::number(unseen) +
                        ")\r\nv3 OK\r\nv4 OK\r\n");
    }
    // The listening connection from its greeting to IDLE.
    void idle()
    {
        listening.secure();
        listening.serverSends(
            "* OK\r\ni1 OK\r\n* CAPABILITY IMAP4rev1 IDLE\r\ni2 OK\r\n* 0 EXISTS\r\ni3 OK\r\n"
            "+ idling\r\n");
    }
    // A change told on the listening connection: whether a check is due soon.
    bool told(const QByteArray& change)
    {
        listening.serverSends(change);
        return checkTimer.isEnabled() && checkTimer.interval() == 1000;
    }
    bool running = false;
};

TEST(Push, TheListenerIdlesOnInboxAndAChangeStartsACheckWhileChecksArePaced)
{
    ImapHarness h;
    ASSERT_TRUE(h.running);
    EXPECT_TRUE(h.pushJournal.isEmpty()); // nothing before the first count
    h.count(0);
    h.idle();
    EXPECT_EQ(h.listening.sent,
              "i1 LOGIN \"alice\" \"s3cret\"\r\ni2 CAPABILITY\r\ni3 EXAMINE INBOX\r\ni4 IDLE\r\n");
    EXPECT_EQ(h.listeningTimer.interval(), 28 * 60000);
    EXPECT_FALSE(h.told("* OK Still here\r\n"));
    EXPECT_TRUE(h.told("* 1 EXISTS\r\n* 1 RECENT\r\n"));
    h.count(1);
    EXPECT_EQ(h.window.status, "You have 1 Mail(s)");

    // Not while a check runs, nor once checking has stopped on failures.
    h.popChk.checkNow();
    EXPECT_FALSE(h.told("* 1 FETCH (FLAGS (\\Seen))\r\n"));
    for (int failure = 0; failure < 3; ++failure) {
        h.tcp.fail(10061, "refused");
        h.checkTimer.fire();
    }
    EXPECT_FALSE(h.told("* 1 EXPUNGE\r\n"));

    // Renewed before the server's half hour: DONE, then IDLE again.
    h.listening.sent.clear();
    ASSERT_TRUE(h.listeningTimer.fire());
    h.listening.serverSends("i4 OK\r\n");
    EXPECT_EQ(h.listening.sent, "DONE\r\ni5 IDLE\r\n");
    h.popChk.exitProgram();
    EXPECT_FALSE(h.listening.isOpen());
    EXPECT_FALSE(h.listeningTimer.isEnabled());
}

// Listening again after a drop or a wake from sleep (when an idling
// connection may be dead without a word) asks for a check, as a change may
// have come unheard.
TEST(Push, ListeningAgainAfterADropOrASleepStartsACheck)
{
    ImapHarness h;
    h.count(0);
    h.idle();
    const std::function<void()> losses[] = {
        [&] {
            h.listening.serverSends("* BYE restarting\r\n");
            h.listeningTimer.fire();
        },
        [&] {
            h.popChk.resumed();
            h.count(0);
        },
    };
    for (const auto& loss : losses) {
        h.pushJournal.clear();
        loss();
        EXPECT_EQ(h.checkTimer.interval(), 60000);
        h.idle();
        EXPECT_EQ(h.pushJournal.filter("connect").size(), 1);
        EXPECT_EQ(h.checkTimer.interval(), 1000);
        h.count(0);
    }
}

// Whatever goes wrong on the listening connection is never shown: it is
// made again after a pause that doubles up to the check interval.
TEST(Push, TheListenersTroublesAreQuietAndBackOff)
{
    const std::function<void(Harness&)> troubles[] = {
        [](Harness& h) { h.listening.serverSends("* BYE going\r\n"); },
        [](Harness& h) { h.listening.serverSends("* OK\r\ni1 NO [AUTHENTICATIONFAILED]\r\n"); },
        [](Harness& h) { h.listening.fail(10054, "reset"); },
        [](Harness& h) { h.listeningTimer.fire(); }, // no answer within the reply limit
        [](Harness& h) { h.listening.serverSends("+ what\r\n"); },
        [](Harness& h) { h.listening.serverSends("* OK {99999999}\r\n"); },
    };
    for (const auto& trouble : troubles) {
        ImapHarness h;
        h.count(0);
        QList<int> pauses;
        for (int drop = 0; drop < 10; ++drop) {
            h.listening.secure();
            trouble(h);
            EXPECT_FALSE(h.listening.isOpen());
            pauses << h.listeningTimer.interval();
            ASSERT_TRUE(h.listeningTimer.fire()); // connects again
        }
        EXPECT_EQ(pauses,
                  (QList<int>{2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 512000, 600000}));
        EXPECT_TRUE(h.journal.filter("message").isEmpty());
        EXPECT_EQ(h.errorCountShown(), 0); // the checks' own count is untouched
    }

    // A server without IDLE is left alone: the interval paces the checks.
    ImapHarness plain;
    plain.count(0);
    plain.listening.secure();
    plain.listening.serverSends("* OK\r\ni1 OK\r\n* CAPABILITY IMAP4rev1\r\ni2 OK\r\n");
    EXPECT_FALSE(plain.listening.isOpen());
    EXPECT_FALSE(plain.listeningTimer.isEnabled());
    plain.count(0);
    EXPECT_EQ(plain.pushJournal.filter("connect").size(), 1);
}

} // namespace
} // namespace vindel::test
