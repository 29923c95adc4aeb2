#include "windows/TrayIcon.h"

#include "../unit/Fakes.h"
#include "ModalCatcher.h"
#include "support/SniWatcher.h"
#include "windows/BusMenu.h"
#include "windows/Pictures.h"
#include "windows/StatusNotifierItem.h"
#include "windows/StatusWindow.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QMenu>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace vindel::test {
namespace {

using shell::StatePicture;

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

class TrayIconTest : public ::testing::Test {
protected:
    // The behaviour runs on the journal, pacing checks; the About entry, the
    // desktop's own, only notes that it was chosen.
    void SetUp() override
    {
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        h.journal.clear();
        tray.setBehaviour(&h.popChk);
        window.setBehaviour(&h.popChk);
        QObject::connect(window.menu().aboutAction(), &QAction::triggered, [this] { h.journal << "about"; });
    }
    // A check starts: the check and settings entries go grey until it ends.
    void checkRuns()
    {
        h.popChk.checkNow();
        ASSERT_FALSE(h.checkTimer.isEnabled());
    }
    void checkEnds() { h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n"); }

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
        // Bytes already waiting on a pipe are read in the first yield after
        // the press, as a running check's socket events would be.
        int pipe[2] = {-1, -1};
        std::unique_ptr<QSocketNotifier> waiting;
        if (whileYielding && ::pipe(pipe) == 0) {
            waiting = std::make_unique<QSocketNotifier>(pipe[0], QSocketNotifier::Read);
            QObject::connect(waiting.get(), &QSocketNotifier::activated, [&] {
                waiting->setEnabled(false);
                whileYielding();
            });
            EXPECT_EQ(::write(pipe[1], "x", 1), 1);
        }
        const bool opened = QTest::qWaitFor([&] { return catcher.caught() && !menuOpen(); });
        waiting.reset();
        for (const int end : pipe)
            if (end >= 0)
                ::close(end);
        return opened;
    }
    bool menuOpen() { return window.menu().menu().isVisible(); }

