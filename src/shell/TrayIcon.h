#pragma once

#include "shell/AppControl.h"
#include "shell/Commands.h"
#include "shell/MainMenu.h"
#include "shell/Tray.h"

#include <QObject>
#include <QSystemTrayIcon>

class QWidget;

namespace vindel::shell {

// The icon in the desktop's notification area. A left or right press on it
// opens the program's menu; other clicks do nothing. Where the desktop has no
// tray the icon simply does not show; Qt docks it once a tray appears.
class TrayIcon : public QObject, public Tray {
    Q_OBJECT

public:
    TrayIcon(MainMenu& menu, QWidget& statusWindow, AppControl& app);
    ~TrayIcon() override;

    void setCommands(Commands* commands);

    void add(StatePicture picture, const QString& tip) override;
    void modify(StatePicture picture, const QString& tip) override;
    void remove() override;

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void openMenu();

    MainMenu& m_menu;
    QWidget& m_statusWindow;
    AppControl& m_app;
    Commands* m_commands = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace vindel::shell
