// The real program, started as a user starts it: its own settings folder,
// runtime folder and X display (a private Xvfb), against the demo mailbox on
// 127.0.0.1. Keys reach its windows through xdotool.
#include "DemoPop3Server.h"
#include "QtPrinters.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vindel::test {
namespace {

// A private X display for the whole test program. The server's number is
// taken only once a client can really connect to it; a server that does not
// answer is replaced (a busy machine, or the remains of an earlier one).
class XDisplay {
public:
    XDisplay()
    {
        for (int attempt = 0; attempt < 3 && m_name.isEmpty(); ++attempt) {
            m_server.setProgram("Xvfb");
            m_server.setArguments({"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                   // No reset when the last client leaves: a reset refuses
                                   // the next program that connects at that moment.
                                   "-noreset"});
            m_server.start();
            if (!m_server.waitForStarted(5000) || !m_server.waitForReadyRead(10000))
                continue;
            const QString name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
            if (QTest::qWaitFor([&] { return answers(name); }, 5000))
                m_name = name;
            else
                stop();
        }
    }
    ~XDisplay() { stop(); }
    QString name() const { return m_name; }

private:
    static bool answers(const QString& name)
    {
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", name);
        probe.setProcessEnvironment(env);
        probe.start("xdotool", {"getmouselocation"});
        return probe.waitForFinished(3000) && probe.exitStatus() == QProcess::NormalExit &&
               probe.exitCode() == 0;
    }
    void stop()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }

    QProcess m_server;
    QString m_name;
};

XDisplay& display()
{
    static XDisplay instance;
    return instance;
}

// Runs an X client on the private display.
int xTool(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display().name());
    // Titles are matched against UTF-8 patterns, whatever this machine's locale.
    env.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(5000);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitCode();
}

int xdotool(const QStringList& arguments, QString* output = nullptr)
{
    return xTool("xdotool", arguments, output);
}

bool windowExists(const QString& namePattern)
{
    return xdotool({"search", "--name", namePattern}) == 0;
}

// Presses a key (in the window whose title matches, when one is named) until
// `done`: on a busy machine a window may be mapped before it takes the focus.
bool pressUntil(const QString& key, const std::function<bool()>& done, const QString& namePattern = {})
{
    for (int i = 0; i < 20 && !done(); ++i) {
        if (!namePattern.isEmpty())
            xdotool({"search", "--name", namePattern, "windowfocus"});
        xdotool({"key", key});
        (void)QTest::qWaitFor(done, 500);
    }
    return done();
}

// Presses a key in the window whose title matches until that window is gone.
bool dismiss(const QString& namePattern, const QString& key)
{
    return pressUntil(
        key, [&] { return !windowExists(namePattern); }, namePattern);
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(display().name().isEmpty()) << "Xvfb did not start";
        ASSERT_TRUE(server.listen());
        server.setCount(2);
        QDir(home.path()).mkpath("config/Vindel");
        QDir(home.path()).mkpath("run");
        QFile::setPermissions(home.filePath("run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        writeSettings({{"UserName", "demo"},
                       {"PassWord", "demo"},
                       {"Pop3Server", QStringLiteral("127.0.0.1:%1").arg(server.port())},
                       {"Interval", "10"}});
    }
    void TearDown() override
    {
        for (QProcess* process : {&first, &second})
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(3000);
            }
        // Ended as a window manager ends, so that it takes its claims off the
        // display's root window: later programs would wait on a manager gone.
        windowManager.terminate();
        if (!windowManager.waitForFinished(5000))
            windowManager.kill();
        windowManager.waitForFinished(3000);
    }

    QString settingsPath() const { return home.filePath("config/Vindel/Vindel.conf"); }

    void writeSettings(const QList<std::pair<QString, QString>>& values)
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Config]\n");
        for (const auto& [key, value] : values)
            file.write((key + u'=' + value + u'\n').toUtf8());
    }

    QByteArray settingsBytes() const
    {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString setting(const QString& key) const
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        return settings.value(QStringLiteral("Config/") + key).toString();
    }

    void launch(QProcess& process, const QStringList& arguments = {},
                const QString& program = QStringLiteral(VINDEL_BINARY))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display().name());
        env.insert("QT_QPA_PLATFORM", "xcb");
        // The POSIX locale, as on a fresh system or after "su -": the program's
        // Japanese window titles must still reach the window system intact.
        env.insert("LC_ALL", "C");
        env.remove("LANG");
        env.remove("LANGUAGE");
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_STATE_HOME", home.filePath("state"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
        // A bus that is not there: never the machine's (a test password must
        // never reach the user's keyring), nor one started for the display.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("run/no-bus"));
        for (const auto& [name, value] : extraEnvironment)
            value.isNull() ? env.remove(name) : env.insert(name, value);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A desktop session's usual limit of open files.
        process.setChildProcessModifier([] {
            rlimit files{};
            getrlimit(RLIMIT_NOFILE, &files);
            files.rlim_cur = std::min<rlim_t>(files.rlim_max, 1024);
            setrlimit(RLIMIT_NOFILE, &files);
        });
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    bool waitForExit(QProcess& process, int ms)
    {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, ms);
    }

    // Presses Return until the program has ended (it answers a message box).
    bool answerUntilExit(QProcess& process)
    {
        return pressUntil("Return", [&] { return process.state() == QProcess::NotRunning; });
    }

    QTemporaryDir home;
    demo::DemoPop3Server server;
    QList<std::pair<QString, QString>> extraEnvironment; // a null value removes the variable
    QProcess first;
    QProcess second;
    QProcess windowManager; // started by a test that wants one
};

