#pragma once

#include "shell/Desktop.h"
#include "windows/MainMenu.h"

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>

class QWidget;

namespace vindel::windows {

class BusMenu;
class StatusNotifierItem;

// The icon in the desktop's notification area. A left or right press on it
// opens the program's menu; other clicks do nothing.
//
// It shows in one of two ways. On the session bus it is a status notifier
// item of its own (StatusNotifierItem) with the menu exported beside it
// (BusMenu), which appears whenever a panel that shows those comes up, also
// after the program has started; the panel draws the menu by the icon. While
// no such panel has taken it, a QSystemTrayIcon stands in for an X11 tray:
// Qt docks it when a tray appears, and the menu pops up at the pointer. Only
// one of the two ever shows: the stand-in is made only once the bus has
// answered that no panel hosts the item (Qt would otherwise put a second
// item of its own on the bus), and never on Wayland, where it could only be
// such a second item.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    // bus: the session bus connection of the status notifier item; without
    // one, only the X11 tray is served.
    TrayIcon(MainMenu& menu, QWidget& statusWindow, QDBusConnection bus = QDBusConnection(QString()));
    ~TrayIcon() override;

    void setBehaviour(shell::PopChk* popChk);

    // Added once at start-up; modify() replaces picture and tip.
    void add(shell::StatePicture picture, const QString& tip);
    void modify(shell::StatePicture picture, const QString& tip);
    void remove();

private:
    void showInTray();
    void activated(QSystemTrayIcon::ActivationReason reason, QPoint at = {});
    void openMenu(QPoint at);
    void prepareMenu();

    MainMenu& m_menu;
    QWidget& m_statusWindow;
    QDBusConnection m_bus;
    shell::PopChk* m_popChk = nullptr;
    bool m_added = false;
    shell::StatePicture m_picture = shell::StatePicture::Normal;
    QString m_tip;
    StatusNotifierItem* m_item = nullptr;
    BusMenu* m_busMenu = nullptr;
    bool m_menuOpening = false;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace vindel::windows
