#include "check/ReplyFramer.h"

namespace vindel::check {

void ReplyFramer::feed(const QByteArray& bytes)
{
    m_pending.append(bytes);
}

std::optional<ReplyFramer::Reply> ReplyFramer::next()
{
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n');
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
}

} // namespace vindel::check
