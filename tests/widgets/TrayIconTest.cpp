#include "windows/TrayIcon.h"

#include "ModalCatcher.h"
#include "WidgetFakes.h"
#include "windows/Pictures.h"
#include "windows/StatusWindow.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using shell::StatePicture;

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        commands.journal = &journal;
        app.journal = &journal;
        tray.setCommands(&commands);
    }

    QSystemTrayIcon* icon() const { return tray.findChild<QSystemTrayIcon*>(); }

    // Presses the icon and waits for the menu it opens; returns whether it opened.
    bool pressAndCatchMenu(QSystemTrayIcon::ActivationReason reason)
    {
        ModalCatcher catcher(ModalCatcher::Kind::Popup, [this](QWidget* popup) {
            EXPECT_EQ(popup, &window.menu().menu());
            journal << "menu";
            checkEnabled = window.menu().checkAction()->isEnabled();
            settingsEnabled = window.menu().settingsAction()->isEnabled();
        });
        emit icon()->activated(reason);
        return QTest::qWaitFor([&] { return catcher.caught() && journal.endsWith("events"); });
    }

    QStringList journal;
    FakeCommands commands;
    FakeAppControl app;
    windows::StatusWindow window;
    windows::TrayIcon tray{window.menu(), window, app};
    bool checkEnabled = true;
    bool settingsEnabled = true;
};

TEST_F(TrayIconTest, AddShowsPictureAndTipModifyReplacesThemRemoveTakesItAway)
{
    tray.modify(StatePicture::Error, "Vindel - Error!"); // before add: nothing
    EXPECT_EQ(icon(), nullptr);

    tray.add(StatePicture::Normal, "Vindel");
    ASSERT_NE(icon(), nullptr);
    EXPECT_TRUE(icon()->isVisible());
    EXPECT_EQ(icon()->toolTip(), "Vindel");
    EXPECT_EQ(iconImage(icon()->icon()), iconImage(windows::Pictures::state(StatePicture::Normal)));

    tray.modify(StatePicture::NewMail, "Vindel - You have 12 Mail(s)");
    EXPECT_EQ(icon()->toolTip(), "Vindel - You have 12 Mail(s)");
    EXPECT_EQ(iconImage(icon()->icon()), iconImage(windows::Pictures::state(StatePicture::NewMail)));
    EXPECT_NE(iconImage(icon()->icon()), iconImage(windows::Pictures::state(StatePicture::Normal)));

    tray.modify(StatePicture::Error, "Vindel - Error!");
    EXPECT_EQ(iconImage(icon()->icon()), iconImage(windows::Pictures::state(StatePicture::Error)));

    QPointer<QSystemTrayIcon> removed = icon();
    tray.remove();
    EXPECT_FALSE(removed && removed->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return removed.isNull(); }));
    tray.modify(StatePicture::Normal, "Vindel"); // after remove: nothing
    EXPECT_EQ(icon(), nullptr);
}

// The tray shows a tip that looks like markup as rich text; a count from the
// server must read exactly as it came.
TEST_F(TrayIconTest, TipReadsLiterallyAndPicturesAreReadOnce)
{
    tray.add(StatePicture::Normal, "Vindel");
    for (const QString tip :
         {"Vindel - You have <b>x</b> Mail(s)", "Vindel - You have <img\tsrc=/nonexistent/picture> Mail(s)",
          "Vindel - You have a&amp;b Mail(s)"}) {
        tray.modify(StatePicture::NewMail, tip);
        const QString given = icon()->toolTip();
        ASSERT_TRUE(Qt::mightBeRichText(given)) << given.toStdString();
        QTextDocument shown;
        shown.setHtml(given);
        EXPECT_EQ(shown.toPlainText(), tip);
    }
    tray.modify(StatePicture::NewMail, "Vindel - You have 12 Mail(s)");
    EXPECT_EQ(icon()->toolTip(), "Vindel - You have 12 Mail(s)");

    const qint64 picture = icon()->icon().cacheKey();
    tray.modify(StatePicture::Normal, "Vindel - You have No mail");
    tray.modify(StatePicture::NewMail, "Vindel - You have 13 Mail(s)");
    EXPECT_EQ(icon()->icon().cacheKey(), picture);
}

TEST_F(TrayIconTest, LeftOrRightPressOpensTheMenuAfterTheTraySteps)
{
    tray.add(StatePicture::Normal, "Vindel");
    commands.trayState = {false, false};
    commands.windowState = {true, true};

    ASSERT_TRUE(pressAndCatchMenu(QSystemTrayIcon::Trigger));
    const QStringList steps{"events", "trayMenuState", "events", "menu", "events"};
    EXPECT_EQ(journal, steps);
    EXPECT_FALSE(checkEnabled);
    EXPECT_FALSE(settingsEnabled);

    journal.clear();
    commands.trayState = {true, true};
    ASSERT_TRUE(pressAndCatchMenu(QSystemTrayIcon::Context));
    EXPECT_EQ(journal, steps);
    EXPECT_TRUE(checkEnabled);
    EXPECT_TRUE(settingsEnabled);
    EXPECT_TRUE(commands.calls.isEmpty());
}

TEST_F(TrayIconTest, DoubleAndMiddleClicksDoNothing)
{
    tray.add(StatePicture::Normal, "Vindel");
    emit icon()->activated(QSystemTrayIcon::DoubleClick);
    emit icon()->activated(QSystemTrayIcon::MiddleClick);
    emit icon()->activated(QSystemTrayIcon::Unknown);
    // Activations are handled in order: once the press after them has opened
    // the menu, the three before it have been handled too.
    ASSERT_TRUE(pressAndCatchMenu(QSystemTrayIcon::Trigger));
    EXPECT_EQ(journal.count("trayMenuState"), 1);
    EXPECT_EQ(journal.count("menu"), 1);
}

} // namespace
} // namespace vindel::test
