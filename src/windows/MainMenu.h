#pragma once

#include "shell/MenuEnabling.h"

#include <QString>

#include <memory>

class QAction;
class QMenu;

namespace vindel::shell {
class PopChk;
}

namespace vindel::windows {

// The program's pop-up menu, shared by the status window and the tray icon.
// Its entries run the program's commands, except the show/hide entry, which
// belongs to the status window, and the About entry, the desktop's.
class MainMenu {
public:
    MainMenu();
    ~MainMenu();
    MainMenu(const MainMenu&) = delete;
    MainMenu& operator=(const MainMenu&) = delete;

    QMenu& menu() const;
    void setBehaviour(shell::PopChk* popChk);
    // Enables or disables the check and settings entries.
    void applyState(const shell::MenuState& state);

    QAction* checkAction() const { return m_check; }
    QAction* mailerAction() const { return m_mailer; }
    QAction* settingsAction() const { return m_settings; }
    QAction* formTopAction() const { return m_formTop; }
    QAction* visibleAction() const { return m_visible; }
    QAction* aboutAction() const { return m_about; }
    QAction* exitAction() const { return m_exit; }

    static QString hideCaption();
    static QString showCaption();

private:
    std::unique_ptr<QMenu> m_menu;
    shell::PopChk* m_popChk = nullptr;
    QAction* m_check = nullptr;
    QAction* m_mailer = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_formTop = nullptr;
    QAction* m_visible = nullptr;
    QAction* m_about = nullptr;
    QAction* m_exit = nullptr;
};

} // namespace vindel::windows
