#include "windows/TrayIcon.h"

#include "ModalCatcher.h"
#include "WidgetFakes.h"
#include "support/SniWatcher.h"
#include "windows/Pictures.h"
#include "windows/StatusNotifierItem.h"
#include "windows/StatusWindow.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
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

// A picture as the bus carries it (ARGB32, network byte order), read back.
QImage busImage(const QVariant& pixmaps)
{
    const auto list = qdbus_cast<windows::SniPixmaps>(pixmaps.value<QDBusArgument>());
    for (const windows::SniPixmap& pixmap : list)
        if (pixmap.width == 16 && pixmap.pixels.size() == 16 * 16 * 4) {
            QImage image(16, 16, QImage::Format_ARGB32);
            const auto* in = reinterpret_cast<const uchar*>(pixmap.pixels.constData());
            for (int i = 0; i < 16 * 16; ++i, in += 4)
                image.setPixel(i % 16, i / 16, qRgba(in[1], in[2], in[3], in[0]));
            return image;
        }
    return {};
}

// On the session bus the icon is an item of its own: a panel that comes up
// after the program, or comes back, gets it; meanwhile the X11 tray icon
// stands in, and only one of the two shows.
TEST_F(TrayIconTest, OnTheBusTheItemReachesAWatcherThatComesLateOrAgain)
{
    PrivateBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << bus.error().toStdString();
    windows::TrayIcon busTray{window.menu(), window, app, bus.connect(QStringLiteral("tray"))};
    busTray.setCommands(&commands);
    SniWatcher watcher(bus.connect(QStringLiteral("watcher")));
    busTray.add(StatePicture::Normal, QStringLiteral("Vindel"));
    auto* x11 = busTray.findChild<QSystemTrayIcon*>();
    ASSERT_NE(x11, nullptr);
    EXPECT_TRUE(x11->isVisible());

    // A watcher with no panel behind it shows nothing: the X11 icon stays
    // until a panel comes.
    watcher.host = false;
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.registrations.size() == 1; }, 5000));
    EXPECT_TRUE(watcher.registrations[0].startsWith(u"org.kde.StatusNotifierItem-"))
        << watcher.registrations[0].toStdString();
    QTest::qWait(200);
    EXPECT_TRUE(x11->isVisible());
    watcher.announceHost();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !x11->isVisible(); }, 5000));

    // The themed name only with the picture it names; attention while mail waits.
    struct Case {
        StatePicture picture;
        QString tip;
        QString iconName;
        QString status;
    };
    const QList<Case> cases = {
        {StatePicture::Normal, QStringLiteral("Vindel"), QStringLiteral("vindel"), QStringLiteral("Active")},
        {StatePicture::NewMail, QStringLiteral("Vindel - You have 12 Mail(s)"), QString(),
         QStringLiteral("NeedsAttention")},
        {StatePicture::Normal, QStringLiteral("Vindel - You have No mail"), QStringLiteral("vindel"),
         QStringLiteral("Active")},
        {StatePicture::NewMail, QStringLiteral("Vindel - You have <b>3</b> Mail(s)"), QString(),
         QStringLiteral("NeedsAttention")},
        {StatePicture::Error, QStringLiteral("Vindel - Error!"), QString(), QStringLiteral("Active")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tip.toStdString());
        if (c.tip != QStringLiteral("Vindel"))
            busTray.modify(c.picture, c.tip);
        EXPECT_EQ(watcher.itemProperty(QStringLiteral("IconName")).toString(), c.iconName);
        EXPECT_EQ(watcher.itemProperty(QStringLiteral("Status")).toString(), c.status);
        EXPECT_EQ(busImage(watcher.itemProperty(QStringLiteral("IconPixmap"))),
                  iconImage(windows::Pictures::state(c.picture)).convertToFormat(QImage::Format_ARGB32));
        const auto tip = qdbus_cast<windows::SniToolTip>(
            watcher.itemProperty(QStringLiteral("ToolTip")).value<QDBusArgument>());
        EXPECT_EQ(tip.title, c.tip); // plain text, as the X11 tip reads
        EXPECT_TRUE(tip.text.isEmpty());
    }
    EXPECT_EQ(
        busImage(watcher.itemProperty(QStringLiteral("AttentionIconPixmap"))),
        iconImage(windows::Pictures::state(StatePicture::NewMail)).convertToFormat(QImage::Format_ARGB32));
    EXPECT_FALSE(x11->isVisible());

    // The panel goes: the X11 icon stands in, with the latest look; it comes back: the item again.
    watcher.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return x11->isVisible(); }, 5000));
    EXPECT_EQ(x11->toolTip().contains(QStringLiteral("Error!")), true);
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.registrations.size() == 2; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !x11->isVisible(); }, 5000));

    // A left or right press from the panel opens the menu; a middle one does not.
    const QString item = watcher.registrations.last();
    const auto press = [&](const char* method) {
        QDBusMessage call = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                                           QStringLiteral("org.kde.StatusNotifierItem"),
                                                           QString::fromLatin1(method));
        call << 10 << 10;
        bus.connect(QStringLiteral("watcher")).call(call, QDBus::BlockWithGui, 5000);
    };
    // One catcher for each menu that may open, a third for one too many.
    const auto caught = [this](QWidget*) { journal << QStringLiteral("menu"); };
    ModalCatcher first(ModalCatcher::Kind::Popup, caught), second(ModalCatcher::Kind::Popup, caught),
        third(ModalCatcher::Kind::Popup, caught);
    press("SecondaryActivate");
    press("Activate");
    press("ContextMenu");
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal.count(QStringLiteral("menu")) == 2; }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(journal.count(QStringLiteral("menu")), 2);
    EXPECT_EQ(journal.count(QStringLiteral("trayMenuState")), 2);

    // Exit: the item's name leaves the bus, which takes it off the panel.
    busTray.remove();
    EXPECT_FALSE(bus.connect(QStringLiteral("watcher")).interface()->isServiceRegistered(item).value());
}

} // namespace
} // namespace vindel::test
