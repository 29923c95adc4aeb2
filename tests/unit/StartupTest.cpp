// The start-up sequence, the switches, the log's housekeeping and shut-down.
#include "Fakes.h"
#include "diag/LogFile.h"
#include "shell/DisplayPlatform.h"
#include "shell/StartSwitch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vindel::test {
namespace {

using Result = shell::PopChk::StartResult;

class Startup : public ::testing::Test {
protected:
    Result start(const QStringList& args = {}) { return h.popChk.start(args, logDir.path()); }
    QString logPath() const { return logDir.filePath("Vindel.log"); }
    void writeLog(qint64 size)
    {
        QFile f(logPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }

    Harness h;
    QTemporaryDir logDir;
};

TEST_F(Startup, ANormalStartShowsInitializeAndChecksASecondLater)
{
    EXPECT_EQ(start(), Result::Running);
    EXPECT_EQ(h.journal,
              (Journal{"label ", "topmost 0", "picture 0", "tray add 0 Vindel", "label Initialize..."}));
    EXPECT_EQ(h.window.icon, shell::StatePicture::Normal);
    EXPECT_EQ(h.checkTimer.interval(), 1000);
    EXPECT_TRUE(h.checkTimer.isEnabled());
    EXPECT_FALSE(QFileInfo::exists(logPath())); // no event log without "/T"
    EXPECT_TRUE(h.store.writes.isEmpty());
    // The first tick checks; nothing was reported yet, so even no mail is news to the tray.
    h.journal.clear();
    ASSERT_TRUE(h.checkTimer.fire());
    EXPECT_EQ(h.journal.filter("connect").size(), 1);
    h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK 0 0\r\n");
    EXPECT_TRUE(h.journal.contains("tray 0 Vindel - You have No mail"));
}

TEST_F(Startup, ASecondCopyEndsSilently)
{
    h.anotherInstance = true;
    EXPECT_EQ(start(), Result::AnotherInstance);
    EXPECT_TRUE(h.journal.isEmpty());
    EXPECT_FALSE(h.checkTimer.isEnabled());
}

TEST_F(Startup, TheSwitchesAreTheWholeArgumentTextInAnyCase)
{
    using shell::StartSwitch;
    EXPECT_EQ(shell::parseStartSwitch({"/c"}), StartSwitch::Configure);
    EXPECT_EQ(shell::parseStartSwitch({"/C"}), StartSwitch::Configure);
    EXPECT_EQ(shell::parseStartSwitch({"/t"}), StartSwitch::Trace);
    EXPECT_EQ(shell::parseStartSwitch({"/C", "/T"}), StartSwitch::None);
    EXPECT_EQ(shell::parseStartSwitch({"/T /C"}), StartSwitch::None);
    EXPECT_EQ(shell::parseStartSwitch({"/T", ""}), StartSwitch::None);
    EXPECT_EQ(shell::parseStartSwitch({}), StartSwitch::None);
}

// "--help" and "--version" answer only as the sole, exact argument; every
// other text starts the program as before.
TEST_F(Startup, HelpAndVersionAnswerOnlyAsTheSoleArgument)
{
    const QRegularExpression help("^Usage: vindel \\[/C \\| /T\\]\n(.*\n)*  /C .*\n  /T .*\n");
    const QRegularExpression version("^Vindel [0-9]+\\.[0-9]+\\.[0-9]+\n$");
    const QRegularExpression start("^$");
    const std::vector<std::pair<QStringList, const QRegularExpression*>> cases = {
        {{"--help"}, &help},        {{"-h"}, &help},        {{"--version"}, &version},
        {{"-v"}, &version},         {{"--HELP"}, &start},   {{"-help"}, &start},
        {{"--help", "/T"}, &start}, {{"/C", "-v"}, &start}, {{"--version "}, &start},
        {{"--help-all"}, &start},   {{"/C"}, &start},       {{}, &start},
    };
    for (const auto& [arguments, expected] : cases) {
        const QString answer = shell::commandLineAnswer(arguments).value_or(QString());
        EXPECT_TRUE(expected->match(answer).hasMatch())
            << arguments.join(u'|').toStdString() << ": " << answer.toStdString();
    }
}

TEST_F(Startup, TheDialogIsForcedByTheSwitchOrMissingSettings)
{
    EXPECT_EQ(start({"/c"}), Result::AskedToRestart);
    EXPECT_EQ(h.journal.mid(2), (Journal{"dialog", "message 64 ﾌﾟﾛｸﾞﾗﾑを再度起動してください。"}));
    EXPECT_FALSE(h.tray.present);
    EXPECT_FALSE(h.checkTimer.isEnabled());

    for (const char* key : {"Pop3Server", "UserName"}) {
        Harness missing;
        missing.store.put(key, "");
        EXPECT_EQ(missing.popChk.start({}, logDir.path()), Result::AskedToRestart) << key;
        EXPECT_TRUE(missing.journal.contains("dialog"));
    }
}

TEST_F(Startup, AStoredNumberThatCannotBeReadStopsEveryStart)
{
    h.store.put("Interval", "often");
    EXPECT_EQ(start({"/C"}), Result::Failed);
    EXPECT_EQ(h.journal.filter("message"), Journal{"message 16 13\r\n\r\nType mismatch"});
    EXPECT_FALSE(h.journal.contains("dialog"));
    EXPECT_FALSE(h.tray.present);
}

TEST_F(Startup, TheLogIsTrimmedAtEveryStartAndOnlyTracedWithTheSwitch)
{
    writeLog(60000);
    EXPECT_EQ(start(), Result::Running);
    EXPECT_EQ(QFileInfo(logPath()).size(), 60000); // exactly the limit stays

    Harness again;
    writeLog(60001);
    EXPECT_EQ(again.popChk.start({}, logDir.path()), Result::Running);
    EXPECT_FALSE(QFileInfo::exists(logPath())); // deleted without "/T" too

    Harness traced;
    EXPECT_EQ(traced.popChk.start({"/T"}, logDir.path()), Result::Running);
    QFile f(logPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "INFO  2026-12-07 09:30:05 Vindel Started\n");
}

// Under "/T" the path must hold a regular file (or nothing): a FIFO would
// block the open for ever, a link could point anywhere.
TEST_F(Startup, ALogPathThatIsNoRegularFileOrCannotBeOpenedIsAStartUpError)
{
    QFile target(logDir.filePath("elsewhere"));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.close();
    const QList<std::pair<const char*, std::function<bool(const QString&)>>> cases = {
        {"fifo", [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }},
        {"folder", [](const QString& p) { return QDir().mkdir(p); }},
        {"link to a file", [&](const QString& p) { return QFile::link(target.fileName(), p); }},
        {"dangling link", [&](const QString& p) { return QFile::link(logDir.filePath("nothing"), p); }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        QFile::remove(logPath());
        QDir(logPath()).removeRecursively();
        ASSERT_TRUE(make(logPath()));
        Harness traced;
        EXPECT_EQ(traced.popChk.start({"/T"}, logDir.path()), Result::Failed);
        EXPECT_EQ(traced.journal.filter("message"), Journal{"message 16 75\r\n\r\nPath/File access error: " +
                                                            logPath() + " (not a regular file)"});
        EXPECT_FALSE(traced.tray.present);
        EXPECT_FALSE(traced.checkTimer.isEnabled());
    }
    EXPECT_EQ(QFileInfo(target.fileName()).size(), 0); // nothing written through the link
    Harness unopenable;                                // nor may the folder be one the file cannot be made in
    EXPECT_EQ(unopenable.popChk.start({"/T"}, "/proc/no-such-folder"), Result::Failed);
    EXPECT_EQ(unopenable.journal.filter("message").size(), 1);
    EXPECT_TRUE(unopenable.journal.filter("message").value(0).startsWith("message 16 75\r\n\r\n"));
    QFile::remove(logPath());
    Harness normal; // and without "/T" the path is not even opened
    EXPECT_TRUE(::mkfifo(QFile::encodeName(logPath()).constData(), 0600) == 0);
    EXPECT_EQ(normal.popChk.start({}, logDir.path()), Result::Running);
}

TEST_F(Startup, TheLogStaysBoundedWhileRunning)
{
    const auto readLog = [this] {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    writeLog(59000); // kept at start: not over the limit
    ASSERT_EQ(start({"/T"}), Result::Running);
    h.checkTimer.fire();
    // A greeting padded far past the 512 octets a reply may have.
    const QByteArray padded = "+OK " + QByteArray(60000, 'p') + "\r\n";
    h.tcp.serverSends(padded);
    QByteArray log = readLog();
    EXPECT_LE(log.size(), diag::LogFile::sizeLimit);
    const QByteArray cut =
        "INFO  2026-12-07 09:30:05 +OK " + QByteArray(508, 'p') + " [cut: 512 of 60006 characters logged]\n";
    ASSERT_TRUE(log.endsWith(cut + "INFO  2026-12-07 09:30:05 USER alice\n")) << log.right(700).toStdString();

    // The conversation goes on until the file would pass the limit; it then
    // starts afresh.
    qint64 largest = 0;
    for (int reply = 0; reply < 10 && readLog().startsWith("xxx"); ++reply) {
        h.tcp.serverSends(padded);
        largest = std::max<qint64>(largest, QFileInfo(logPath()).size());
    }
    log = readLog();
    EXPECT_LE(largest, diag::LogFile::sizeLimit);
    EXPECT_TRUE(
        log.startsWith("INFO  2026-12-07 09:30:05 Vindel Log started afresh: it had reached 60000 bytes\n"))
        << log.left(200).toStdString();
    EXPECT_TRUE(log.endsWith("\n"));
    EXPECT_LT(log.size(), 2000);
}

// Where "Vindel.log" goes: beside the program only in a folder that is the
// user's own, never into the system's tree, even for root.
TEST_F(Startup, TheLogGoesBesideTheProgramOnlyInTheUsersOwnFolder)
{
    QTemporaryDir root;
    const QString state = root.filePath("state/Vindel");
    const QString own = root.filePath("own");
    const QString shared = root.filePath("shared");
    const QString foreign = root.filePath("foreign");
    for (const QString& folder : {own, shared, foreign})
        ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)));
    ASSERT_TRUE(QFile::link("/usr/bin", root.filePath("link-to-usr-bin")));
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) { // a folder another user owns that root may write to
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    }

