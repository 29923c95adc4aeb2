// Vindel: watches one POP3 mailbox and tells its user when mail is waiting.
// This file only creates the adapters and windows and wires them together;
// the behaviour lives in the core library (see docs/ARCHITECTURE.md).
#include "diag/LogFile.h"
#include "platform/IniSettingsStore.h"
#include "platform/InstanceLock.h"
#include "platform/KeychainSecretStore.h"
#include "platform/QtTcpClient.h"
#include "platform/QtTimer.h"
#include "platform/SyslogSink.h"
#include "platform/SystemClock.h"
#include "platform/TerminationWatcher.h"
#include "platform/Translation.h"
#include "platform/WakeWatchers.h"
#include "settings/ConfigStore.h"
#include "shell/DisplayPlatform.h"
#include "shell/Language.h"
#include "shell/PopChk.h"
#include "shell/StartSwitch.h"
#include "windows/QtDesktop.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <vector>

using namespace vindel;

namespace {

// Where "Vindel.log" goes: beside the program when the user may write there,
// otherwise the per-user state folder.
QString logFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return diag::LogFile::chooseFolder(QCoreApplication::applicationDirPath(),
                                       QDir(state).filePath(QStringLiteral("Vindel")));
}

// A throwaway run (the demo) keeps its password in its own settings file,
// never in the user's keyring, while still using the session bus for the
// tray. It names that file in VINDEL_THROWAWAY_SETTINGS; a name that is not
// exactly the file this run uses (a variable left over in a profile, which
// names a temporary file long gone) changes nothing.
bool throwawaySettings(const platform::IniSettingsStore& store)
{
    const QString named = qEnvironmentVariable("VINDEL_THROWAWAY_SETTINGS");
    if (named.isEmpty())
        return false;
    const QString used = QFileInfo(store.filePath()).canonicalFilePath();
    return !used.isEmpty() && QFileInfo(named).canonicalFilePath() == used;
}

int exitCode(shell::PopChk::StartResult result)
{
    return result == shell::PopChk::StartResult::Failed ? 1 : 0;
}

// The argument text exactly as the user gave it. QApplication takes its own
// options ("-reverse", "-platform xcb", "-nograb"...) out of argv, so the
// arguments are copied before it is made: "/T -reverse" is not "/T".
QStringList userArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// "--help" and "--version" answer on standard output, before any window or
// display is touched; a failed write (a full disk) is exit 1.
int printAnswer(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const bool written = std::fwrite(bytes.constData(), 1, bytes.size(), stdout) == std::size_t(bytes.size());
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList arguments = userArguments(argc, argv);
    if (const auto answer = shell::commandLineAnswer(arguments))
        return printAnswer(*answer);
    // The display platform the session calls for goes to Qt as its own
    // option, not through the environment, so that the mail program started
    // from here still chooses its own.
    QByteArray platformOption("-platform");
    QByteArray platform =
        shell::chooseDisplayPlatform({qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"),
                                      qgetenv("DISPLAY"), qgetenv("QT_QPA_PLATFORM")},
                                     arguments);
    std::vector<char*> qtArgv(argv, argv + argc);
    if (!platform.isEmpty())
        qtArgv.insert(qtArgv.begin() + 1, {platformOption.data(), platform.data()});
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgv.size()) - 1;
    QApplication app(qtArgc, qtArgv.data());
    // Qt encodes all text as UTF-8, also the window titles it hands to X
    // through the C library's character set. Under a locale of another set
    // (the POSIX locale of a fresh system, a container, "su -") the titles
    // arrive garbled, and Japanese ones cannot be found by name: take the
    // characters of C.UTF-8 then, which Debian always has.
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    QApplication::setApplicationName(QStringLiteral("Vindel"));
    QApplication::setApplicationVersion(QStringLiteral(VINDEL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false); // the notice and About windows come and go
    // Menus, dialogs and messages in English unless the user's languages put
    // Japanese (or the POSIX locale) before English; LANGUAGE comes first.
    const platform::Translation translation(shell::chooseLanguage(QLocale::system().uiLanguages()));

    platform::IniSettingsStore store;
    platform::QtTcpClient tcp;
    platform::QtTcpClient listeningTcp;
    platform::QtTimer listeningTimer;
    platform::QtTimer checkTimer;
    platform::QtTimer replyTimer;
    platform::QtTimer passwordRetryTimer;
    platform::KeychainSecretStore keyring;
    platform::SystemClock clock;
    platform::SyslogSink systemLog;

    settings::Globals globals;
    settings::ConfigStore config(globals, store, throwawaySettings(store) ? nullptr : &keyring);
    windows::QtDesktop desktop(
        globals, config,
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("vindel-tray")));
    shell::PopChk popChk(globals, {.network = tcp,
                                   .listening = &listeningTcp,
                                   .timers = {.check = checkTimer,
                                              .reply = replyTimer,
                                              .passwordRetry = &passwordRetryTimer,
                                              .listening = &listeningTimer},
                                   .clock = clock,
                                   .log = systemLog,
                                   .settings = config,
                                   .desktop = desktop});
    desktop.setBehaviour(&popChk);

    // A kill, Ctrl+C or the end of the desktop session runs the same
    // shut-down as the menu's Exit: the window's place is saved, nothing left.
    platform::TerminationWatcher termination([&popChk] { popChk.exitProgram(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&popChk] { popChk.shutDown(); });

    const auto result = popChk.start(arguments, logFolder());
    if (result != shell::PopChk::StartResult::Running)
        return exitCode(result);
    // Only native Wayland is left (no Xwayland, or the user's choice): the
    // compositor places the window and keeps it in front or not.
    if (QGuiApplication::platformName().startsWith(u"wayland"))
        popChk.noteEvent(
            QStringLiteral("Wayland: the window's place and always in front are the compositor's"));
    desktop.instance().listenForLaterStarts([&desktop] { desktop.bringToFront(); });
    // A network that comes back or a machine that wakes from sleep brings a
    // fresh count instead of leaving a stale one up to a minute or more.
    platform::NetworkWatcher network(QDBusConnection::systemBus(), [&popChk] { popChk.networkReturned(); });
    platform::SleepWatcher sleep(QDBusConnection::systemBus(), [&popChk] { popChk.resumed(); });
    return QApplication::exec();
}
