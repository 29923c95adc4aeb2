// libFuzzer target over the reply framing and the POP3 session. The input is
// read as a list of actions: chunks of server bytes in any split (short
// pieces, canned replies, long runs of one byte), the reply limit running
// out, timer ticks, the check command and connection failures. The same
// bytes go to check::ReplyFramer alone and to the whole behaviour (PopChk
// with the unit-test fakes, so no sockets), and both are compared with a
// plain byte-at-a-time model of what they must do.
#include "Fakes.h"
#include "check/ReplyFramer.h"
#include "shell/Look.h"

#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <vector>

namespace vindel::test {
namespace {

constexpr qsizetype maxLine = check::ReplyFramer::maxLineLength;
constexpr qsizetype maxInputBytes = 512 * 1024; // of server bytes per run
constexpr qsizetype maxRun = maxLine + 4096;    // long enough to cross the cap

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The framing rule, said plainly: a line ends at its line feed; a line that
// reaches the cap without one is handed out once as overlong and the rest of
// it, through its line feed, is dropped. (It walks from line feed to line
// feed instead of byte by byte only to keep the fuzzer fast.)
class LineModel {
public:
    void feed(const QByteArray& bytes, std::vector<check::ReplyFramer::Reply>& out)
    {
        qsizetype at = 0;
        while (at < bytes.size()) {
            const qsizetype end = bytes.indexOf('\n', at);
            if (m_dropping) {
                if (end < 0)
                    return;
                m_dropping = false;
                at = end + 1;
                continue;
            }
            const qsizetype piece = (end < 0 ? bytes.size() : end + 1) - at; // through the line feed
            const qsizetype room = maxLine - m_line.size();
            if (piece > room) {
                // The cap is reached before the line feed.
                m_line.append(bytes.mid(at, room));
                at += room;
                overlong(out);
                continue;
            }
            m_line.append(bytes.mid(at, piece));
            at += piece;
            if (end >= 0) {
                out.push_back({m_line, false});
                m_line.clear();
            } else if (m_line.size() == maxLine) {
                overlong(out);
            }
        }
    }
    void clear()
    {
        m_line.clear();
        m_dropping = false;
    }

private:
    void overlong(std::vector<check::ReplyFramer::Reply>& out)
    {
        out.push_back({m_line, true});
        m_line.clear();
        m_dropping = true;
    }

    QByteArray m_line;
    bool m_dropping = false;
};

bool sameReplies(const std::vector<check::ReplyFramer::Reply>& a,
                 const std::vector<check::ReplyFramer::Reply>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].line != b[i].line || a[i].overlong != b[i].overlong)
            return false;
    return true;
}

// What the conversation must do with the replies of one connection.
class SessionModel {
public:
    void connectionOpened()
    {
        m_state = State::Connect;
        m_lines.clear();
    }
    // Takes the replies a chunk completes. The answer to QUIT closes the
    // connection, and a rejected reply ends the check: nothing after either
    // is a reply.
    void take(const QByteArray& chunk)
    {
        std::vector<check::ReplyFramer::Reply> replies;
        m_lines.feed(chunk, replies);
        for (const auto& reply : replies) {
            if (m_state == State::Closed)
                return;
            if (reply.overlong || !reply.line.startsWith("+OK")) {
                ++rejections;
                m_state = State::Closed;
                return;
            }
            switch (m_state) {
            case State::Connect:
                sent += "USER alice\r\n";
                m_state = State::UserName;
                break;
            case State::UserName:
                sent += "PASS s3cret\r\n";
                m_state = State::Password;
                break;
            case State::Password:
                sent += "STAT\r\n";
                m_state = State::Stat;
                break;
            case State::Stat:
                counts << shell::mailCountText(countOf(reply.line));
                sent += "QUIT\r\n";
                m_state = State::Quit;
                break;
            case State::Quit:
                m_state = State::Closed;
                break;
            case State::Closed:
                break;
            }
        }
    }

    QByteArray sent;
    QStringList counts;
    int rejections = 0;

private:
    enum class State { Connect, UserName, Password, Stat, Quit, Closed };

    // The text from the fifth character up to a blank or the line end.
    static QString countOf(const QByteArray& line)
    {
        QByteArray count;
        for (qsizetype i = 4; i < line.size() && line[i] != ' ' && line[i] != '\r' && line[i] != '\n'; ++i)
            count.append(line[i]);
        return QString::fromLatin1(count);
    }

    State m_state = State::Closed;
    LineModel m_lines;
};