    QList<std::pair<QString, bool>> cases = {
        {own, true},
        {shared, false}, // writable by everyone
        {"/usr/bin", false},
        {"/usr/local/bin", false},
        {"/opt", false},
        {"/", false},
        {root.filePath("link-to-usr-bin"), false},
        {root.filePath("missing"), false},
    };
    if (asRoot)
        cases.append({foreign, false});
    for (const auto& [folder, beside] : cases) {
        SCOPED_TRACE(folder.toStdString());
        EXPECT_EQ(diag::LogFile::chooseFolder(folder, state), beside ? folder : state);
    }
    EXPECT_TRUE(QFileInfo(state).isDir());
}

TEST_F(Startup, ErrorsGoToTheSystemLogOnlyWithoutTheLogFile)
{
    EXPECT_EQ(start({"/T"}), Result::Running);
    h.checkTimer.fire();
    h.onDialog = [] {};
    h.tcp.fail(10061, "refused");
    EXPECT_TRUE(h.systemLog.lines.isEmpty());
    QFile f(logPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().endsWith("WARN  2026-12-07 09:30:05 [Error] 10061, [Description] refused\n"));
}

TEST_F(Startup, ShutDownSavesThePositionDropsTheConnectionAndTheTray)
{
    ASSERT_EQ(start(), Result::Running);
    h.checkTimer.fire();
    h.tcp.serverSends("+OK ready\r\n"); // a check is half-way
    h.window.left = 1234;
    h.window.top = 567;
    h.tcp.sent.clear();
    h.popChk.exitProgram();
    EXPECT_EQ(h.store.stored("PosLeft"), "1234");
    EXPECT_EQ(h.store.stored("PosTop"), "567");
    EXPECT_EQ(h.store.writes.size(), 10);
    EXPECT_FALSE(h.tcp.isOpen());
    EXPECT_TRUE(h.tcp.sent.isEmpty()); // no QUIT
    EXPECT_FALSE(h.tray.present);
    EXPECT_EQ(h.journal.last(), "quit");
    h.popChk.shutDown(); // the end of the session after Exit: nothing twice
    EXPECT_EQ(h.store.writes.size(), 10);
}