    QStringList journal; // the menus that opened
    std::function<void()> whileYielding;
    Harness h;
    windows::StatusWindow window;
    windows::TrayIcon tray{window.menu(), window};
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

TEST_F(TrayIconTest, LeftOrRightPressOpensTheMenuWithTheTrayRulesAfterTheYieldsOtherClicksNothing)
{
    tray.add(StatePicture::Normal, "Vindel");
    checkRuns();
    ASSERT_TRUE(pressAndCatchMenu(QSystemTrayIcon::Trigger));
    EXPECT_FALSE(checkEnabled);
    EXPECT_FALSE(settingsEnabled);

    checkEnds();
    ASSERT_TRUE(pressAndCatchMenu(QSystemTrayIcon::Context));
    EXPECT_TRUE(checkEnabled);
    EXPECT_TRUE(settingsEnabled);

    // The check ends while the press lets pending events run: the menu
    // shows the entries as they are then.
    h.journal.clear();
    checkRuns();
    whileYielding = [this] { checkEnds(); };
    // Double and middle clicks open nothing; activations are handled in
    // order, so once the press after them has opened the menu, they are done.
    for (const auto reason :
         {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit icon()->activated(reason);
    ASSERT_TRUE(pressAndCatchMenu(QSystemTrayIcon::Trigger));
    EXPECT_TRUE(checkEnabled);
    EXPECT_TRUE(settingsEnabled);
    EXPECT_EQ(journal.size(), 3);
    EXPECT_TRUE(h.journal.filter("start").isEmpty()); // no command ran
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
    windows::TrayIcon busTray{window.menu(), window, bus.connect("tray")};
    busTray.setBehaviour(&h.popChk);
    SniWatcher watcher(bus.connect("watcher"));
    busTray.add(StatePicture::Normal, "Vindel");
    // The X11 icon comes once the bus has said that no panel has the item.
    ASSERT_TRUE(QTest::qWaitFor([&] { return busTray.findChild<QSystemTrayIcon*>(); }, 5000));
    auto* x11 = busTray.findChild<QSystemTrayIcon*>();
    EXPECT_TRUE(x11->isVisible());

    // A watcher with no panel behind it shows nothing: the X11 icon stays
    // until a panel comes.
    watcher.host = false;
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.registrations.size() == 1; }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return !x11->isVisible(); }, 200)); // it must not go: a bounded look
    watcher.announceHost();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !x11->isVisible(); }, 5000));

    // A themed name only with the picture it names, and only where the theme
    // has it; attention while mail waits.
    const QString normalName = QIcon::hasThemeIcon("vindel") ? "vindel" : QString();
    struct Case {
        StatePicture picture;
        QString tip;
        QString iconName;
        QString status;
    };
    const QList<Case> cases = {
        {StatePicture::Normal, "Vindel", normalName, "Active"},
        {StatePicture::NewMail, "Vindel - You have 12 Mail(s)", QString(), "NeedsAttention"},
        {StatePicture::Normal, "Vindel - You have No mail", normalName, "Active"},
        {StatePicture::NewMail, "Vindel - You have <b>3</b> Mail(s)", QString(), "NeedsAttention"},
        {StatePicture::Error, "Vindel - Error!", QString(), "Active"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tip.toStdString());
        if (c.tip != "Vindel")
            busTray.modify(c.picture, c.tip);
        EXPECT_EQ(watcher.itemProperty("IconName").toString(), c.iconName);
        EXPECT_EQ(watcher.itemProperty("Status").toString(), c.status);
        EXPECT_EQ(busImage(watcher.itemProperty("IconPixmap")),
                  iconImage(windows::Pictures::state(c.picture)).convertToFormat(QImage::Format_ARGB32));
        const auto tip =
            qdbus_cast<windows::SniToolTip>(watcher.itemProperty("ToolTip").value<QDBusArgument>());
        EXPECT_EQ(tip.title, c.tip); // plain text, as the X11 tip reads
        EXPECT_TRUE(tip.text.isEmpty());
        EXPECT_EQ(watcher.itemProperty("IconAccessibleDesc").toString(), c.tip);
    }
    EXPECT_EQ(
        busImage(watcher.itemProperty("AttentionIconPixmap")),
        iconImage(windows::Pictures::state(StatePicture::NewMail)).convertToFormat(QImage::Format_ARGB32));
    EXPECT_FALSE(x11->isVisible());

    // The panel goes: the X11 icon stands in, with the latest look; it comes back: the item again.
    watcher.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return x11->isVisible(); }, 5000));
    EXPECT_EQ(x11->toolTip().contains("Error!"), true);
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.registrations.size() == 2; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !x11->isVisible(); }, 5000));

    // A left or right press from the panel opens the menu; a middle one does not.
    const QString item = watcher.registrations.last();
    const auto press = [&](const char* method) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", QString::fromLatin1(method));
        call << 10 << 10;
        bus.connect("watcher").call(call, QDBus::BlockWithGui, 5000);
    };
    // One catcher for each menu that may open, a third for one too many.
    const auto caught = [this](QWidget*) { journal << "menu"; };
    ModalCatcher first(ModalCatcher::Kind::Popup, caught), second(ModalCatcher::Kind::Popup, caught),
        third(ModalCatcher::Kind::Popup, caught);
    press("SecondaryActivate");
    press("Activate");
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal.count("menu") == 1; }, 5000));
    press("ContextMenu");
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal.count("menu") == 2; }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return journal.count("menu") > 2; }, 300));
}

// Collects the signals of one kind that a bus object sends.
class BusSignals : public QObject {
    Q_OBJECT

public:
    QList<QDBusMessage> seen;

public slots:
    void note(const QDBusMessage& message) { seen << message; }
};