// A start checks about a second later; SIGTERM, as at the end of the
// desktop session, runs the shut-down, which saves the position and every
// setting.
TEST_F(Program, ChecksAfterStartAndTerminationSaves)
{
    QElapsedTimer clock;
    clock.start();
    launch(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 10000));
    const qint64 firstCheck = clock.elapsed();
    EXPECT_GE(firstCheck, 900);
    EXPECT_LE(firstCheck, 4000);
    EXPECT_TRUE(setting("PosLeft").isEmpty());

    first.terminate();
    ASSERT_TRUE(waitForExit(first, 5000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    // Centred on a 1024 x 768 screen at 15 twips a pixel.
    EXPECT_NEAR(setting("PosLeft").toInt(), (1024 * 15 - 2190) / 2, 15);
    EXPECT_NEAR(setting("PosTop").toInt(), (768 * 15 - 315) / 2, 15);
    for (const char* key : {"UserName", "PassWord", "Pop3Server", "Interval", "MailerPath", "SoundPath",
                            "TopMost", "MailCountReset"})
        EXPECT_TRUE(QSettings(settingsPath(), QSettings::IniFormat).contains(QStringLiteral("Config/") + key))
            << key;
    EXPECT_EQ(setting("TopMost"), "False");
    EXPECT_EQ(QFile::permissions(settingsPath()) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
}

// The mapped windows of a running copy, the status window first.
QStringList visibleWindowsOf(const QProcess& process)
{
    QString ids;
    if (xdotool({"search", "--onlyvisible", "--pid", QString::number(process.processId())}, &ids) != 0)
        return {};
    return ids.split(u'\n', Qt::SkipEmptyParts);
}

QString visibleWindowOf(const QProcess& process)
{
    return visibleWindowsOf(process).value(0);
}

// Opens the status window's menu and presses keys in it.
void menuKeys(const QProcess& process, const QString& window, const QStringList& keys)
{
    xdotool({"mousemove", "--window", window, "60", "10", "click", "3"});
    (void)QTest::qWaitFor([&] { return visibleWindowsOf(process).size() > 1; }, 3000);
    xdotool(QStringList{"key"} + keys);
}

// Without a tray the status window is the only way in: a second start must
// bring it back, even after "非表示" hid it, and still end at once, without a
// check or a write.
TEST_F(Program, ASecondStartBringsTheHiddenWindowBack)
{
    server.setCount(0); // no notice window: the status window is the program's only one
    launch(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 10000));
    QString window;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(window = visibleWindowOf(first)).isEmpty(); }, 5000));

    // The menu's show/hide entry, third from the bottom.
    const auto hideByMenu = [&] {
        menuKeys(first, window, {"Up", "Up", "Up", "Return"});
        return QTest::qWaitFor([&] { return visibleWindowOf(first).isEmpty(); }, 5000);
    };
    ASSERT_TRUE(hideByMenu()) << "the menu did not hide the window";

    // More idle clients on the single-instance socket than the program may
    // open files: it drops every one, and still answers and checks.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < 1200)
        GTEST_SKIP() << "this test may not open 1,200 files";
    sockaddr_un address{AF_UNIX, {}};
    const QFileInfo socket = QDir(home.filePath("run")).entryInfoList({"*.socket"}, QDir::System).value(0);
    qstrncpy(address.sun_path, QFile::encodeName(socket.filePath()).constData(), sizeof address.sun_path);
    std::vector<int> idle;
    const auto closeIdle = qScopeGuard([&] { std::ranges::for_each(idle, ::close); });
    const timeval connectLimit{5, 0};
    for (QDeadlineTimer deadline(30000); idle.size() < 1100 && !deadline.hasExpired();) {
        idle.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        setsockopt(idle.back(), SOL_SOCKET, SO_SNDTIMEO, &connectLimit, sizeof connectLimit);
        ASSERT_EQ(::connect(idle.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
            << "client " << idle.size() << ": " << strerror(errno);
    }
    ASSERT_EQ(idle.size(), 1100u);
    char byte = 0;
    const auto dropped = [&](int fd) { return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::ranges::all_of(idle, dropped); }, 15000))
        << "idle clients were kept";

    const QByteArray before = settingsBytes();
    launch(second);
    ASSERT_TRUE(waitForExit(second, 3000)) << "the second copy kept running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWindowOf(first) == window; }, 5000))
        << "the window did not come back";
    QString focus;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return xdotool({"getwindowfocus"}, &focus) == 0 && focus.trimmed() == window; }, 5000))
        << focus.toStdString();
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(server.sessions(), 1);
    menuKeys(first, window, {"Down", "Return"}); // the check command
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 2; }, 10000))
        << "no check after the clients";
    // The entry hides it again: the window and its menu agree on its state.
    EXPECT_TRUE(hideByMenu());
    EXPECT_EQ(first.state(), QProcess::Running);
}