TEST_F(Startup, DraggingTheWindowStoresItsPlaceAtOnce)
{
    ASSERT_EQ(start(), Result::Running);
    h.popChk.windowMoved(3000, 4500);
    EXPECT_EQ(h.store.stored("PosLeft"), "3000");
    EXPECT_EQ(h.store.stored("PosTop"), "4500");
    h.globals.ConfigChanged = true;
    h.checkTimer.fire(); // a reload puts it back where it was dropped
    EXPECT_EQ(h.window.left, 3000);
    EXPECT_EQ(h.window.top, 4500);
}

// The record holds "always in front"; the window's flag and the menu's
// check mark (one act of the desktop) follow it.
TEST_F(Startup, AlwaysInFrontFollowsTheRecordAndTogglesIt)
{
    h.store.put("TopMost", "True");
    ASSERT_EQ(start(), Result::Running);
    EXPECT_TRUE(h.window.topMost);
    h.journal.clear();
    h.popChk.toggleTopMost();
    EXPECT_FALSE(h.globals.config.TopMost);
    h.popChk.toggleTopMost();
    EXPECT_EQ(h.journal, (Journal{"topmost 0", "topmost 1"}));
    EXPECT_TRUE(h.globals.config.TopMost);
    EXPECT_TRUE(h.store.writes.isEmpty()); // stored with the next save
}