// The menu as a panel reads it over the bus: its entries in order, the
// tray's enabling applied as the panel opens it, the check mark of always in
// front as a toggle; a panel's click runs the entry's command after the call.
TEST_F(TrayIconTest, OnTheBusThePanelGetsTheMenuWithTheTrayEnablingAndItsClicksRunTheCommands)
{
    PrivateBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << bus.error().toStdString();
    windows::TrayIcon busTray{window.menu(), window, bus.connect("menu-tray")};
    busTray.setBehaviour(&h.popChk);
    SniWatcher watcher(bus.connect("menu-watcher"));
    ASSERT_TRUE(watcher.start());
    busTray.add(StatePicture::Normal, "Vindel");
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.registrations.size() == 1; }, 5000));
    EXPECT_TRUE(watcher.itemProperty("ItemIsMenu").toBool());
    const QString menuPath = watcher.itemProperty("Menu").value<QDBusObjectPath>().path();
    ASSERT_EQ(menuPath, "/MenuBar");

    QDBusConnection panel = bus.connect("menu-watcher");
    const QString item = watcher.registrations[0];
    const auto call = [&](const char* method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(item, menuPath, "com.canonical.dbusmenu",
                                                              QString::fromLatin1(method));
        message.setArguments(arguments);
        return panel.call(message, QDBus::BlockWithGui, 5000);
    };
    const auto click = [&](int id) {
        return call("Event", {id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u}).type();
    };
    const auto entries = [&](const QDBusMessage& reply) {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().size() == 2
                   ? qdbus_cast<windows::BusMenuLayout>(reply.arguments()[1].value<QDBusArgument>()).children
                   : QList<windows::BusMenuLayout>();
    };
    BusSignals updates;
    ASSERT_TRUE(panel.connect(item, menuPath, "com.canonical.dbusmenu", "ItemsPropertiesUpdated", &updates,
                              SLOT(note(QDBusMessage))));

    const QStringList labels{"ﾒｰﾙﾁｪｯｸ！", "ﾒｰﾗｰの起動", "設定",        "", "常に手前に表示",
                             "非表示",    "",           "ﾊﾞｰｼﾞｮﾝ情報", "", "終了"};
    struct Row {
        const char* asks; // how the panel opens the menu
        shell::MenuState tray;
        bool inFront;
    };
    for (const Row& row : {Row{"GetLayout", {false, false}, false}, Row{"AboutToShow", {true, true}, true},
                           Row{"AboutToShow", {false, false}, true}, Row{"GetLayout", {true, true}, false}}) {
        SCOPED_TRACE(std::string(row.asks) + (row.tray.checkEnabled ? " enabled" : " disabled"));
        if (row.tray.checkEnabled)
            checkEnds();
        else
            checkRuns();
        window.setTopMost(row.inFront);
        if (QByteArray(row.asks) == "AboutToShow") {
            const QDBusMessage answer = call("AboutToShow", {0});
            ASSERT_EQ(answer.arguments().size(), 1);
            EXPECT_TRUE(answer.arguments()[0].toBool()); // the enabling changed
        }
        const QList<windows::BusMenuLayout> shown = entries(call("GetLayout", {0, -1, QStringList()}));
        ASSERT_EQ(shown.size(), labels.size());
        for (int i = 0; i < shown.size(); ++i) {
            const QVariantMap& p = shown[i].properties;
            EXPECT_EQ(shown[i].id, i + 1);
            EXPECT_EQ(p.value("label").toString(), labels[i]) << i;
            EXPECT_EQ(p.value("type").toString(), labels[i].isEmpty() ? "separator" : "standard");
            if (labels[i].isEmpty())
                continue;
            const bool followsTimer = i == 0 || i == 2;
            EXPECT_EQ(p.value("enabled").toBool(), !followsTimer || row.tray.checkEnabled) << i;
            EXPECT_EQ(p.value("toggle-type").toString(), i == 4 ? "checkmark" : "") << i;
        }
        EXPECT_EQ(shown[4].properties.value("toggle-state").toInt(), row.inFront ? 1 : 0);
    }
    // A check mark that changes is announced.
    const auto announced = [&](int toggleState) {
        for (const QDBusMessage& message : std::as_const(updates.seen))
            for (const auto& entry :
                 qdbus_cast<windows::BusMenuPropertiesList>(message.arguments()[0].value<QDBusArgument>()))
                if (entry.id == 5 && entry.properties.value("toggle-state") == toggleState)
                    return true;
        return false;
    };
    updates.seen.clear();
    window.setTopMost(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return announced(1); }, 5000));

    // Clicks: the enabled entries run their commands, once the call is answered; a disabled one does nothing.
    checkRuns();
    call("AboutToShow", {0});
    h.journal.clear();
    const QRegularExpression commandActs("^(connect|dialog|topmost|start|about|quit)");
    for (const int id : {1, 3, 5, 2, 8})
        EXPECT_EQ(click(id), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.journal.filter(commandActs).size() == 3; }, 5000));
    EXPECT_EQ(h.journal.filter(commandActs), (QStringList{"topmost 1", "start ", "about"}));
    checkEnds();
    call("AboutToShow", {0});
    h.journal.clear();
    const QDBusMessage group =
        call("EventGroup", {QVariant::fromValue(windows::BusMenuEventList{
                               {1, "clicked", QDBusVariant(0), 0}, {99, "clicked", QDBusVariant(0), 0}})});
    ASSERT_EQ(group.arguments().size(), 1);
    EXPECT_EQ(qdbus_cast<QList<int>>(group.arguments()[0].value<QDBusArgument>()), QList<int>{99});
    EXPECT_EQ(click(42), QDBusMessage::ErrorMessage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !h.journal.filter(commandActs).isEmpty(); }, 5000));
    EXPECT_EQ(h.journal.filter(commandActs), QStringList{"connect mail.example.test:110"});
    EXPECT_EQ(click(10), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.journal.contains("quit"); }, 5000));
}

