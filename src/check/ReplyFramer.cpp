#include "check/ReplyFramer.h"

namespace vindel::check {
namespace {

// The n of a line that ends in "{n}" and its line end (ending at lineEnd, its
// line feed), -1 when it announces no literal; a number too long to be a size
// gives a size past any cap.
qint64 announcedLiteral(const QByteArray& bytes, qsizetype lineEnd)
{
    qsizetype close = lineEnd - 1;
    if (close >= 0 && bytes[close] == '\r')
        --close;
    if (close < 0 || bytes[close] != '}')
        return -1;
    qsizetype open = close - 1;
    while (open >= 0 && bytes[open] >= '0' && bytes[open] <= '9')
        --open;
    if (open < 0 || bytes[open] != '{' || open + 1 == close)
        return -1;
    if (close - open - 1 > 12)
        return ReplyFramer::maxLineLength + 1;
    return bytes.mid(open + 1, close - open - 1).toLongLong();
}

} // namespace

void ReplyFramer::feed(const QByteArray& bytes)
{
    m_pending.append(bytes);
}

std::optional<ReplyFramer::Reply> ReplyFramer::next()
{
    for (;;) {
        if (m_discard > 0) {
            const qsizetype dropped = qMin<qint64>(m_discard, m_pending.size());
            m_pending.remove(0, dropped);
            m_discard -= dropped;
            if (m_discard > 0)
                return std::nullopt;
        }
        qsizetype end = m_pending.indexOf('\n');
        // A literal's bytes are skipped over, whatever they hold, and the
        // reply ends at the first line end behind the last literal.
        while (m_literals && !m_droppingOverlong && end >= 0 && end < maxLineLength) {
            const qint64 literal = announcedLiteral(m_pending, end);
            if (literal < 0)
                break;
            if (literal > maxLineLength - (end + 1)) {
                // Overlong at once: the literal's bytes are counted off as
                // they come, never kept, then the rest of its line goes.
                Reply reply{m_pending.left(end + 1), true};
                m_pending.remove(0, end + 1);
                m_discard = literal;
                m_droppingOverlong = true;
                return reply;
            }
            const qsizetype after = end + 1 + literal;
            end = after <= m_pending.size() ? m_pending.indexOf('\n', after) : -1;
            if (end < 0 && m_pending.size() < maxLineLength)
                return std::nullopt; // the literal or the line behind it is still coming
        }
        if (m_droppingOverlong) {
            if (end < 0) {
                m_pending.clear();
                return std::nullopt;
            }
            m_pending.remove(0, end + 1);
            m_droppingOverlong = false;
            continue;
        }
        if (end >= 0 && end < maxLineLength) {
            Reply reply{m_pending.left(end + 1), false};
            m_pending.remove(0, end + 1);
            return reply;
        }
        if (m_pending.size() >= maxLineLength) {
            Reply reply{m_pending.left(maxLineLength), true};
            m_pending.remove(0, maxLineLength);
            m_droppingOverlong = true;
            return reply;
        }
        return std::nullopt;
    }
}

void ReplyFramer::clear()
{
    m_pending.clear();
    m_droppingOverlong = false;
    m_discard = 0;
}

} // namespace vindel::check
