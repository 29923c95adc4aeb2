// The real program, started as a user starts it: its own settings folder,
// runtime folder and X display (a private Xvfb), against the demo mailbox on
// 127.0.0.1. Keys reach its windows through xdotool.
#include "DemoPop3Server.h"
#include "QtPrinters.h"
#include "support/DovecotServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

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
            m_server.setProgram(QStringLiteral("Xvfb"));
            m_server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                                   QStringLiteral("-screen"), QStringLiteral("0"),
                                   QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                   QStringLiteral("tcp"),
                                   // No reset when the last client leaves: a reset refuses
                                   // the next program that connects at that moment.
                                   QStringLiteral("-noreset")});
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
        env.insert(QStringLiteral("DISPLAY"), name);
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral("xdotool"), {QStringLiteral("getmouselocation")});
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

int xdotool(const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display().name());
    // Titles are matched against UTF-8 patterns, whatever this machine's locale.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(5000);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitCode();
}

bool windowExists(const QString& namePattern)
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--name"), namePattern}) == 0;
}

// Presses a key in the window whose title matches until that window is gone:
// on a busy machine a window may be mapped before it takes the focus.
bool dismiss(const QString& namePattern, const QString& key)
{
    for (int i = 0; i < 20 && windowExists(namePattern); ++i) {
        xdotool(
            {QStringLiteral("search"), QStringLiteral("--name"), namePattern, QStringLiteral("windowfocus")});
        xdotool({QStringLiteral("key"), key});
        (void)QTest::qWaitFor([&] { return !windowExists(namePattern); }, 500);
    }
    return !windowExists(namePattern);
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(display().name().isEmpty()) << "Xvfb did not start";
        ASSERT_TRUE(server.listen());
        server.setCount(2);
        QDir(home.path()).mkpath(QStringLiteral("config/Vindel"));
        QDir(home.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(home.filePath(QStringLiteral("run")),
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
    }

    QString settingsPath() const { return home.filePath(QStringLiteral("config/Vindel/Vindel.conf")); }

    void writeSettings(const QList<std::pair<QString, QString>>& values)
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Config]\n");
        for (const auto& [key, value] : values)
            file.write((key + u'=' + value + u'\n').toUtf8());
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
        env.insert(QStringLiteral("DISPLAY"), display().name());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // The POSIX locale, as on a fresh system or after "su -": the program's
        // Japanese window titles must still reach the window system intact.
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        env.remove(QStringLiteral("LANG"));
        env.remove(QStringLiteral("LANGUAGE"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
        for (int i = 0; i < 20 && process.state() != QProcess::NotRunning; ++i) {
            xdotool({QStringLiteral("key"), QStringLiteral("Return")});
            waitForExit(process, 500);
        }
        return process.state() == QProcess::NotRunning;
    }

    QTemporaryDir home;
    demo::DemoPop3Server server;
    QProcess first;
    QProcess second;
};

TEST_F(Program, ChecksAboutOneSecondAfterStartAndASecondCopyEndsAtOnce)
{
    QElapsedTimer clock;
    clock.start();
    launch(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 10000));
    const qint64 firstCheck = clock.elapsed();
    EXPECT_GE(firstCheck, 900);
    EXPECT_LE(firstCheck, 4000);
    EXPECT_EQ(first.state(), QProcess::Running);

    const QByteArray before = [&] {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    launch(second);
    ASSERT_TRUE(waitForExit(second, 3000)) << "the second copy kept running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    QTest::qWait(1500); // a second copy that checked would have done so by now
    EXPECT_EQ(server.sessions(), 1);
    QFile after(settingsPath());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

// The status window of a running copy: its X window id, once it is mapped.
QString visibleWindowOf(const QProcess& process)
{
    QString ids;
    if (xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                 QString::number(process.processId())},
                &ids) != 0)
        return {};
    return ids.split(u'\n', Qt::SkipEmptyParts).value(0);
}

// Without a tray the status window is the only way in: a second start must
// bring it back, even after "非表示" hid it, and still end at once.
TEST_F(Program, ASecondStartBringsTheHiddenWindowBack)
{
    server.setCount(0); // no notice window: the status window is the program's only one
    launch(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 10000));
    QString window;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(window = visibleWindowOf(first)).isEmpty(); }, 5000));

    // The menu's show/hide entry, third from the bottom.
    const auto hideByMenu = [&] {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("60"),
                 QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("3")});
        QTest::qWait(300);
        xdotool({QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Up"),
                 QStringLiteral("Return")});
        return QTest::qWaitFor([&] { return visibleWindowOf(first).isEmpty(); }, 5000);
    };
    ASSERT_TRUE(hideByMenu()) << "the menu did not hide the window";

    const QByteArray before = [&] {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    launch(second);
    ASSERT_TRUE(waitForExit(second, 3000)) << "the second copy kept running";
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWindowOf(first) == window; }, 5000))
        << "the window did not come back";
    QString focus;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return xdotool({QStringLiteral("getwindowfocus")}, &focus) == 0 && focus.trimmed() == window; },
        5000))
        << focus.toStdString();
    QFile after(settingsPath());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_EQ(server.sessions(), 1);
    // The entry hides it again: the window and its menu agree on its state.
    EXPECT_TRUE(hideByMenu());
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(Program, TerminationRunsTheShutDownAndSavesThePosition)
{
    launch(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == 1; }, 10000));
    EXPECT_TRUE(setting("PosLeft").isEmpty());
    first.terminate(); // SIGTERM, as at the end of the desktop session
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