// A panel that pops the program's own menu says where: the menu opens there,
// not at the pointer. A flood of presses from another bus client opens one
// menu and leaves the program answering.
TEST_F(TrayIconTest, OnTheBusAPressOpensTheMenuWhereThePanelSaysAndAFloodOpensOne)
{
    PrivateBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << bus.error().toStdString();
    windows::TrayIcon busTray{window.menu(), window, bus.connect("press-tray")};
    busTray.setBehaviour(&h.popChk);
    SniWatcher watcher(bus.connect("press-watcher"));
    ASSERT_TRUE(watcher.start());
    busTray.add(StatePicture::Normal, "Vindel");
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.registrations.size() == 1; }, 5000));
    const QDBusConnection panel = bus.connect("press-flood");
    const auto press = [&](int x, int y) {
        QDBusMessage message = QDBusMessage::createMethodCall(watcher.registrations[0], "/StatusNotifierItem",
                                                              "org.kde.StatusNotifierItem", "Activate");
        message << x << y;
        return message;
    };

    QPoint shownAt;
    ModalCatcher placed(ModalCatcher::Kind::Popup, [&](QWidget* popup) { shownAt = popup->pos(); });
    panel.send(press(130, 70));
    ASSERT_TRUE(QTest::qWaitFor([&] { return placed.caught(); }, 5000));
    EXPECT_EQ(shownAt, QPoint(130, 70));

    // The catcher keeps the menu open until every press has been answered.
    bool floodAnswered = false;
    ModalCatcher flooded(
        ModalCatcher::Kind::Popup,
        [&](QWidget*) {
            journal << "menu";
            EXPECT_TRUE(QTest::qWaitFor([&] { return floodAnswered; }, 60000));
            QCoreApplication::sendPostedEvents();
        },
        60000);
    for (int i = 0; i < 19999; ++i)
        panel.send(press(10, 10));
    auto* last = new QDBusPendingCallWatcher(panel.asyncCall(press(10, 10)));
    QObject::connect(last, &QDBusPendingCallWatcher::finished, [&] { floodAnswered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return flooded.caught(); }, 60000));
    ModalCatcher another(
        ModalCatcher::Kind::Popup, [&](QWidget*) { journal << "menu"; }, 1000);
    // Still answering: a round trip after the flood, and no second menu.
    EXPECT_EQ(panel
                  .call(QDBusMessage::createMethodCall(watcher.registrations[0], "/StatusNotifierItem",
                                                       "org.freedesktop.DBus.Peer", "Ping"),
                        QDBus::BlockWithGui, 5000)
                  .type(),
              QDBusMessage::ReplyMessage);
    QCoreApplication::processEvents();
    EXPECT_EQ(journal.count("menu"), 1);
    delete last;
}

} // namespace
} // namespace vindel::test

#include "TrayIconTest.moc"
