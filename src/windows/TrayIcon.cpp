#include "windows/TrayIcon.h"

#include "shell/PopChk.h"
#include "windows/BusMenu.h"
#include "windows/Pictures.h"
#include "windows/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
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

TrayIcon::TrayIcon(MainMenu& menu, QWidget& statusWindow, QDBusConnection bus)
    : m_menu(menu), m_statusWindow(statusWindow), m_bus(std::move(bus))
{
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setBehaviour(shell::PopChk* popChk)
{
    m_popChk = popChk;
}

void TrayIcon::add(shell::StatePicture picture, const QString& tip)
{
    m_added = true;
    if (!m_item && m_bus.isConnected()) {
        m_busMenu = new BusMenu(
            m_menu.menu(), [this] { prepareMenu(); }, this);
        m_item = new StatusNotifierItem(m_bus, this, m_busMenu);
        // Queued: the menu, and whatever command it runs (exit removes this
        // icon), must not run inside the icon's own handler.
        connect(m_item, &StatusNotifierItem::activated, this, &TrayIcon::activated, Qt::QueuedConnection);
        connect(m_item, &StatusNotifierItem::hostedChanged, this, &TrayIcon::showInTray);
    }
    modify(picture, tip);
}

void TrayIcon::modify(shell::StatePicture picture, const QString& tip)
{
    if (!m_added)
        return;
    m_picture = picture;
    m_tip = tip;
    if (m_item)
        m_item->show(picture, tip);
    showInTray();
}

void TrayIcon::showInTray()
{
    if (m_item && m_item->isHosted()) {
        if (m_icon)
            m_icon->hide();
        return;
    }
    if (m_item && m_item->isOnBus() && !m_item->isHostKnown())
        return; // the answer comes as hostedChanged
    if (QGuiApplication::platformName().startsWith(u"wayland"))
        return;
    // Made only when it is wanted: Qt decides at the first tray icon whether
    // it shows on the bus or in an X11 tray, and a panel on the bus has the
    // program's own item.
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        connect(
            m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); }, Qt::QueuedConnection);
    }
    m_icon->setIcon(Pictures::state(m_picture));
    m_icon->setToolTip(literalTip(m_tip));
    // Without a tray nothing shows now; on X11 Qt watches for a tray and
    // docks the icon, with its latest picture and tip, when one appears.
    m_icon->show();
}

void TrayIcon::remove()
{
    if (!m_added)
        return;
    m_added = false;
    delete m_item; // its name leaves the bus, and the panels drop it
    m_item = nullptr;
    delete m_busMenu;
    m_busMenu = nullptr;
    if (m_icon) {
        m_icon->hide();
        m_icon->deleteLater();
        m_icon = nullptr;
    }
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason, QPoint at)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        openMenu(at);
}

void TrayIcon::prepareMenu()
{
    if (m_popChk)
        m_menu.applyState(m_popChk->trayMenuState());
}

void TrayIcon::openMenu(QPoint at)
{
    // A press while the menu is open, or on its way, opens no second one.
    // (A command chosen in it may run a dialog; the menu is closed by then
    // and a press opens it again.)
    QMenu& menu = m_menu.menu();
    if (m_menuOpening || menu.isVisible())
        return;
    m_menuOpening = true;
    const auto closing = connect(&menu, &QMenu::aboutToHide, this, [this] { m_menuOpening = false; });
    // Bring the program forward first so that the menu closes when the user
    // clicks elsewhere.
    m_statusWindow.activateWindow();
    m_statusWindow.raise();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    // Set after the yields, which may have run the end or the start of a
    // check, so the entries follow the timer as it is when the menu shows.
    prepareMenu();
    // By the icon: where the panel said the press was; an X11 tray says
    // nothing, and the pointer is on the icon then.
    menu.exec(at.isNull() ? QCursor::pos() : at);
    disconnect(closing);
    m_menuOpening = false;
    QCoreApplication::processEvents();
}

} // namespace vindel::windows
