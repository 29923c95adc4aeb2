#include "ModalCatcher.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QWidget>

namespace vindel::test {
namespace {
constexpr int pollMs = 10;
}

ModalCatcher::ModalCatcher(Kind kind, std::function<void(QWidget*)> examine, int limitMs)
    : m_kind(kind), m_examine(std::move(examine)), m_pollsLeft(limitMs / pollMs)
{
    connect(&m_poll, &QTimer::timeout, this, &ModalCatcher::poll);
    m_poll.start(pollMs);
}

void ModalCatcher::poll()
{
    QWidget* widget =
        m_kind == Kind::Popup ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
    if (widget && widget->isVisible()) {
        m_poll.stop();
        m_caught = true;
        if (m_examine)
            m_examine(widget);
        widget->close();
        return;
    }
    if (--m_pollsLeft > 0)
        return;
    m_poll.stop();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && (qobject_cast<QMenu*>(top) || qobject_cast<QDialog*>(top)))
            top->close();
    }
}

} // namespace vindel::test
