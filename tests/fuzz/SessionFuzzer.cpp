// libFuzzer target over the real reply framing and the real check (PopChk
// with the unit-test fakes, so no sockets), for POP3 and for IMAP (framing
// with literals, imaps:// or imap+starttls://, a fuzzed user name and
// password). The input is read as a list of actions: chunks of server bytes
// in any split (short pieces, canned replies, long runs of one byte), the
// reply limit running out, timer ticks, the check command, connection
// failures and the end of a TLS handshake. What must hold whatever a server
// sends is checked after every action; a break aborts with its name.
#include "Fakes.h"
#include "check/ReplyFramer.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <vector>

namespace vindel::test {
namespace {

using check::ReplyFramer;
constexpr qsizetype maxLine = ReplyFramer::maxLineLength;
constexpr qsizetype maxInputBytes = 512 * 1024; // of server bytes per run
constexpr qsizetype maxRun = maxLine + 4096;    // long enough to cross the cap

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

QByteArray piece(FuzzedDataProvider& input)
{
    const std::string bytes = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QByteArray run(FuzzedDataProvider& input)
{
    const char byte = input.ConsumeIntegral<char>();
    return QByteArray(input.ConsumeIntegralInRange<qsizetype>(1, maxRun), byte);
}

// The n of a line (up to its line feed at lineEnd) that ends in "{n}" (or,
// from the client, "{n+}"), -1 when it announces no literal.
qint64 literalAt(const QByteArray& bytes, qsizetype lineEnd, bool fromClient = true)
{
    static const QRegularExpression client(QStringLiteral(R"(\{(\d{1,12})\+?\}\r?$)"));
    static const QRegularExpression server(QStringLiteral(R"(\{(\d{1,12})\}\r?$)"));
    const QRegularExpressionMatch match =
        (fromClient ? client : server)
            .match(QString::fromLatin1(bytes.first(lineEnd).last(std::min<qsizetype>(lineEnd, 16))));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// A complete IMAP reply has a line feed only behind a literal's
// announcement, among a literal's bytes, and at its end, which announces none.
bool wholeLiteralReply(const QByteArray& reply)
{
    for (qsizetype at = 0;;) {
        const qsizetype end = reply.indexOf('\n', at);
        const qint64 literal = end < 0 ? -1 : literalAt(reply, end, false);
        if (end < 0 || end == reply.size() - 1)
            return end == reply.size() - 1 && literal < 0;
        if (literal < 0 || end + 1 + literal > reply.size())
            return false;
        at = end + 1 + literal;
    }
}

// Feeds the framer and takes every reply it completes, checking each.
void frame(ReplyFramer& framer, const QByteArray& bytes, std::vector<ReplyFramer::Reply>& replies,
           bool literals = false)
{
    framer.setLiterals(literals);
    framer.feed(bytes);
    while (auto reply = framer.next()) {
        require(reply->line.size() <= maxLine, "a reply longer than the cap");
        require(reply->overlong || reply->line.endsWith('\n'), "a complete reply without its line feed");
        require(!literals || reply->overlong || wholeLiteralReply(reply->line),
                "a reply cut inside a literal");
        replies.push_back(*reply);
    }
    require(framer.pendingSize() < maxLine, "the framer holds a whole cap of bytes");
}

// How the bytes are cut into chunks does not change the replies.
void checkFramer(FuzzedDataProvider& input, bool literals)
{
    ReplyFramer inPieces;
    ReplyFramer atOnce;
    std::vector<ReplyFramer::Reply> pieceReplies;
    std::vector<ReplyFramer::Reply> wholeReplies;
    QByteArray all;
    while (input.remaining_bytes() > 0 && all.size() < maxInputBytes) {
        const QByteArray chunk = input.ConsumeBool() ? piece(input) : run(input);
        all += chunk;
        frame(inPieces, chunk, pieceReplies, literals);
    }
    frame(atOnce, all, wholeReplies, literals);
    require(pieceReplies.size() == wholeReplies.size(), "the cut changed the number of replies");
    for (size_t i = 0; i < pieceReplies.size(); ++i)
        require(pieceReplies[i].line == wholeReplies[i].line &&
                    pieceReplies[i].overlong == wholeReplies[i].overlong,
                "the cut changed a reply");
}

// One connection as the fakes and the server's bytes show it.
struct Connection {
    bool open = false;
    bool failed = false; // a failure was reported, or logged
    int commands = 0;
    int accepted = 0;   // replies that began "+OK" before any other reply
    int refusedAt = -1; // the position of the first other reply
    int replies = 0;
    ReplyFramer framer;
    // IMAP
    QByteArray command;         // the bytes of a command sent so far
    QByteArray lastTag;         // of the last whole command sent
    QList<QByteArray> answered; // tags answered "OK", in any case, so far
    bool greeted = false;       // the first reply began "* OK" or "* PREAUTH"
    bool preauth = false;
    bool startTlsAsked = false; // the check asked the client for the handshake
    bool secured = false;
    bool statusAnswered = false; // a reply tagged as STATUS's came
    bool logoutAnswered = false; // and one tagged as LOGOUT's
};

// The user name and password of an IMAP run: bytes that need quoting, a
// literal's braces, 8-bit text, and the line ends and NUL that must never
// be sent.
struct Login {
    QString user;
    QString password;
    bool unsendable() const
    {
        return (user + password).contains(QRegularExpression(QStringLiteral("[\\r\\n\\x{0}]")));
    }
};

QString credential(FuzzedDataProvider& input)
{
    static const QString alphabet = QStringLiteral("a\"\\ {}()*%\r\n") + QChar(0) + QChar(0xe9);
    QString text;
    for (int length = input.ConsumeIntegralInRange<int>(1, 6); length > 0; --length)
        text += alphabet[input.ConsumeIntegralInRange<qsizetype>(0, alphabet.size() - 1)];
    return text;
}

// One argument of a command at `at`: an atom, a quoted string ('"' and '\'
// escaped) or a literal; empty with ok false when it is none of these.
QByteArray argumentAt(const QByteArray& command, qsizetype& at, bool& ok)
{
    QByteArray value;
    if (command.mid(at, 1) == "\"") {
        for (++at; at < command.size() && command[at] != '"'; ++at) {
            if (command[at] == '\\' && ++at == command.size())
                break;
            value += command[at];
        }
        ok = at++ < command.size();
        return value;
    }
    if (command.mid(at, 1) == "{") {
        const qsizetype end = command.indexOf('\n', at);
        const qint64 literal = end < 0 ? -1 : literalAt(command, end);
        ok = literal >= 0 && end + 1 + literal <= command.size();
        at = end + 1 + literal;
        return ok ? command.mid(end + 1, literal) : QByteArray();
    }
    while (at < command.size() && !QByteArray(" ()\r\n{\"\\%*").contains(command[at]))
        value += command[at++];
    ok = !value.isEmpty();
    return value;
}

// Checks one IMAP command the check sent (its bytes so far); true once it is
// whole, false while a literal's bytes are still to come.
bool checkImapCommand(Connection& c, const Login& login, bool startTls)
{
    // Only a literal's announcement ends a line inside a command; a line
    // end is CR LF, and no NUL is sent outside a literal.
    for (qsizetype at = 0;;) {
        const qsizetype end = c.command.indexOf('\n', at);
        require(end >= 0, "a command without its line end");
        const QByteArray line = c.command.mid(at, end + 1 - at);
        require(line.endsWith("\r\n") && line.count('\r') == 1 && !line.contains('\0'),
                "a CR, LF or NUL inside a command");
        const qint64 literal = literalAt(c.command, end);
        if (end == c.command.size() - 1) {
            if (literal >= 0)
                return false; // a synchronising literal's bytes follow the server's go-ahead
            break;
        }
        require(literal >= 0, "a command with more behind its line end");
        if (end + 1 + literal >= c.command.size())
            return false;
        at = end + 1 + literal;
    }
    const QByteArray tag = c.command.left(c.command.indexOf(' '));
    // The conversation: STARTTLS (imap+starttls), LOGIN (not after PREAUTH),
    // STATUS, LOGOUT; each after the tagged OK of the one before.
    const QByteArray first = startTls ? "v1" : c.preauth ? "v3" : "v2";
    const QByteArray expected =
        c.lastTag.isEmpty() ? first : "v" + QByteArray::number(c.lastTag.mid(1).toInt() + 1);
    require(tag == expected, "not the next command of the conversation");
    require(c.lastTag.isEmpty() ? c.greeted : c.answered.contains(c.lastTag),
            "a command before the server accepted the one before");
    require(!startTls || tag == "v1" || c.secured, "a command after STARTTLS before the handshake");
    static const QByteArray words[] = {"v1 STARTTLS\r\n", "", "v3 STATUS INBOX (UNSEEN)\r\n",
                                       "v4 LOGOUT\r\n"};
    if (tag == "v2") {
        require(!login.unsendable(), "a user name or password with CR, LF or NUL was sent");
        require(c.command.startsWith("v2 LOGIN "), "not LOGIN");
        qsizetype at = 9;
        bool userOk = false;
        bool passwordOk = false;
        const QByteArray user = argumentAt(c.command, at, userOk);
        require(userOk && c.command.mid(at++, 1) == " ", "LOGIN's user name cannot be read");
        const QByteArray password = argumentAt(c.command, at, passwordOk);
        require(passwordOk && c.command.mid(at) == "\r\n", "LOGIN's password cannot be read");
        require(user == login.user.toUtf8() && password == login.password.toUtf8(),
                "LOGIN sent another user name or password");
    } else {
        require(c.command == words[tag.mid(1).toInt() - 1], "not the command of its tag");
    }
    c.lastTag = tag;
    c.command.clear();
    return true;
}

// The error report shows a message for the first failures, the error look after.
bool reportsAFailure(const QString& act)
{
    return act.startsWith("message ") || act == "label Error!";
}

const QByteArray conversation[] = {"USER alice\r\n", "PASS s3cret\r\n", "STAT\r\n", "QUIT\r\n"};

// Reads the journal on from `read` and checks each outward act; an IMAP
// run has its login.
void follow(const Harness& h, qsizetype& read, qsizetype& logLines, Connection& c,
            const std::optional<Login>& imap, bool startTls)
{
    for (; read < h.journal.size(); ++read) {
        const QString& act = h.journal[read];
        if (act.startsWith("connect ")) {
            c = Connection();
            c.open = true;
        } else if (act == "close") {
            c.open = false;
        } else if (reportsAFailure(act)) {
            c.failed = true;
        } else if (act == "starttls") {
            c.startTlsAsked = true;
        } else if (act.startsWith("secured ")) {
            c.secured = true;
        } else if (imap && act.startsWith("send ")) {
            require(c.open, "sent with no connection");
            require(!c.failed, "sent after a failure");
            c.command += act.mid(5).toLatin1();
            checkImapCommand(c, *imap, startTls);
        } else if (imap && act.startsWith("label You have ")) {
            require(c.lastTag >= "v3" && c.answered.contains("v3"),
                    "a count shown before the tagged answer to STATUS");
        } else if (act.startsWith("send ")) {
            const QByteArray bytes = act.mid(5).toLatin1();
            require(c.open, "sent with no connection");
            require(!c.failed, "sent after a failure");
            require(c.commands < 4, "a command after QUIT");
            require(bytes == conversation[c.commands], "not the next command of the conversation");
            ++c.commands;
            require(c.commands <= c.accepted, "a command before the server accepted the one before");
        } else if (act.startsWith("label You have ")) {
            require(c.commands >= 3 && c.accepted >= 4, "a count shown before the answer to STAT");
        }
    }
    if (h.systemLog.lines.size() > logLines)
        c.failed = true;
    logLines = h.systemLog.lines.size();
}

const QByteArray cannedReplies[] = {
    "+OK\r\n", "+OK ready\r\n", "+OK 3 120\r\n", "+OK 0 0\r\n", "+OK 7\r\n", "-ERR no\r\n",
    "\r\n",    "+OK",           "+ok\r\n",       " +OK\r\n",    "\n",        "+OK 99999999999999999999 1\r\n",
};

const QByteArray imapReplies[] = {
    "* OK ready\r\n",
    "* PREAUTH\r\n",
    "v1 OK\r\n",
    "v2 OK\r\n",
    "v3 OK\r\n",
    "v4 OK\r\n",
    "v2 NO denied\r\n",
    "* BYE\r\n",
    "+ go on\r\n",
    "* 3 EXISTS\r\n",
    "* STATUS INBOX (UNSEEN 4)\r\n",
    "* STATUS {5}\r\nINBOX (UNSEEN 2)\r\n",
    "* STATUS INBOX {4000000000}\r\n",
    "* ok\r\n",
};

const int failureNumbers[] = {10054, 10060, 10061, 11001, 11004};

void checkSession(FuzzedDataProvider& input, bool imapRun)
{
    Harness h;
    std::optional<Login> imap;
    bool startTls = false;
    if (imapRun) {
        startTls = input.ConsumeBool();
        imap = Login{credential(input), credential(input)};
        h.store.put("Pop3Server",
                    startTls ? "imap+starttls://mail.example.test" : "imaps://mail.example.test");
        h.store.put("UserName", imap->user);
        h.store.put("PassWord", imap->password);
    }
    require(h.popChk.start({}, "/nonexistent/vindel-fuzz") == shell::PopChk::StartResult::Running,
            "start-up failed");
    Connection c;
    qsizetype read = 0;
    qsizetype logLines = 0;
    qsizetype serverBytes = 0;
    while (input.remaining_bytes() > 0 && serverBytes < maxInputBytes) {
        const int action = input.ConsumeIntegralInRange<int>(0, 12);
        QByteArray chunk;
        if (action <= 5)
            chunk = piece(input);
        else if (action == 6)
            for (int count = input.ConsumeIntegralInRange<int>(1, 3); count > 0; --count)
                chunk += imap ? input.PickValueInArray(imapReplies) : input.PickValueInArray(cannedReplies);
        else if (action == 7)
            chunk = run(input);
        else if (action == 8)
            h.replyTimer.fire(); // the reply limit ran out
        else if (action == 9)
            h.checkTimer.fire();
        else if (action == 10)
            h.popChk.checkNow();
        else if (action == 12 && h.tcp.isOpen() && !c.secured && (c.startTlsAsked || !startTls))
            h.tcp.secure(); // the handshake is done
        else if (action == 11 && h.tcp.isOpen())
            h.tcp.fail(input.PickValueInArray(failureNumbers), "fuzzed failure");
        follow(h, read, logLines, c, imap, startTls);
        // A closed connection delivers nothing, as with the real client.
        if (!chunk.isEmpty() && h.tcp.isOpen()) {
            serverBytes += chunk.size();
            std::vector<ReplyFramer::Reply> replies;
            frame(c.framer, chunk, replies, imap.has_value());
            const bool listening = !c.failed;
            for (const auto& reply : replies) {
                if (imap && !reply.overlong) {
                    const QByteArray upper = reply.line.toUpper();
                    const QByteArray tag = upper.left(upper.indexOf(' '));
                    c.greeted = c.greeted || (c.replies == 0 &&
                                              (upper.startsWith("* OK") || upper.startsWith("* PREAUTH")));
                    c.preauth = c.preauth || (c.replies == 0 && upper.startsWith("* PREAUTH"));
                    if (tag != "*" && upper.mid(tag.size() + 1).startsWith("OK"))
                        c.answered << reply.line.left(tag.size());
                    // Refused in any state before the end: a tagged answer
                    // other than OK, and BYE before STATUS is answered.
                    const bool tagged = !upper.startsWith("* ") && !upper.startsWith("+");
                    const bool bye =
                        upper.startsWith("* BYE") && QByteArray(" \r\n").contains(upper.mid(5, 1));
                    if (c.refusedAt < 0 && !c.logoutAnswered &&
                        ((tagged && !upper.mid(tag.size() + 1).startsWith("OK")) ||
                         (bye && !c.statusAnswered)))
                        c.refusedAt = c.replies;
                    c.statusAnswered = c.statusAnswered || reply.line.startsWith("v3 ");
                    c.logoutAnswered = c.logoutAnswered || reply.line.startsWith("v4 ");
                } else if (c.refusedAt < 0 && !reply.overlong && reply.line.startsWith("+OK")) {
                    ++c.accepted;
                } else if (c.refusedAt < 0 && !imap) {
                    c.refusedAt = c.replies;
                }
                ++c.replies;
            }
            const qsizetype before = h.journal.size();
            h.tcp.serverSends(chunk);
            // A reply other than "+OK" that the conversation reached is
            // reported, and so is an IMAP refusal before its end.
            if (listening && c.refusedAt >= 0 && (imap || c.refusedAt <= 3))
                require(std::ranges::any_of(h.journal.mid(before), reportsAFailure),
                        "a refused reply was not reported");
            follow(h, read, logLines, c, imap, startTls);
        }
        // Back at the minute tick means the check is over: its connection is closed.
        require(!(h.tcp.isOpen() && h.checkTimer.isEnabled() && h.checkTimer.interval() == 60000),
                "a finished check left its connection open");
    }
    require(h.store.writes.isEmpty(), "a check wrote the settings");
}

} // namespace
} // namespace vindel::test

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The same input read twice: as chunks for the framer alone, and as
    // actions for the whole check; its first byte says POP3 or IMAP.
    const bool imap = size > 0 && data[0] % 2 == 1;
    FuzzedDataProvider framerInput(data, size);
    vindel::test::checkFramer(framerInput, imap);
    FuzzedDataProvider sessionInput(data, size);
    vindel::test::checkSession(sessionInput, imap);
    return 0;
}
