// The windows and messages in the user's language: the program's own
// Japanese texts in a Japanese and in the POSIX locale, English in an English
// one; the texts that are English already stay as they are in every locale.
// Built as a program of its own, as it drives the whole behaviour through the
// unit tests' fakes.

#include "shell/Language.h"

#include "../unit/Fakes.h"
#include "platform/Translation.h"
#include "windows/AboutWindow.h"
#include "windows/ConfigDialog.h"
#include "windows/MainMenu.h"
#include "windows/QtDesktop.h"
#include "windows/StatusWindow.h"

#include <QApplication>
#include <QEvent>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <map>

namespace {

using namespace vindel;
using shell::Language;

TEST(Language, TheFirstOfTheUsersLanguagesThatTheProgramHasWins)
{
    // As QLocale::system().uiLanguages() gives them (LANG, then LANGUAGE).
    const struct {
        QStringList uiLanguages;
        Language expected;
    } cases[] = {
        {{"ja-JP", "ja-Jpan-JP", "ja"}, Language::Japanese},        // LANG=ja_JP.UTF-8
        {{"C"}, Language::Japanese},                                // LANG=C, C.UTF-8, POSIX
        {{}, Language::Japanese},                                   // nothing known
        {{"en-US", "en-Latn-US", "en"}, Language::English},         // LANG=en_US.UTF-8
        {{"en-GB", "en-Latn-GB"}, Language::English},               // LANG=en_GB.UTF-8
        {{"de-DE", "de-Latn-DE", "de"}, Language::English},         // no German: English
        {{"zh-TW", "zh-Hant-TW"}, Language::English},               // no Chinese: English
        {{"en", "en-Latn-US", "en-US"}, Language::English},         // LANGUAGE=en over LANG=C
        {{"ja", "ja-Jpan-JP", "ja-JP"}, Language::Japanese},        // LANGUAGE=ja over English
        {{"de", "de-DE", "ja", "ja-JP"}, Language::Japanese},       // LANGUAGE=de:ja
        {{"en-GB", "en-Latn-GB", "ja", "ja-JP"}, Language::English} // LANGUAGE=en_GB:ja
    };
    for (const auto& c : cases)
        EXPECT_EQ(shell::chooseLanguage(c.uiLanguages), c.expected) << c.uiLanguages.join(u' ').toStdString();
}

// The locale of a session that sets LANG only, for as long as it lives; the
// program is told that its locale changed, as a desktop tells it.
class SessionLocale {
public:
    explicit SessionLocale(const char* lang)
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
            if (qEnvironmentVariableIsSet(name))
                m_saved[name] = qgetenv(name);
            qunsetenv(name);
        }
        qputenv("LANG", lang);
        changed();
    }
    ~SessionLocale()
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
            qunsetenv(name);
            if (m_saved.count(name))
                qputenv(name, m_saved.at(name));
        }
        changed();
    }
    SessionLocale(const SessionLocale&) = delete;
    SessionLocale& operator=(const SessionLocale&) = delete;

private:
    static void changed()
    {
        QEvent event(QEvent::LocaleChange);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
    }

    std::map<const char*, QByteArray> m_saved;
};

QString text(const QObject& root, const char* name)
{
    const auto* child = root.findChild<QObject*>(QString::fromLatin1(name));
    return child ? child->property("text").toString() : QStringLiteral("(no %1)").arg(name);
}

QString lastLine(const QStringList& journal)
{
    return journal.isEmpty() ? QString() : journal.last();
}

// A few captions of every window and message, as the program shows them
// with the translation main() chooses.
QStringList captions()
{
    const platform::Translation translation(shell::chooseLanguage(QLocale::system().uiLanguages()));
    QStringList shown;

    windows::StatusWindow status;
    status.show();
    const QMenu& menu = status.menu().menu();
    for (const char* entry :
         {"mnuChk", "mnuMailer", "mnuConf", "mnuFormTop", "mnuVisible", "mnuAbout", "mnuExit"})
        shown << text(menu, entry);
    status.toggleVisible();
    shown << text(menu, "mnuVisible")
          << status.findChild<QWidget*>(QStringLiteral("imgBtn0"))->toolTip(); // English everywhere

    test::Harness h;
    h.globals.config.UserName.clear();
    {
        windows::ConfigDialog dialog(h.globals, h.config, h);
        shown << dialog.windowTitle() << text(dialog, "lblUserName") << text(dialog, "Label1")
              << text(dialog, "chkMailCount") << text(dialog, "cmdOk") << text(dialog, "cmdCansel");
        dialog.findChild<QPushButton*>(QStringLiteral("cmdOk"))->click(); // no user name
        shown << lastLine(h.journal);
    }

    windows::AboutWindow about(h.globals, h);
    shown << about.windowTitle() << text(about, "lblVersion").section(u' ', 0, 0)
          << text(about, "lblDescription").section(u'\r', 0, 0);

    {
        windows::QtDesktop desktop(h.globals, h.config);
        desktop.showNotice(QStringLiteral("You have 3 Mail(s)"));
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == u"frmNotify" && window->isVisible())
                shown << window->windowTitle() << text(*window, "lblStatus") << text(*window, "cmdOK");
        }
    }

    QTemporaryDir logs;
    h.popChk.start({QStringLiteral("/C")}, logs.path());
    shown << lastLine(h.journal);
    return shown;
}

TEST(Language, WindowsAndMessagesSpeakTheLanguageOfTheSession)
{
    // Each caption as the Japanese and as the English session shows it.
    const std::pair<const char*, const char*> rows[] = {
        {"ﾒｰﾙﾁｪｯｸ！", "Check mail!"},
        {"ﾒｰﾗｰの起動", "Launch mailer"},
        {"設定", "Settings"},
        {"常に手前に表示", "Always on top"},
        {"非表示", "Hide"},
        {"ﾊﾞｰｼﾞｮﾝ情報", "About"},
        {"終了", "Exit"},
        {"表示", "Show"},
        {"Check Now!", "Check Now!"},
        {"Vindel の設定", "Vindel Settings"},
        {"ﾕｰｻﾞ名", "User name"},
        {"分", "min"},
        {"Vindelからﾒｰﾗを起動した際に，ﾒｰﾙ数を初期化する．",
         "Reset the mail count when launching the mailer"},
        {"OK", "OK"},
        {"ｷｬﾝｾﾙ", "Cancel"},
        {"message 48 ﾕｰｻﾞ名を入力してください。", "message 48 Please enter a user name."},
        {"Vindel のﾊﾞｰｼﾞｮﾝ情報", "About Vindel"},
        {"ﾊﾞｰｼﾞｮﾝ", "Version"},
        {"このソフトウェアはメールウェアです。", "This software is mailware."},
        {"Vindel", "Vindel"},
        {"You have 3 Mail(s)", "You have 3 Mail(s)"},
        {"OK", "OK"},
        {"message 64 ﾌﾟﾛｸﾞﾗﾑを再度起動してください。", "message 64 Please start the program again."},
    };
    QStringList japanese, english;
    for (const auto& [ja, en] : rows) {
        japanese << QString::fromUtf8(ja);
        english << QString::fromUtf8(en);
    }
    const struct {
        const char* lang;
        const QStringList& expected;
    } sessions[] = {{"ja_JP.UTF-8", japanese}, {"C", japanese}, {"en_US.UTF-8", english}};
    for (const auto& session : sessions) {
        const SessionLocale locale(session.lang);
        EXPECT_EQ(captions(), session.expected) << "LANG=" << session.lang;
    }
}

} // namespace
