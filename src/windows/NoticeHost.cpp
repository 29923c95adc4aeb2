#include "windows/NoticeHost.h"

namespace vindel::windows {

NoticeHost::NoticeHost(shell::AppControl& app, int lifetimeMs) : m_app(app), m_lifetimeMs(lifetimeMs) {}

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
    auto* window = new NotifyWindow(m_lifetimeMs);
    QObject::connect(window, &NotifyWindow::released, window, [this] { m_window = nullptr; });
    m_window = window;
    // Shown at once; it centres itself as it first shows.
    window->show();
}

} // namespace vindel::windows
