#include "windows/NoticeHost.h"

namespace vindel::windows {

NoticeHost::NoticeHost(shell::AppControl& app, int lifetimeMs, QWidget* statusWindow)
    : m_app(app), m_lifetimeMs(lifetimeMs), m_statusWindow(statusWindow)
{
}

NoticeHost::~NoticeHost()
{
    delete m_window.data();
}

void NoticeHost::showNotice(const QString& text)
{
    const auto fill = [this, &text] {
        if (!m_window)
            createWindow();
        m_window->setStatusText(text);
        m_window->setWindowTitle(QStringLiteral("Vindel"));
    };
    fill();
    m_app.processPendingEvents();
    // The window may have reached its deadline while events ran: the notice
    // then gets a fresh window rather than being lost.
    if (!m_window)
        fill();
    m_window->show();
    m_window->raise();
}

void NoticeHost::createWindow()
{
    // A window with an owner is its transient: window managers stack it
    // above its owner whatever else raises the owner. Still centred on the
    // screen, not on the owner.
    auto* window = new NotifyWindow(m_lifetimeMs, m_statusWindow.data());
    QObject::connect(window, &NotifyWindow::released, window, [this] { m_window = nullptr; });
    m_window = window;
    // Shown at once; it centres itself as it first shows.
    window->show();
}

} // namespace vindel::windows