const QByteArray cannedReplies[] = {
    "+OK\r\n", "+OK ready\r\n", "+OK 3 120\r\n", "+OK 0 0\r\n", "+OK 7\r\n", "-ERR no\r\n",
    "\r\n",    "+OK",           "+ok\r\n",       " +OK\r\n",    "\n",        "+OK 99999999999999999999 1\r\n",
};

const int failureNumbers[] = {10054, 10060, 10061, 11001, 11004};

void runFramer(const std::vector<QByteArray>& chunks)
{
    check::ReplyFramer framer;
    LineModel model;
    std::vector<check::ReplyFramer::Reply> got;
    std::vector<check::ReplyFramer::Reply> expected;
    for (const QByteArray& chunk : chunks) {
        framer.feed(chunk);
        while (auto reply = framer.next()) {
            require(reply->line.size() <= maxLine, "a reply longer than the cap");
            require(reply->overlong || reply->line.endsWith('\n'), "a complete reply without its line feed");
            got.push_back(*reply);
        }
        require(framer.pendingSize() < maxLine, "the framer holds a whole cap of bytes");
        model.feed(chunk, expected);
    }
    require(sameReplies(got, expected), "the framer's replies differ from the model's");
}

void runSession(FuzzedDataProvider& input)
{
    Harness h;
    require(h.popChk.start({}, "/nonexistent/vindel-fuzz") == shell::PopChk::StartResult::Running,
            "start-up failed");
    SessionModel model;
    qsizetype journalRead = 0;
    qsizetype serverBytes = 0;
    // A new connection starts the model afresh.
    const auto followConnections = [&] {
        bool connected = false;
        for (; journalRead < h.journal.size(); ++journalRead)
            connected = connected || h.journal[journalRead].startsWith("connect ");
        if (connected && h.tcp.isOpen())
            model.connectionOpened();
    };

    while (input.remaining_bytes() > 0 && serverBytes < maxInputBytes) {
        const int action = input.ConsumeIntegralInRange<int>(0, 11);
        QByteArray chunk;
        if (action <= 5) {
            const std::string bytes = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64));
            chunk = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
        } else if (action == 6) {
            // One to three whole replies in one segment.
            for (int count = input.ConsumeIntegralInRange<int>(1, 3); count > 0; --count)
                chunk += input.PickValueInArray(cannedReplies);
        } else if (action == 7) {
            const char byte = input.ConsumeIntegral<char>();
            chunk = QByteArray(input.ConsumeIntegralInRange<qsizetype>(1, maxRun), byte);
        } else if (action == 8) {
            h.replyTimer.fire(); // the reply limit ran out
        } else if (action == 9) {
            h.checkTimer.fire();
        } else if (action == 10) {
            h.popChk.checkNow();
        } else if (h.tcp.isOpen()) {
            h.tcp.fail(input.PickValueInArray(failureNumbers), "fuzzed failure");
        }
        followConnections();
        // A closed connection delivers nothing, as with the real client.
        if (!chunk.isEmpty() && h.tcp.isOpen()) {
            serverBytes += chunk.size();
            model.take(chunk);
            h.tcp.serverSends(chunk);
            followConnections();
        }

        // Back at the minute tick means the check is over: its connection is closed.
        require(!(h.tcp.isOpen() && h.checkTimer.isEnabled() && h.checkTimer.interval() == 60000),
                "a finished check left its connection open");
    }

    require(h.tcp.sent == model.sent, "the commands sent differ from the model's");
    require(h.journal.filter("message 48 Error 99999").size() == model.rejections,
            "rejected replies and reports differ");
    QStringList counts = h.journal.filter("label You have ");
    for (QString& label : counts)
        label.remove(0, 6);
    require(counts == model.counts, "the counts shown differ from the model's");
    require(h.store.writes.isEmpty(), "a check wrote the settings");
}

} // namespace
} // namespace vindel::test

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vindel::test;
    // The framer alone, on chunks cut by the input.
    {
        FuzzedDataProvider input(data, size);
        std::vector<QByteArray> chunks;
        qsizetype total = 0;
        while (input.remaining_bytes() > 0 && total < maxInputBytes) {
            QByteArray chunk;
            if (input.ConsumeBool()) {
                const std::string bytes =
                    input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64));
                chunk = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
            } else {
                const char byte = input.ConsumeIntegral<char>();
                chunk = QByteArray(input.ConsumeIntegralInRange<qsizetype>(1, maxRun), byte);
            }
            total += chunk.size();
            chunks.push_back(chunk);
        }
        runFramer(chunks);
    }
    // The whole behaviour, on actions read from the same input.
    FuzzedDataProvider input(data, size);
    runSession(input);
    return 0;
}
