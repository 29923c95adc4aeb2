#pragma once

#include <QByteArray>

#include <optional>

namespace vindel::check {

// Cuts the bytes a server sends into reply lines. A reply is complete at its
// line feed and keeps its line end; bytes without a line end wait for the
// rest. A pending line that outgrows the cap is handed out once as overlong
// and the rest of it, up to its line feed, is dropped, so no server can make
// the program grow without limit.
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
    qsizetype pendingSize() const { return m_pending.size(); }

private:
    QByteArray m_pending;
    bool m_droppingOverlong = false;
};

} // namespace vindel::check