// The windows openbox manages, from bottom to top, as decimal ids.
QStringList stackingOrder()
{
    QString answer;
    xTool("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}, &answer);
    QStringList ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-f]+"));
    for (auto match = hex.globalMatch(answer); match.hasNext();)
        ids << QString::number(match.next().captured().toULongLong(nullptr, 16));
    return ids;
}

// With no stored place the notice and the always-in-front status window are
// both centred: the notice stays in front, also when the status window is
// raised and activated afterwards (a click on it, a settings reload).
TEST_F(Program, TheNoticeStaysInFrontOfTheStatusWindow)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display().name());
    windowManager.setProcessEnvironment(env);
    windowManager.start("openbox", {"--sm-disable"});
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            return xTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}) == 0;
        },
        10000));
    writeSettings({{"UserName", "demo"},
                   {"PassWord", "demo"},
                   {"Pop3Server", QStringLiteral("127.0.0.1:%1").arg(server.port())},
                   {"TopMost", "True"}});
    launch(first);
    // Both windows are titled "Vindel" to X: the notice is the one of its size.
    QString status;
    QString notice;
    const auto findBoth = [&] {
        QString ids;
        xdotool({"search", "--onlyvisible", "--pid", QString::number(first.processId())}, &ids);
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            QString shape;
            xdotool({"getwindowgeometry", "--shell", id}, &shape);
            (shape.contains("WIDTH=138\n") ? notice : status) = id;
        }
        return !status.isEmpty() && !notice.isEmpty();
    };
    ASSERT_TRUE(QTest::qWaitFor(findBoth, 10000)) << "no notice";
    const auto noticeInFront = [&] {
        const QStringList order = stackingOrder();
        return order.contains(status) && order.indexOf(notice) > order.indexOf(status);
    };
    EXPECT_TRUE(QTest::qWaitFor(noticeInFront, 5000)) << stackingOrder().join(u' ').toStdString();
    xdotool({"windowraise", status});
    xdotool({"windowactivate", status});
    EXPECT_FALSE(QTest::qWaitFor([&] { return !noticeInFront(); }, 2000))
        << stackingOrder().join(u' ').toStdString();
}

// "/c" and a missing server open the settings dialog, then the restart
// message ends the program; a stored interval that is no number ends it with
// the start-up error alone. None of them checks.
TEST_F(Program, TheSwitchOrABadSettingStopsTheStart)
{
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    const struct {
        QStringList arguments;
        QList<std::pair<QString, QString>> settings;
        int exitCode; // 0: after the dialog and the restart message; 1: after the error
    } cases[] = {
        {{"/c"}, {{"UserName", "demo"}, {"PassWord", "demo"}, {"Pop3Server", address}}, 0},
        {{}, {{"UserName", "demo"}, {"Pop3Server", ""}}, 0},
        {{"/C"}, {{"UserName", "demo"}, {"Pop3Server", address}, {"Interval", "often"}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exitCode);
        writeSettings(c.settings);
        QProcess program;
        launch(program, c.arguments);
        if (c.exitCode == 0) {
            ASSERT_TRUE(QTest::qWaitFor([] { return windowExists("の設定$"); }, 10000))
                << "no settings dialog";
            ASSERT_TRUE(dismiss("の設定$", "Escape"));
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !visibleWindowOf(program).isEmpty(); }, 10000));
            EXPECT_FALSE(windowExists("の設定$"));
        }
        EXPECT_EQ(program.state(), QProcess::Running); // waiting on the message box
        ASSERT_TRUE(answerUntilExit(program));
        EXPECT_EQ(program.exitCode(), c.exitCode);
        EXPECT_EQ(server.sessions(), 0);
    }
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The log is written beside the program, so these tests run a copy of it
// from a folder of their own.
class TracedProgram : public Program {
protected:
    void SetUp() override
    {
        Program::SetUp();
        QDir(home.path()).mkpath("bin");
        copy = home.filePath("bin/vindel");
        ASSERT_TRUE(QFile::copy(QStringLiteral(VINDEL_BINARY), copy));
    }
    QString logBesideProgram() const { return home.filePath("bin/Vindel.log"); }

