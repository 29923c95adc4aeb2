#include "windows/QtMessageBoxes.h"

#include "AppLoop.h"
#include "ModalCatcher.h"
#include "WidgetFakes.h"
#include "settings/ConfigStore.h"
#include "windows/AboutHost.h"
#include "windows/AboutWindow.h"
#include "windows/ConfigDialogWindowHost.h"
#include "windows/Pictures.h"
#include "windows/StatusWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpontaneKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(32, 32)).toImage();
}

TEST(QtMessageBoxesTest, ModalBoxTitledVindelWithTheStyleIconAndLineBreaks)
{
    const std::vector<std::pair<shell::MessageStyle, QMessageBox::Icon>> styles{
        {shell::MessageStyle::Stop, QMessageBox::Critical},
        {shell::MessageStyle::Exclamation, QMessageBox::Warning},
        {shell::MessageStyle::Information, QMessageBox::Information},
    };
    windows::QtMessageBoxes boxes;
    for (const auto& [style, icon] : styles) {
        QMessageBox* seen = nullptr;
        QString title;
        QString text;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QImage windowIcon;
        ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* widget) {
            seen = qobject_cast<QMessageBox*>(widget);
            if (!seen)
                return;
            title = seen->windowTitle();
            text = seen->text();
            seenIcon = seen->icon();
            buttons = seen->standardButtons();
            windowIcon = iconImage(seen->windowIcon());
        });
        boxes.show("Error 10061\r\n\r\nConnection is forcefully rejected", style);
        ASSERT_TRUE(catcher.caught());
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(title, "Vindel");
        EXPECT_EQ(text, "Error 10061\n\nConnection is forcefully rejected");
        EXPECT_EQ(seenIcon, icon);
        EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(windowIcon, iconImage(windows::Pictures::application()));
    }
}

// A window of its own that counts the presses it gets: it stands for the
// tray icon's window, which a modal window must leave alone.
class Bystander : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// While the settings dialog or a message box is up, neither the status window
// nor the About window takes input, but the tray icon's window still does.
class ModalToTheStatusWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        status.setCommands(&commands);
        status.move(40, 40);
        status.show();
        bystander.setGeometry(300, 300, 40, 40);
        bystander.show();
        about.showAbout();
        const auto abouts = visibleWindows<windows::AboutWindow>();
        aboutWindow = abouts.size() == 1 ? abouts.front() : nullptr;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&status));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&bystander));
        ASSERT_TRUE(aboutWindow && QTest::qWaitForWindowExposed(aboutWindow));
    }

    // Clicks the status window's mail-program button, the bystander, the
    // About window's homepage link and OK as the window system would, where
    // modality is enforced, and closes the About window by its close box.
    void clickBoth()
    {
        const QLabel* mailer = status.findChild<QLabel*>("imgBtn3");
        QTest::mouseClick(status.windowHandle(), Qt::LeftButton, {}, mailer->geometry().center());
        QTest::mouseClick(bystander.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
        if (!aboutWindow)
            return;
        const QLabel* homepage = aboutWindow->findChild<QLabel*>("lblHomepage");
        QTest::mouseClick(aboutWindow->windowHandle(), Qt::LeftButton, {}, homepage->geometry().center());
        const QPushButton* ok = aboutWindow->findChild<QPushButton*>("cmdOK");
        QTest::mouseClick(aboutWindow->windowHandle(), Qt::LeftButton, {}, ok->geometry().center());
        QCloseEvent closeBox; // as the window manager's close box sends it
        QSpontaneKeyEvent::setSpontaneous(&closeBox);
        qApp->notify(aboutWindow, &closeBox);
    }

    bool aboutOpen() const { return aboutWindow && aboutWindow->isVisible(); }

    FakeCommands commands;
    windows::StatusWindow status;
    Bystander bystander;
    windows::QtMessageBoxes boxes{&status};
    settings::Globals globals;
    Journal launches;
    FakeLauncher launcher{launches};
    windows::AboutHost about{globals, launcher};
    QPointer<windows::AboutWindow> aboutWindow;
};

TEST_F(ModalToTheStatusWindowTest, MessageBox)
{
    QWidget* owner = nullptr;
    bool aboutOpenDuringBox = false;
    ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* box) {
        owner = box->parentWidget();
        clickBoth();
        aboutOpenDuringBox = aboutOpen();
    });
    boxes.show("Error 99999", shell::MessageStyle::Stop);
    ASSERT_TRUE(catcher.caught());
    EXPECT_EQ(owner, &status);
    EXPECT_TRUE(commands.calls.isEmpty());
    EXPECT_EQ(bystander.presses, 1);
    EXPECT_TRUE(launches.isEmpty());
    EXPECT_TRUE(aboutOpenDuringBox);
    clickBoth(); // and all take input again afterwards
    EXPECT_EQ(commands.calls, QStringList{"launchMailer"});
    EXPECT_EQ(bystander.presses, 2);
    EXPECT_EQ(launches.filter("open").size(), 1);
    EXPECT_FALSE(aboutOpen());
}

TEST_F(ModalToTheStatusWindowTest, SettingsDialogAndItsOwnMessages)
{
    FakeDesktop desktop;
    windows::ConfigDialogWindowHost host(desktop.globals, desktop.config, boxes, desktop.sound, &status);

    QImage dialogIcon;
    QString messageOwner;
    int pressesDuringMessage = -1;
    ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* dialog) {
        dialogIcon = iconImage(dialog->windowIcon());
        clickBoth();
        // OK with no user name: the message waits for the dialog's answer,
        // modal to the dialog itself.
        ModalCatcher message(ModalCatcher::Kind::Modal, [&](QWidget* box) {
            messageOwner = box->parentWidget() ? box->parentWidget()->objectName() : QString();
            clickBoth();
            pressesDuringMessage = bystander.presses;
        });
        dialog->findChild<QLineEdit*>("txtYourName")->clear();
        QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
        EXPECT_TRUE(message.caught());
    });
    host.runModal();
    ASSERT_TRUE(catcher.caught());
    EXPECT_EQ(dialogIcon, iconImage(windows::Pictures::application()));
    EXPECT_TRUE(commands.calls.isEmpty());
    EXPECT_EQ(bystander.presses, 2);
    EXPECT_EQ(pressesDuringMessage, 2);
    EXPECT_EQ(messageOwner, "frmConf");
    EXPECT_TRUE(launches.isEmpty());
}

} // namespace
} // namespace vindel::test
