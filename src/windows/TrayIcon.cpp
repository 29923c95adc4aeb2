#include "windows/TrayIcon.h"

#include "windows/Pictures.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace vindel::windows {
namespace {

// The tray shows its tip as rich text when the tip looks like markup, and a
// count comes from the server. A tip holding markup characters is therefore
// handed over escaped, as rich text that reads exactly as the plain text.
QString literalTip(const QString& tip)
{
    if (!tip.contains(u'<') && !tip.contains(u'&'))
        return tip;
    return QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(tip.toHtmlEscaped());
}

} // namespace

TrayIcon::TrayIcon(MainMenu& menu, QWidget& statusWindow, shell::AppControl& app)
    : m_menu(menu), m_statusWindow(statusWindow), m_app(app)
{
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setCommands(shell::Commands* commands)
{
    m_commands = commands;
}

void TrayIcon::add(shell::StatePicture picture, const QString& tip)
{
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        // Queued: the menu, and whatever command it runs (exit removes this
        // icon), must not run inside the icon's own mouse handler.
        connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::activated, Qt::QueuedConnection);
    }
    m_icon->setIcon(Pictures::state(picture));
    m_icon->setToolTip(literalTip(tip));
    // Without a tray nothing shows now; on X11 Qt watches for a tray and
    // docks the icon, with its latest picture and tip, when one appears.
    m_icon->show();
}

void TrayIcon::modify(shell::StatePicture picture, const QString& tip)
{
    if (!m_icon)
        return;
    m_icon->setIcon(Pictures::state(picture));
    m_icon->setToolTip(literalTip(tip));
}

void TrayIcon::remove()
{
    if (!m_icon)
        return;
    m_icon->hide();
    m_icon->deleteLater();
    m_icon = nullptr;
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        openMenu();
}

void TrayIcon::openMenu()
{
    // Bring the program forward first so that the menu closes when the user
    // clicks elsewhere.
    m_statusWindow.activateWindow();
    m_statusWindow.raise();
    m_app.processPendingEvents();
    if (m_commands)
        m_menu.applyState(m_commands->trayMenuState());
    m_app.processPendingEvents();
    m_menu.menu().exec(QCursor::pos());
    m_app.processPendingEvents();
}

} // namespace vindel::windows
