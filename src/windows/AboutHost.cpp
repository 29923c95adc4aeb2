#include "windows/AboutHost.h"

namespace vindel::windows {

AboutHost::AboutHost(const settings::Globals& globals, shell::ProcessLauncher& launcher)
    : m_globals(globals), m_launcher(launcher)
{
}

AboutHost::~AboutHost()
{
    delete m_window.data();
}

void AboutHost::showAbout()
{
    if (!m_window) {
        auto* window = new AboutWindow(m_globals, m_launcher);
        // However it closes (OK, Enter, Escape, close box), the window is
        // released at once and destroyed afterwards.
        QObject::connect(window, &QDialog::finished, window, [this, window] {
            m_window = nullptr;
            window->deleteLater();
        });
        m_window = window;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace vindel::windows
