// The real program beside a real panel (on the display and session bus of
// its own that with-panel makes): the panel, started after the program and
// then once more, draws the program's item, and presses on that picture, made
// with xdotool, open the program's menu by the icon, whose entries then run.
#include "DemoPop3Server.h"
#include "QtPrinters.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <gtest/gtest.h>
#include <utility>

namespace vindel::test {

// Counts the watcher's announcements of new items, from before the program
// starts to the end of the test: a second item, even one that is gone again
// at once, shows here.
class Registrations : public QObject {
    Q_OBJECT
public:
    QStringList items;
public slots:
    void registered(const QString& item) { items << item; }
};

namespace {

QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8"); // titles are matched as UTF-8
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(10000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

QImage screen()
{
    QProcess shooter;
    shooter.start(QStringLiteral("import"), {"-window", "root", "png:-"});
    shooter.waitForFinished(10000);
    return QImage::fromData(shooter.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

// Where the panel at the top of the screen draws the postbox: the box around
// its red pixels (every state picture has them, the panels' looks none).
QRect iconPlace(const QImage& image)
{
    QRect place;
    for (int y = 0; y < qMin(image.height(), 40); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 150 && qGreen(p) < 80 && qBlue(p) < 80)
                place |= QRect(x, y, 1, 1);
        }
    return place;
}

// Whether the icon shows the new-mail postbox: only that one has the yellow
// letters in its slot.
bool showsNewMail(const QImage& image, const QRect& place)
{
    int yellow = 0;
    for (int y = place.top(); y <= place.bottom(); ++y)
        for (int x = place.left(); x <= place.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            yellow += qRed(p) > 200 && qGreen(p) > 170 && qBlue(p) < 110;
        }
    return yellow >= 4;
}

// Every mapped window on the display with its place, menus included.
QMap<QString, QRect> visibleWindows()
{
    QMap<QString, QRect> windows;
    const QString text =
        run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "", "getwindowgeometry", "%@"});
    static const QRegularExpression entry(
        QStringLiteral("Window (\\d+)\\s+Position: (-?\\d+),(-?\\d+).*\\s+Geometry: (\\d+)x(\\d+)"));
    for (auto it = entry.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        windows.insert(m.captured(1), QRect(m.captured(2).toInt(), m.captured(3).toInt(),
                                            m.captured(4).toInt(), m.captured(5).toInt()));
    }
    return windows;
}

// The program's window with the given title (the status window's is the
// program's name, as no notice shows).
QString windowOf(qint64 pid, const QString& titlePattern)
{
    return run(QStringLiteral("xdotool"),
               {"search", "--onlyvisible", "--pid", QString::number(pid), "--name", titlePattern})
        .split(u'\n', Qt::SkipEmptyParts)
        .value(0);
}

bool isAlwaysInFront(const QString& window)
{
    return !window.isEmpty() &&
           run(QStringLiteral("xprop"), {"-id", window, "_NET_WM_STATE"}).contains("_NET_WM_STATE_ABOVE");
}

QString panelLog()
{
    QFile log(qEnvironmentVariable("VINDEL_PANEL_LOG"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(4000)) : QString();
}

// A property of the item, as a panel reads it.
QVariant itemProperty(const QDBusConnection& bus, const QString& item, const QString& name)
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(item, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.kde.StatusNotifierItem") << name;
    const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
    return reply.arguments().isEmpty() ? QVariant() : reply.arguments()[0].value<QDBusVariant>().variant();
}

// The entries of the menu the item offers on the bus, as a panel reads them
// before it shows the menu: labels, disabled ones marked, separators left out.
QStringList menuEntries(const QDBusConnection& bus, const QString& item)
{
    const QString menu = itemProperty(bus, item, "Menu").value<QDBusObjectPath>().path();
    if (menu.isEmpty())
        return {};
    QDBusMessage aboutToShow =
        QDBusMessage::createMethodCall(item, menu, "com.canonical.dbusmenu", "AboutToShow");
    aboutToShow << 0;
    bus.call(aboutToShow, QDBus::Block, 5000);
    QDBusMessage layout = QDBusMessage::createMethodCall(item, menu, "com.canonical.dbusmenu", "GetLayout");
    layout << 0 << -1 << QStringList();
    const QDBusMessage reply = bus.call(layout, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return {};
    // (revision, (id, properties, [child as variant of the same form])).
    QStringList labels;
    const QDBusArgument root = reply.arguments()[1].value<QDBusArgument>();
    root.beginStructure();
    int id = 0;
    QVariantMap properties;
    root >> id >> properties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument entry = child.variant().value<QDBusArgument>();
        entry.beginStructure();
        entry >> id >> properties;
        if (properties.value("type").toString() != "separator")
            labels << properties.value("label").toString().remove(u'_') +
                          (properties.value("enabled", true).toBool() ? "" : " (disabled)");
        entry.endStructure();
    }
    root.endArray();
    root.endStructure();
    return labels;
}

struct Press {
    const char* what;
    int button;                // 1 left, 3 right
    QStringList keys;          // from the open menu to the chosen entry
    std::function<bool()> ran; // whether the entry's command has run
};

// The panel starts after the program, goes and comes again: each time the
// program's one item reaches it and it draws the postbox.
TEST(Panel, TheItemReachesAPanelThatStartsLaterAndAgainAndPressesOnItRunTheMenu)
{
    if (qEnvironmentVariableIsSet("VINDEL_PANEL_MISSING"))
        GTEST_SKIP() << qPrintable(qEnvironmentVariable("VINDEL_PANEL_MISSING"));
    ASSERT_TRUE(qEnvironmentVariableIsSet("VINDEL_PANEL_COMMAND")) << "run under tests/e2e/with-panel";
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());
    // Listened to before any panel has a watcher on the bus.
    Registrations registrations;
    ASSERT_TRUE(bus.connect("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                            "org.kde.StatusNotifierWatcher", "StatusNotifierItemRegistered", &registrations,
                            SLOT(registered(QString))));

    demo::DemoPop3Server server;
    ASSERT_TRUE(server.listen());
    server.setCount(0);
    QTemporaryDir home;
    QDir(home.path()).mkpath("config/Vindel");
    QDir(home.path()).mkpath("run");
    QFile::setPermissions(home.filePath("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    {
        QFile settings(home.filePath("config/Vindel/Vindel.conf"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(QStringLiteral("[Config]\nUserName=demo\nPassWord=demo\nPop3Server=127.0.0.1:%1\n"
                                      "Interval=10\nTopMost=False\n")
                           .arg(server.port())
                           .toUtf8());
    }
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("LC_ALL", "C");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_STATE_HOME", home.filePath("state"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    // No icon theme has the program's icon: its name must not be given.
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_DATA_DIRS", home.filePath("data"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(VINDEL_BINARY), QStringList());
    ASSERT_TRUE(program.waitForStarted(5000));
    const auto stop = qScopeGuard([&] {
        program.kill();
        program.waitForFinished(5000);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 15000));

    QProcess panel;
    const auto stopPanel = [&] {
        panel.terminate();
        if (!panel.waitForFinished(5000))
            panel.kill();
        panel.waitForFinished(3000);
    };
    const auto panelGone = qScopeGuard(stopPanel);
    const QString item = QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(program.processId());
    QImage shot;
    QRect icon;
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start == 1 ? "the panel starts after the program" : "the panel starts again");
        if (start == 2)
            stopPanel();
        panel.setStandardOutputFile(qEnvironmentVariable("VINDEL_PANEL_LOG"), QIODevice::Append);
        panel.setStandardErrorFile(qEnvironmentVariable("VINDEL_PANEL_LOG"), QIODevice::Append);
        panel.start(qEnvironmentVariable("VINDEL_PANEL_COMMAND"), QStringList());
        ASSERT_TRUE(panel.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return registrations.items.size() == start; }, 20000))
            << "the item did not reach the panel\n"
            << panelLog().toStdString();
        // Watchers announce the name an item registered with, some with its path.
        EXPECT_EQ(registrations.items.last().section(u'/', 0, 0), item);
        // Where the postbox stays (a tray's X11 icon may show for a moment).
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QRect before = std::exchange(icon, iconPlace(shot = screen()));
                return !icon.isEmpty() && icon == before;
            },
            15000))
            << "the panel draws no postbox\n"
            << panelLog().toStdString();
    }
    EXPECT_FALSE(showsNewMail(shot, icon)) << "the new-mail picture at no mail";
    EXPECT_EQ(itemProperty(bus, item, "IconName").toString(), "");
    EXPECT_EQ(itemProperty(bus, item, "Status").toString(), "Active");
    EXPECT_TRUE(itemProperty(bus, item, "ItemIsMenu").toBool());
    // Once the first check has ended, every entry is offered.
    const QStringList entries = {"ﾒｰﾙﾁｪｯｸ！", "ﾒｰﾗｰの起動",  "設定", "常に手前に表示",
                                 "非表示",    "ﾊﾞｰｼﾞｮﾝ情報", "終了"};
    QStringList offered;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (offered = menuEntries(bus, item)) == entries; }, 10000))
        << offered.join(u'|').toStdString();

    // A press on the icon: the new window by the icon that it opens, if any.
    const auto openMenu = [&](int button) {
        const QMap<QString, QRect> before = visibleWindows();
        run("xdotool", {"mousemove", QString::number(icon.center().x()), QString::number(icon.center().y()),
                        "click", QString::number(button)});
        QString menu;
        (void)QTest::qWaitFor(
            [&] {
                const QMap<QString, QRect> now = visibleWindows();
                for (auto it = now.begin(); it != now.end(); ++it)
                    if (!before.contains(it.key()) && it->height() > 100 &&
                        it->intersects(icon.adjusted(-60, -60, 60, 60)))
                        menu = it.key();
                return !menu.isEmpty();
            },
            5000);
        return menu;
    };
    const qint64 pid = program.processId();
    // Keys choose an entry counted from the bottom: the first Up marks the
    // last entry, whether no entry or the first (under the pointer) was
    // marked when the menu opened.
    server.setCount(1); // for the check chosen last
    const QList<Press> presses = {
        {"right press, always in front",
         3,
         {"Up", "Up", "Up", "Up", "Return"},
         [&] { return isAlwaysInFront(windowOf(pid, "^Vindel$")); }},
        {"left press, About",
         1,
         {"Up", "Up", "Return"},
         [&] { return !windowOf(pid, "ﾊﾞｰｼﾞｮﾝ情報").isEmpty(); }},
        {"left press, check",
         1,
         {"Up", "Up", "Up", "Up", "Up", "Up", "Up", "Return"},
         [&] { return server.sessions() == 2 && showsNewMail(shot = screen(), iconPlace(shot)); }},
    };
    for (const Press& press : presses) {
        SCOPED_TRACE(press.what);
        const QString menu = openMenu(press.button);
        ASSERT_FALSE(menu.isEmpty()) << "no menu by the icon at " << icon.x() << "," << icon.y();
        run("xdotool", QStringList{"key", "--delay", "100"} + press.keys);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !visibleWindows().contains(menu); }, 5000))
            << "the menu stayed open";
        EXPECT_TRUE(QTest::qWaitFor(press.ran, 10000))
            << "the entry did not run; checks: " << server.sessions();
    }

    if (const QString keep = qEnvironmentVariable("VINDEL_KEEP_SCREENSHOT"); !keep.isEmpty()) {
        // The menu open by the icon, once it is drawn, for the documentation:
        // after the check, with every entry offered.
        (void)QTest::qWaitFor([&] { return menuEntries(bus, item) == entries; }, 10000);
        if (!openMenu(3).isEmpty()) {
            QImage last;
            (void)QTest::qWaitFor([&] { return std::exchange(last, screen()) == last; }, 5000);
            last.copy(qMax(0, icon.right() - 400), 0, 420, 260).save(keep);
        }
        run("xdotool", {"key", "Escape"});
    }
    // One item, registered once with each start of the panel.
    EXPECT_EQ(registrations.items.size(), 2) << registrations.items.join(u' ').toStdString();

    // The item goes with the program, and no picture files stay behind: the
    // icon travels on the bus.
    ASSERT_EQ(program.state(), QProcess::Running);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(bus.interface()->isServiceRegistered(item).value());
    EXPECT_TRUE(QDir(home.filePath("run")).entryList({"*.png"}, QDir::Files).isEmpty());
}

} // namespace
} // namespace vindel::test

#include "PanelTest.moc"