// A Wayland session with Xwayland runs the program on X11, unless the user
// chose a platform; elsewhere Qt chooses.
TEST(DisplayPlatform, XwaylandIsTakenOnlyWhenTheUserChoseNothing)
{
    struct Case {
        shell::DisplaySession session;
        QStringList arguments;
        QByteArray platform;
    };
    const QList<Case> cases = {
        {{"wayland-0", "wayland", ":0", ""}, {}, "xcb"},
        {{"wayland-0", "", ":0", ""}, {"/T"}, "xcb"},
        {{"", "wayland", ":1", ""}, {}, "xcb"},     // the session type alone says Wayland
        {{"wayland-0", "wayland", "", ""}, {}, ""}, // no Xwayland: native Wayland
        {{"wayland-0", "wayland", ":0", "wayland"}, {}, ""},
        {{"wayland-0", "wayland", ":0", "xcb"}, {}, ""},
        {{"wayland-0", "wayland", ":0", ""}, {"-platform", "wayland"}, ""},
        {{"wayland-0", "wayland", ":0", ""}, {"/T", "--platform", "wayland"}, ""},
        {{"wayland-0", "wayland", ":0", ""}, {"-platformtheme", "gtk3"}, "xcb"},
        {{"", "x11", ":0", ""}, {}, ""}, // X11: Qt takes xcb itself
        {{"", "tty", "", ""}, {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shell::chooseDisplayPlatform(c.session, c.arguments), c.platform)
            << c.session.waylandDisplay.constData() << " " << c.session.sessionType.constData() << " "
            << c.session.display.constData() << " " << c.session.qpaPlatform.constData() << " "
            << c.arguments.join(u' ').toStdString();
}

} // namespace
} // namespace vindel::test