    QString copy;
};

TEST_F(TracedProgram, AWrongPasswordShowsTheMessageThenTheDialog)
{
    server.setPassword("not-the-stored-one");
    launch(first, {"/T"}, copy);
    // The message box beside the status window, and no dialog yet.
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWindowsOf(first).size() == 2; }, 10000));
    EXPECT_FALSE(windowExists("の設定$"));
    // Return closes the message box; the dialog follows.
    ASSERT_TRUE(pressUntil("Return", [] { return windowExists("の設定$"); }))
        << "no dialog after the message";
    EXPECT_TRUE(dismiss("の設定$", "Escape"));
    // "/T" wrote the server's words into the log beside the program.
    EXPECT_TRUE(readAll(logBesideProgram()).contains(" [AUTH] Authentication failed."));
}

// The switches are compared with the argument text as given: Qt's own
// options, which Qt takes out of the arguments it reports, count too.
TEST_F(TracedProgram, QtOptionsAfterOrBeforeASwitchMakeItNoSwitch)
{
    const QString stateLog = home.filePath("state/Vindel/Vindel.log");
    const QList<QStringList> cases = {
        {"/T", "-reverse"},
        {"-nograb", "/T"},
        {"/C", "-reverse"},
    };
    int sessions = 0;
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        QProcess program;
        launch(program, arguments, copy);
        // A normal start: it checks (no dialog was forced) and logs nothing.
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == sessions + 1; }, 10000));
        sessions = server.sessions();
        EXPECT_FALSE(windowExists("の設定$"));
        program.terminate();
        ASSERT_TRUE(waitForExit(program, 5000));
        EXPECT_FALSE(QFile::exists(logBesideProgram()));
        EXPECT_FALSE(QFile::exists(stateLog));
    }
}

// A private weston on its headless back-end, drawing in memory, without
// Xwayland: a program that connects to it runs on native Wayland.
class Weston {
public:
    explicit Weston(const QString& runtimeFolder) : m_runtime(runtimeFolder)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        // --debug offers the screenshot protocol.
        m_server.start(QStringLiteral("weston"),
                       {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                        QStringLiteral("--debug"), QStringLiteral("--socket=") + socket(),
                        QStringLiteral("--width=1024"), QStringLiteral("--height=768"),
                        QStringLiteral("--idle-time=0")});
        if (!m_server.waitForStarted(5000)) {
            m_error = QStringLiteral("weston cannot start: ") + m_server.errorString();
            return;
        }
        if (!QTest::qWaitFor(
                [&] {
                    return m_server.state() != QProcess::Running ||
                           QFile::exists(runtimeFolder + u'/' + socket());
                },
                10000) ||
            m_server.state() != QProcess::Running)
            m_error = QStringLiteral("weston did not come up: ") + QString::fromLocal8Bit(m_server.readAll());
    }
    ~Weston()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
    static QString socket() { return QStringLiteral("vindel-wayland"); }
    QString error() const { return m_error; }

    // What the screen shows now.
    QImage screenshot() const
    {
        QTemporaryDir folder;
        QProcess shooter;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket());
        shooter.setProcessEnvironment(env);
        shooter.setWorkingDirectory(folder.path());
        shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
        if (!shooter.waitForFinished(10000))
            return {};
        const QStringList shots = QDir(folder.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
        return shots.isEmpty() ? QImage() : QImage(folder.filePath(shots.first()));
    }

private:
    QString m_runtime;
    QProcess m_server;
    QString m_error;
};

