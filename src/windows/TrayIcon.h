#pragma once

#include "shell/AppControl.h"
#include "shell/Commands.h"
#include "shell/Tray.h"
#include "windows/MainMenu.h"

#include <QObject>
#include <QSystemTrayIcon>

class QWidget;

namespace vindel::windows {

// The icon in the desktop's notification area. A left or right press on it
// opens the program's menu; other clicks do nothing. Where the desktop has no
// tray the icon simply does not show; Qt docks it once a tray appears.
class TrayIcon : public QObject, public shell::Tray {
    Q_OBJECT

public:
    TrayIcon(MainMenu& menu, QWidget& statusWindow, shell::AppControl& app);
    ~TrayIcon() override;

    void setCommands(shell::Commands* commands);

    void add(shell::StatePicture picture, const QString& tip) override;
    void modify(shell::StatePicture picture, const QString& tip) override;
    void remove() override;

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void openMenu();

    MainMenu& m_menu;
    QWidget& m_statusWindow;
    shell::AppControl& m_app;
    shell::Commands* m_commands = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace vindel::windows
