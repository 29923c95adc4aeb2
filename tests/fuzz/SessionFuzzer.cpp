// libFuzzer target over the real reply framing and the real check (PopChk
// with the unit-test fakes, so no sockets). The input is read as a list of
// actions: chunks of server bytes in any split (short pieces, canned
// replies, long runs of one byte), the reply limit running out, timer ticks,
// the check command and connection failures. What must hold whatever a
// server sends is checked after every action; a break aborts with its name.
#include "Fakes.h"
#include "check/ReplyFramer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
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

// Feeds the framer and takes every reply it completes, checking each.
void frame(ReplyFramer& framer, const QByteArray& bytes, std::vector<ReplyFramer::Reply>& replies)
{
    framer.feed(bytes);
    while (auto reply = framer.next()) {
        require(reply->line.size() <= maxLine, "a reply longer than the cap");
        require(reply->overlong || reply->line.endsWith('\n'), "a complete reply without its line feed");
        replies.push_back(*reply);
    }
    require(framer.pendingSize() < maxLine, "the framer holds a whole cap of bytes");
}

// How the bytes are cut into chunks does not change the replies.
void checkFramer(FuzzedDataProvider& input)
{
    ReplyFramer inPieces;
    ReplyFramer atOnce;
    std::vector<ReplyFramer::Reply> pieceReplies;
    std::vector<ReplyFramer::Reply> wholeReplies;
    QByteArray all;
    while (input.remaining_bytes() > 0 && all.size() < maxInputBytes) {
        const QByteArray chunk = input.ConsumeBool() ? piece(input) : run(input);
        all += chunk;
        frame(inPieces, chunk, pieceReplies);
    }
    frame(atOnce, all, wholeReplies);
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
};

// The error report shows a message for the first failures, the error look after.
bool reportsAFailure(const QString& act)
{
    return act.startsWith("message ") || act == "label Error!";
}

const QByteArray conversation[] = {"USER alice\r\n", "PASS s3cret\r\n", "STAT\r\n", "QUIT\r\n"};

// Reads the journal on from `read` and checks each outward act.
void follow(const Harness& h, qsizetype& read, qsizetype& logLines, Connection& c)
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

const int failureNumbers[] = {10054, 10060, 10061, 11001, 11004};

void checkSession(FuzzedDataProvider& input)
{
    Harness h;
    require(h.popChk.start({}, "/nonexistent/vindel-fuzz") == shell::PopChk::StartResult::Running,
            "start-up failed");
    Connection c;
    qsizetype read = 0;
    qsizetype logLines = 0;
    qsizetype serverBytes = 0;
    while (input.remaining_bytes() > 0 && serverBytes < maxInputBytes) {
        const int action = input.ConsumeIntegralInRange<int>(0, 11);
        QByteArray chunk;
        if (action <= 5)
            chunk = piece(input);
        else if (action == 6)
            for (int count = input.ConsumeIntegralInRange<int>(1, 3); count > 0; --count)
                chunk += input.PickValueInArray(cannedReplies);
        else if (action == 7)
            chunk = run(input);
        else if (action == 8)
            h.replyTimer.fire(); // the reply limit ran out
        else if (action == 9)
            h.checkTimer.fire();
        else if (action == 10)
            h.popChk.checkNow();
        else if (h.tcp.isOpen())
            h.tcp.fail(input.PickValueInArray(failureNumbers), "fuzzed failure");
        follow(h, read, logLines, c);
        // A closed connection delivers nothing, as with the real client.
        if (!chunk.isEmpty() && h.tcp.isOpen()) {
            serverBytes += chunk.size();
            std::vector<ReplyFramer::Reply> replies;
            frame(c.framer, chunk, replies);
            const bool listening = !c.failed;
            for (const auto& reply : replies) {
                if (c.refusedAt < 0 && !reply.overlong && reply.line.startsWith("+OK"))
                    ++c.accepted;
                else if (c.refusedAt < 0)
                    c.refusedAt = c.replies;
                ++c.replies;
            }
            const qsizetype before = h.journal.size();
            h.tcp.serverSends(chunk);
            // A reply other than "+OK" that the conversation reached is reported.
            if (listening && c.refusedAt >= 0 && c.refusedAt <= 3)
                require(std::ranges::any_of(h.journal.mid(before), reportsAFailure),
                        "a refused reply was not reported");
            follow(h, read, logLines, c);
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
    // actions for the whole check.
    FuzzedDataProvider framerInput(data, size);
    vindel::test::checkFramer(framerInput);
    FuzzedDataProvider sessionInput(data, size);
    vindel::test::checkSession(sessionInput);
    return 0;
}
