// Renders each window to a PNG file, to look at them as a user would:
//     widget_shots <folder>
// Runs offscreen unless QT_QPA_PLATFORM says otherwise, in the language the
// program would choose (LANG=en_US.UTF-8 for English; QT_SCALE_FACTOR=2 for
// a high-density screen).

#include "../unit/Fakes.h"
#include "platform/Translation.h"
#include "settings/ConfigStore.h"
#include "shell/Language.h"
#include "windows/AboutWindow.h"
#include "windows/ConfigDialog.h"
#include "windows/NotifyWindow.h"
#include "windows/QtDesktop.h"
#include "windows/StatusWindow.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QMenu>
#include <QTimer>

#include <cstdio>

namespace {

using namespace vindel;

QString folder;

void save(QWidget& widget, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + ".png");
    if (!widget.grab().save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

void statusShots()
{
    windows::StatusWindow window;
    const struct {
        const char* name;
        const char* text;
        shell::TextColour colour;
        shell::StatePicture picture;
    } looks[] = {
        {"status-nomail", "You have No mail", shell::TextColour::Blue, shell::StatePicture::Normal},
        {"status-newmail", "You have 123 Mail(s)", shell::TextColour::Blue, shell::StatePicture::NewMail},
        {"status-error", "Error!", shell::TextColour::Red, shell::StatePicture::Error},
        {"status-offline", "OFFLINE", shell::TextColour::Black, shell::StatePicture::Normal},
        {"status-99999", "You have 99999 Mail(s)", shell::TextColour::Blue, shell::StatePicture::NewMail},
        {"status-long", "You have 12345678901234567890 Mail(s)", shell::TextColour::Blue,
         shell::StatePicture::NewMail},
        {"status-markup", "You have <b>x</b> Mail(s)", shell::TextColour::Blue, shell::StatePicture::NewMail},
    };
    for (const auto& look : looks) {
        window.setStatusText(QString::fromLatin1(look.text));
        window.setStatusColour(look.colour);
        window.showStatePicture(look.picture);
        save(window, QString::fromLatin1(look.name));
    }

    QMenu& menu = window.menu().menu();
    window.menu().applyState({false, true});
    window.setTopMost(true);
    menu.popup(QPoint(0, 0));
    QApplication::processEvents();
    save(menu, "menu");
    menu.close();
}

void noticeShot()
{
    windows::NotifyWindow notice;
    notice.setWindowTitle("Vindel");
    notice.setStatusText("You have 123 Mail(s)");
    save(notice, "notice");
    notice.setStatusText("You have 99999 Mail(s)");
    save(notice, "notice-99999");
    notice.setStatusText("You have 12345678901234567890 Mail(s)");
    save(notice, "notice-long");
    notice.closeStep();
}

void configShot()
{
    test::FakeDesktop desktop;
    settings::ConfigRecord& config = desktop.globals.config;
    config.UserName = "taro.yamada";
    config.PassWord = "secret";
    config.Pop3Server = "pop.example.org";
    config.Interval = 10;
    config.MailerPath = "/usr/bin/mailer";
    config.SoundPath = "/usr/share/sounds/newmail.wav";
    config.MailCountReset = true;
    windows::ConfigDialog dialog(desktop.globals, desktop.config, desktop);
    save(dialog, "config");
}

void aboutShot()
{
    test::FakeDesktop desktop;
    windows::AboutWindow about(desktop.globals, desktop);
    save(about, "about");
}

void messageShot(const QString& name, const QString& text, shell::MessageStyle style)
{
    // The box is modal: grab it from inside its own event loop.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll, &name] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            poll.stop();
            save(*box, name);
            box->close();
        }
    });
    poll.start(20);
    test::FakeDesktop fakes;
    windows::QtDesktop desktop(fakes.globals, fakes.config);
    desktop.showMessage(text, style);
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const platform::Translation translation(shell::chooseLanguage(QLocale::system().uiLanguages()));
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "shots";
    QDir().mkpath(folder);

    statusShots();
    noticeShot();
    configShot();
    aboutShot();
    messageShot("message-error", "Error 10061\r\n\r\nConnection is forcefully rejected",
                shell::MessageStyle::Stop);
    messageShot("message-mailer",
                "No such file or directory\r\n\r\n" +
                    QCoreApplication::translate("Messages", "ﾒｰﾗのﾊﾟｽを確認してください。"),
                shell::MessageStyle::Exclamation);
    messageShot("message-restart", QCoreApplication::translate("Messages", "ﾌﾟﾛｸﾞﾗﾑを再度起動してください。"),
                shell::MessageStyle::Information);
    messageShot("message-interval",
                QCoreApplication::translate("ConfigDialog", "Interval は10分（ﾃﾞﾌｫﾙﾄ値）に設定されました。"),
                shell::MessageStyle::Exclamation);
    return 0;
}
