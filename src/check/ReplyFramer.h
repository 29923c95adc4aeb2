#pragma once

#include <QByteArray>

#include <optional>

namespace vindel::check {

// Cuts the bytes a server sends into reply lines. A reply is complete at its
// line feed and keeps its line end; bytes without a line end wait for the
// rest. A pending line that outgrows the cap is handed out once as overlong
// and the rest of it, up to its line feed, is dropped, so no server can make
// the program grow without limit.
//
// With literals (IMAP), a line that ends in "{n}" and its line end goes on
// with the n bytes after it and then to the next line end, and so on: the
// whole is one reply, under the same cap. A literal that cannot fit under the
// cap makes the reply overlong as soon as it is announced, before any of its
// bytes are kept.
class ReplyFramer {
public:
    static constexpr qsizetype maxLineLength = 64 * 1024;

    struct Reply {
        QByteArray line;
        bool overlong = false;
    };

    void feed(const QByteArray& bytes);
    // The next complete reply, if one is there.
    std::optional<Reply> next();
    void clear();
    void setLiterals(bool on) { m_literals = on; }
    qsizetype pendingSize() const { return m_pending.size(); }

private:
    QByteArray m_pending;
    bool m_droppingOverlong = false;
    bool m_literals = false;
    qint64 m_discard = 0; // bytes of an overlong literal still to be dropped
};

} // namespace vindel::check