TEST_F(Program, TheSwitchOrAMissingServerOpensTheDialogThenAsksForARestart)
{
    for (const bool bySwitch : {true, false}) {
        if (!bySwitch)
            writeSettings({{"UserName", "demo"}, {"Pop3Server", ""}});
        QProcess program;
        launch(program, bySwitch ? QStringList{QStringLiteral("/c")} : QStringList{});
        ASSERT_TRUE(QTest::qWaitFor([] { return windowExists(QStringLiteral("の設定$")); }, 10000))
            << "no settings dialog";
        ASSERT_TRUE(dismiss(QStringLiteral("の設定$"), QStringLiteral("Escape")));
        EXPECT_EQ(program.state(), QProcess::Running); // waiting on the restart message
        ASSERT_TRUE(answerUntilExit(program));
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(server.sessions(), 0);
    }
}

TEST_F(Program, AStoredIntervalThatIsNoNumberEndsWithTheStartUpError)
{
    writeSettings({{"UserName", "demo"},
                   {"Pop3Server", QStringLiteral("127.0.0.1:%1").arg(server.port())},
                   {"Interval", "often"}});
    launch(first, {QStringLiteral("/C")});
    QTest::qWait(1500);
    EXPECT_EQ(first.state(), QProcess::Running); // the message box waits for the user
    EXPECT_FALSE(windowExists(QStringLiteral("の設定$")));
    ASSERT_TRUE(answerUntilExit(first));
    EXPECT_EQ(first.exitCode(), 1);
    EXPECT_EQ(server.sessions(), 0);
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
        QDir(home.path()).mkpath(QStringLiteral("bin"));
        copy = home.filePath(QStringLiteral("bin/vindel"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VINDEL_BINARY), copy));
    }
    void useDovecot(const QString& password)
    {
        const quint16 port = dovecot.start(3, QStringLiteral("right-password"));
        ASSERT_NE(port, 0) << dovecot.log().toStdString();
        writeSettings({{"UserName", dovecot.user()},
                       {"PassWord", password},
                       {"Pop3Server", QStringLiteral("127.0.0.1:%1").arg(port)},
                       {"Interval", "10"}});
    }
    QString logBesideProgram() const { return home.filePath(QStringLiteral("bin/Vindel.log")); }

    DovecotServer dovecot;
    QString copy;
};

TEST_F(TracedProgram, TheLogShowsTheWholeConversationWithoutThePassword)
{
    useDovecot(QStringLiteral("right-password"));
    launch(first, {QStringLiteral("/t")}, copy);
    ASSERT_TRUE(QTest::qWaitFor([&] { return readAll(logBesideProgram()).contains("QUIT\n"); }, 10000))
        << readAll(logBesideProgram()).toStdString();
    QTest::qWait(500); // the answer to QUIT
    first.terminate();
    ASSERT_TRUE(waitForExit(first, 5000));
    // Each line: its type, the time stamp, the event's words.
    QStringList words;
    for (const QString& line : readAll(logBesideProgram()).split(u'\n', Qt::SkipEmptyParts))
        words << QString(line)
                     .replace(QRegularExpression(QStringLiteral("^(\\w+) +\\S+ \\S+ ")),
                              QStringLiteral("\\1 "))
                     .trimmed();
    ASSERT_GE(words.size(), 10) << words.join('\n').toStdString();
    EXPECT_EQ(words[0], "INFO Vindel Started");
    EXPECT_TRUE(words[1].startsWith("INFO +OK Dovecot")) << words[1].toStdString();
    EXPECT_EQ(words.mid(2, 5), (QStringList{"INFO USER " + dovecot.user(), "INFO +OK", "INFO PASS **********",
                                            "INFO +OK Logged in.", "INFO STAT"}));
    EXPECT_TRUE(words[7].startsWith("INFO +OK 3 ")) << words[7].toStdString();
    EXPECT_EQ(words.mid(8, 2), (QStringList{"INFO QUIT", "INFO +OK Logging out."}));
    EXPECT_FALSE(readAll(logBesideProgram()).contains("right-password"));
}