// Whether the screen shows the picture pixel for pixel (its opaque pixels).
bool shows(const QImage& screen, const QImage& picture)
{
    const QImage s = screen.convertToFormat(QImage::Format_RGB32);
    const QImage p = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y + p.height() <= s.height(); ++y)
        for (int x = 0; x + p.width() <= s.width(); ++x) {
            bool same = true;
            for (int py = 0; same && py < p.height(); ++py)
                for (int px = 0; same && px < p.width(); ++px) {
                    const QRgb want = p.pixel(px, py);
                    same = qAlpha(want) != 255 || (s.pixel(x + px, y + py) & 0xffffff) == (want & 0xffffff);
                }
            if (same)
                return true;
        }
    return false;
}

// In a Wayland session with Xwayland the program runs on X11; on Wayland
// alone, or when the user chose it, it runs on Wayland itself: it shows its
// window, counts, and says once in its log that the compositor places the
// window.
TEST_F(TracedProgram, InAWaylandSessionItRunsOnXwaylandOrElseOnWayland)
{
    Weston weston(home.filePath(QStringLiteral("run")));
    if (!weston.error().isEmpty())
        GTEST_SKIP() << weston.error().toStdString();
    const QImage newMail(QStringLiteral(VINDEL_PICTURES "/state-newmail-16.png"));
    ASSERT_FALSE(newMail.isNull());
    const QString note =
        QStringLiteral("Wayland: the window's place and always in front are the compositor's");
    struct Case {
        QString display;     // Xwayland's display, or none
        QString qpaPlatform; // the user's choice, or none
        bool onWayland;
    };
    const QList<Case> cases = {
        {display().name(), QString(), false},
        {display().name(), QStringLiteral("wayland"), true},
        {QString(), QString(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.display + u' ' + c.qpaPlatform).toStdString());
        QFile::remove(logBesideProgram());
        extraEnvironment = {{QStringLiteral("WAYLAND_DISPLAY"), Weston::socket()},
                            {QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland")},
                            {QStringLiteral("DISPLAY"), c.display},
                            {QStringLiteral("QT_QPA_PLATFORM"), c.qpaPlatform}};
        QProcess program;
        launch(program, {QStringLiteral("/T")}, copy);
        ASSERT_TRUE(QTest::qWaitFor([&] { return readAll(logBesideProgram()).contains("+OK bye"); }, 15000))
            << readAll(logBesideProgram()).toStdString();
        const QString log = readAll(logBesideProgram());
        EXPECT_TRUE(log.contains(QStringLiteral(" +OK 2 "))) << log.toStdString();
        EXPECT_EQ(log.count(note), c.onWayland ? 1 : 0) << log.toStdString();

        if (c.onWayland) {
            // The new-mail postbox on the state button, drawn by the compositor.
            QImage screen;
            EXPECT_TRUE(QTest::qWaitFor([&] { return shows(screen = weston.screenshot(), newMail); }, 10000))
                << "the window does not show";
            if (const QByteArray keep = qgetenv("VINDEL_KEEP_SCREENSHOT"); !keep.isEmpty())
                screen.save(QString::fromLocal8Bit(keep));
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !visibleWindowOf(program).isEmpty(); }, 5000))
                << "no window on the X display";
            EXPECT_FALSE(shows(weston.screenshot(), newMail));
        }
        EXPECT_EQ(program.state(), QProcess::Running);
        program.terminate();
        ASSERT_TRUE(waitForExit(program, 5000));
        EXPECT_EQ(program.exitCode(), 0);
        // Where the settings put it (centred on either 1024 x 768 screen),
        // wherever the compositor showed it.
        EXPECT_NEAR(setting("PosLeft").toInt(), (1024 * 15 - 2190) / 2, 15);
        EXPECT_NEAR(setting("PosTop").toInt(), (768 * 15 - 315) / 2, 15);
    }
}

TEST_F(TracedProgram, AReadOnlyProgramFolderPutsTheLogInTheStateFolder)
{
    // A private mount namespace makes the program's folder read-only for
    // this run alone, even for root. Not every machine can make one: not
    // without the privilege, nor as root in a chroot.
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start("unshare", {"--mount", "true"});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "cannot make a mount namespace here: "
                     << (probe.error() == QProcess::FailedToStart ? QByteArray("unshare is not available")
                                                                  : probe.readAll().trimmed())
                            .toStdString();
    const QString folder = home.filePath("bin");
    launch(first,
           {"--mount", "sh", "-c",
            QStringLiteral("mount --bind -o ro '%1' '%1' && exec '%2' /T").arg(folder, copy)},
           "unshare");
    first.waitForStarted();
    const QString stateLog = home.filePath("state/Vindel/Vindel.log");
    EXPECT_TRUE(QTest::qWaitFor([&] { return readAll(stateLog).contains("Vindel Started"); }, 10000));
    EXPECT_FALSE(QFile::exists(logBesideProgram()));
}

} // namespace
} // namespace vindel::test
