#include "windows/MainMenu.h"

#include "shell/PopChk.h"
#include "windows/Fonts.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace vindel::windows {

MainMenu::MainMenu() : m_menu(std::make_unique<QMenu>())
{
    m_menu->setObjectName(QStringLiteral("mnuFile"));
    m_menu->setFont(Fonts::gothic(9));

    QMenu* menu = m_menu.get();
    const auto entry = [this, menu](const char* name, const QString& caption,
                                    void (shell::PopChk::*command)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (command) {
            QObject::connect(action, &QAction::triggered, menu, [this, command] {
                if (m_popChk)
                    (m_popChk->*command)();
            });
        }
        return action;
    };

    m_check = entry("mnuChk", QCoreApplication::translate("MainMenu", "ﾒｰﾙﾁｪｯｸ！"), &shell::PopChk::checkNow);
    m_mailer = entry("mnuMailer", QCoreApplication::translate("MainMenu", "ﾒｰﾗｰの起動"),
                     &shell::PopChk::launchMailer);
    m_settings =
        entry("mnuConf", QCoreApplication::translate("MainMenu", "設定"), &shell::PopChk::editSettings);
    menu->addSeparator()->setObjectName(QStringLiteral("mnuSpace0"));
    m_formTop = entry("mnuFormTop", QCoreApplication::translate("MainMenu", "常に手前に表示"), nullptr);
    m_visible = entry("mnuVisible", hideCaption(), nullptr);
    menu->addSeparator()->setObjectName(QStringLiteral("mnuSpace1"));
    m_about = entry("mnuAbout", QCoreApplication::translate("MainMenu", "ﾊﾞｰｼﾞｮﾝ情報"), nullptr);
    menu->addSeparator()->setObjectName(QStringLiteral("mnuSpace2"));
    m_exit = entry("mnuExit", QCoreApplication::translate("MainMenu", "終了"), &shell::PopChk::exitProgram);

    // The check mark follows the stored setting: the command sets it, so the
    // toggle Qt applies on its own is undone first.
    m_formTop->setCheckable(true);
    QObject::connect(m_formTop, &QAction::triggered, menu, [this](bool checked) {
        m_formTop->setChecked(!checked);
        if (m_popChk)
            m_popChk->toggleTopMost();
    });
}

MainMenu::~MainMenu() = default;

QMenu& MainMenu::menu() const
{
    return *m_menu;
}

void MainMenu::setBehaviour(shell::PopChk* popChk)
{
    m_popChk = popChk;
}

void MainMenu::applyState(const shell::MenuState& state)
{
    m_check->setEnabled(state.checkEnabled);
    m_settings->setEnabled(state.settingsEnabled);
}

QString MainMenu::hideCaption()
{
    return QCoreApplication::translate("MainMenu", "非表示");
}

QString MainMenu::showCaption()
{
    return QCoreApplication::translate("MainMenu", "表示");
}

} // namespace vindel::windows