// A server whose authority the system does not know, trusted by its pinned
// certificate alone: the count shows (the notice comes up) and the log names
// the certificate.
TEST_F(TracedProgram, OverTlsWithAPinnedCertificateTheCountShows)
{
    ASSERT_NE(dovecot.startWithTls(3, QStringLiteral("right-password")), 0) << dovecot.log().toStdString();
    const QByteArray digest = QCryptographicHash::hash(
        QSslCertificate::fromPath(dovecot.certificatePath(QStringLiteral("server"))).value(0).toDer(),
        QCryptographicHash::Sha256);
    writeSettings({{"UserName", dovecot.user()},
                   {"PassWord", "right-password"},
                   {"Pop3Server", QStringLiteral("pop3s://localhost:%1#sha256=%2")
                                      .arg(dovecot.tlsPort())
                                      .arg(QString::fromLatin1(digest.toHex(':')))},
                   {"Interval", "10"}});
    launch(first, {QStringLiteral("/t")}, copy);
    ASSERT_TRUE(QTest::qWaitFor([&] { return readAll(logBesideProgram()).contains("QUIT\n"); }, 10000))
        << readAll(logBesideProgram()).toStdString();
    // The status window and, for a count that is not "0", the notice.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QString ids;
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                     QString::number(first.processId())},
                    &ids);
            return ids.split(u'\n', Qt::SkipEmptyParts).size() == 2;
        },
        5000));
    const QString log = readAll(logBesideProgram());
    EXPECT_TRUE(log.contains(QString::fromLatin1(digest.toHex(':').toUpper()))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral(" +OK 3 "))) << log.toStdString();
    first.terminate();
    ASSERT_TRUE(waitForExit(first, 5000));
}

TEST_F(TracedProgram, AWrongPasswordShowsTheMessageThenTheDialog)
{
    useDovecot(QStringLiteral("wrong-password"));
    launch(first, {QStringLiteral("/T")}, copy);
    // The rejected reply is logged just before its message box comes up.
    ASSERT_TRUE(QTest::qWaitFor([&] { return readAll(logBesideProgram()).contains("WARN  "); }, 10000))
        << readAll(logBesideProgram()).toStdString();
    QTest::qWait(500);
    EXPECT_FALSE(windowExists(QStringLiteral("の設定$"))); // the message comes first
    for (int i = 0; i < 20 && !windowExists(QStringLiteral("の設定$")); ++i) {
        xdotool({QStringLiteral("key"), QStringLiteral("Return")}); // closes the message box
        (void)QTest::qWaitFor([] { return windowExists(QStringLiteral("の設定$")); }, 500);
    }
    ASSERT_TRUE(windowExists(QStringLiteral("の設定$"))) << "no dialog after the message";
    EXPECT_TRUE(dismiss(QStringLiteral("の設定$"), QStringLiteral("Escape")));
    EXPECT_TRUE(readAll(logBesideProgram()).contains(" [AUTH] Authentication failed."));
    EXPECT_FALSE(readAll(logBesideProgram()).contains("wrong-password"));
}

// The switches are compared with the argument text as given: Qt's own
// options, which Qt takes out of the arguments it reports, count too.
TEST_F(TracedProgram, QtOptionsAfterOrBeforeASwitchMakeItNoSwitch)
{
    const QString stateLog = home.filePath(QStringLiteral("state/Vindel/Vindel.log"));
    const QList<QStringList> cases = {
        {QStringLiteral("/T"), QStringLiteral("-reverse")},
        {QStringLiteral("-nograb"), QStringLiteral("/T")},
        {QStringLiteral("/C"), QStringLiteral("-reverse")},
    };
    int sessions = 0;
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        QProcess program;
        launch(program, arguments, copy);
        // A normal start: it checks (no dialog was forced) and logs nothing.
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.sessions() == sessions + 1; }, 10000));
        sessions = server.sessions();
        EXPECT_FALSE(windowExists(QStringLiteral("の設定$")));
        program.terminate();
        ASSERT_TRUE(waitForExit(program, 5000));
        EXPECT_FALSE(QFile::exists(logBesideProgram()));
        EXPECT_FALSE(QFile::exists(stateLog));
    }
}

TEST_F(TracedProgram, AReadOnlyProgramFolderPutsTheLogInTheStateFolder)
{
    // A private mount namespace makes the program's folder read-only for
    // this run alone, even for root. Not every machine can make one: not
    // without the privilege, nor as root in a chroot.
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(QStringLiteral("unshare"), {QStringLiteral("--mount"), QStringLiteral("true")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "cannot make a mount namespace here: "
                     << (probe.error() == QProcess::FailedToStart ? QByteArray("unshare is not available")
                                                                  : probe.readAll().trimmed())
                            .toStdString();
    const QString folder = home.filePath(QStringLiteral("bin"));
    launch(first,
           {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("mount --bind -o ro '%1' '%1' && exec '%2' /T").arg(folder, copy)},
           QStringLiteral("unshare"));
    first.waitForStarted();
    const QString stateLog = home.filePath(QStringLiteral("state/Vindel/Vindel.log"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readAll(stateLog).contains("Vindel Started"); }, 10000));
    EXPECT_FALSE(QFile::exists(logBesideProgram()));
}

} // namespace
} // namespace vindel::test
