// The Qt desktop's own windows: the notice, the About window, message boxes
// and the settings dialog, and how they share the screen with the status
// window and the tray.
#include "windows/QtDesktop.h"

#include "../unit/Fakes.h"
#include "AppLoop.h"
#include "BuildInfo.h"
#include "ModalCatcher.h"
#include "windows/AboutWindow.h"
#include "windows/NotifyWindow.h"
#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

namespace vindel::test {
namespace {

using windows::AboutWindow;
using windows::NotifyWindow;

const auto visibleNotices = visibleWindows<NotifyWindow>;
const auto visibleAboutWindows = visibleWindows<AboutWindow>;

NotifyWindow* onlyNotice()
{
    const auto notices = visibleNotices();
    EXPECT_EQ(notices.size(), 1u);
    return notices.size() == 1 ? notices.front() : nullptr;
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(32, 32)).toImage();
}

class NoticeTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Leave no window behind for the next test.
        for (NotifyWindow* notice : visibleNotices())
            notice->closeStep();
        EXPECT_TRUE(QTest::qWaitFor([] { return visibleNotices().empty(); }));
    }
    std::unique_ptr<windows::QtDesktop> make(int noticeLifetimeMs)
    {
        return std::make_unique<windows::QtDesktop>(h.globals, h.config, QDBusConnection(QString()),
                                                    noticeLifetimeMs);
    }

    Harness h;
};

TEST_F(NoticeTest, FirstNoticeShowsACentredTopMostWindowWithTheTextLiterallyAndFitted)
{
    const auto desktop = make(60000);
    desktop->showNotice("You have 3 Mail(s)");
    NotifyWindow* notice = onlyNotice();
    ASSERT_NE(notice, nullptr);

    EXPECT_EQ(notice->statusText(), "You have 3 Mail(s)");
    EXPECT_EQ(notice->windowTitle(), "Vindel");
    EXPECT_TRUE(notice->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(notice->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(notice->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(notice->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(notice->size(), QSize(windows::twipsToPixels(2070), windows::twipsToPixels(1185)));
    EXPECT_EQ(notice->minimumSize(), notice->maximumSize());
    EXPECT_FALSE(notice->windowIcon().isNull());

    auto* label = notice->findChild<QLabel*>("lblStatus");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    const auto* ok = notice->findChild<QPushButton*>("cmdOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());

    // Centred on the whole screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint offset = notice->frameGeometry().center() - screen.center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();

    // Counts are shown as they came, never as markup, and fit the label: a
    // long one is cut in the middle.
    for (const QString& text : QStringList{"You have 99999 Mail(s)", "You have <b>x</b> Mail(s)",
                                           QStringLiteral("You have %1 Mail(s)").arg(QString(40, u'9'))}) {
        desktop->showNotice(text);
        EXPECT_EQ(onlyNotice(), notice);
        EXPECT_EQ(notice->statusText(), text);
        const QString shown = QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->width());
        EXPECT_TRUE(text.size() < 30 ? shown == text
                                     : shown.startsWith("You have 9") && shown.endsWith("9 Mail(s)"))
            << shown.toStdString();
    }
}

TEST_F(NoticeTest, SecondNoticeReusesTheWindowWhichClosesAtTheFirstDeadline)
{
    constexpr int lifetime = 1000;
    const auto desktop = make(lifetime);
    QElapsedTimer clock;
    clock.start();
    desktop->showNotice("You have 3 Mail(s)");
    QPointer<NotifyWindow> first = onlyNotice();
    ASSERT_TRUE(first);
    first->move(10, 10);

    // Half the lifetime passes with events running: only a real gap tells
    // the first deadline kept from a restarted one.
    QTest::qWait(lifetime / 2);
    desktop->showNotice("You have 5 Mail(s)");
    EXPECT_EQ(onlyNotice(), first.data());
    EXPECT_EQ(first->statusText(), "You have 5 Mail(s)");
    EXPECT_EQ(first->pos(), QPoint(10, 10)); // not centred again

    ASSERT_TRUE(QTest::qWaitFor([] { return visibleNotices().empty(); }, 5 * lifetime));
    const qint64 closedAfter = clock.elapsed();
    EXPECT_GE(closedAfter, lifetime - 50);
    EXPECT_LT(closedAfter, lifetime * 3 / 2 - 100) << "the second notice restarted the timer";
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));

    // The next notice builds a fresh window.
    desktop->showNotice("You have 6 Mail(s)");
    NotifyWindow* fresh = onlyNotice();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->statusText(), "You have 6 Mail(s)");
}

TEST_F(NoticeTest, OkEnterAndTheCloseBoxCloseAndReleaseTheWindowEscapeDoesNot)
{
    const auto desktop = make(60000);
    const std::vector<std::function<void(NotifyWindow*)>> ways{
        [](NotifyWindow* notice) {
            QTest::mouseClick(notice->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        },
        [](NotifyWindow* notice) { QTest::keyClick(notice, Qt::Key_Return); },
        [](NotifyWindow* notice) { notice->close(); },
    };
    // The status strip is a tool window: closing the notice must not look
    // like closing the program's last window.
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    runInAppLoop([&] {
        for (std::size_t way = 0; way < ways.size(); ++way) {
            desktop->showNotice(QStringLiteral("You have %1 Mail(s)").arg(way + 1));
            QPointer<NotifyWindow> notice = onlyNotice();
            ASSERT_TRUE(notice);
            QTest::keyClick(notice.data(), Qt::Key_Escape);
            EXPECT_TRUE(notice->isVisible()) << "Escape closed the notice";

            ways[way](notice.data());
            EXPECT_TRUE(visibleNotices().empty()) << "way " << way;
            EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); })) << "way " << way;
        }
    });
    EXPECT_EQ(lastWindowClosed.count(), 0);
}

TEST_F(NoticeTest, NoticeArrivingAsTheWindowExpiresGetsAFreshWindow)
{
    constexpr int lifetime = 100;
    const auto desktop = make(lifetime);
    desktop->showNotice("You have 1 Mail(s)");
    QPointer<NotifyWindow> first = onlyNotice();
    ASSERT_TRUE(first);
    // The deadline passes while no event is handled (a blocking sleep on
    // purpose), so the window closes in the middle of the next notice.
    QTest::qSleep(2 * lifetime);
    desktop->showNotice("You have 2 Mail(s)");
    NotifyWindow* fresh = onlyNotice();
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, first.data());
    EXPECT_EQ(fresh->statusText(), "You have 2 Mail(s)");
    EXPECT_EQ(fresh->windowTitle(), "Vindel");
}

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override { h.globals.config.MailerPath = "/usr/bin/mailer --compose"; }

    AboutWindow* openOne()
    {
        desktop.showAbout();
        const auto windows = visibleAboutWindows();
        EXPECT_EQ(windows.size(), 1u);
        return windows.size() == 1 ? windows.front() : nullptr;
    }

    QString text(const AboutWindow* about, const char* name) const
    {
        const auto* label = about->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }

    void click(AboutWindow* about, const char* name)
    {
        QTest::mouseClick(about->findChild<QLabel*>(QString::fromLatin1(name)), Qt::LeftButton);
    }

    Harness h;
    windows::QtDesktop desktop{h.globals, h.config};
};

TEST_F(AboutTest, ShowsNameVersionDescriptionCopyrightAndLinks)
{
    AboutWindow* about = openOne();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), "Vindel のﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(text(about, "lblTitle"), "Vindel");
    EXPECT_EQ(text(about, "lblVersion"), "ﾊﾞｰｼﾞｮﾝ 1.1.267");
    EXPECT_EQ(text(about, "lblDescription"), QStringLiteral("このソフトウェアはメールウェアです。\r\n"
                                                            "無料でご利用になれますが、使用する\r\n"
                                                            "際には以下の宛先にメールしてください。\r\n"
                                                            "「使ってま～す！」の一言でも結構です。\r\n"
                                                            "バージョンアップの際にご連絡します。"));
    EXPECT_EQ(text(about, "lblDisclaimer"), QString::fromUtf8(build::copyright));
    EXPECT_EQ(text(about, "lblHomepage"), QString::fromUtf8(build::homepage));
    EXPECT_EQ(text(about, "lblMailAddress"), QString::fromUtf8(build::contact));

    const QColor darkBlue(0, 0, 192);
    for (const char* name : {"lblTitle", "lblHomepage", "lblMailAddress"})
        EXPECT_EQ(about->findChild<QLabel*>(name)->palette().color(QPalette::WindowText), darkBlue) << name;
    EXPECT_EQ(about->findChild<QLabel*>("lblHomepage")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(about->findChild<QLabel*>("lblMailAddress")->cursor().shape(), Qt::BitmapCursor);

    EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(about->windowIcon().pixmap(32, 32).toImage(),
              windows::Pictures::application().pixmap(32, 32).toImage());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint offset = about->frameGeometry().center() - screen.center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    about->close();
}

TEST_F(AboutTest, TheMenuEntryOpensItAndOpenedTwiceIsOneWindowNotCentredAgain)
{
    desktop.window().menu().aboutAction()->trigger();
    const auto opened = visibleAboutWindows();
    ASSERT_EQ(opened.size(), 1u);
    QPointer<AboutWindow> about = opened.front();
    about->move(20, 30);
    EXPECT_EQ(openOne(), about.data());
    EXPECT_EQ(about->pos(), QPoint(20, 30));
    about->close();
}

TEST_F(AboutTest, OkEnterEscapeAndTheCloseBoxCloseItAndTheNextOpeningIsFresh)
{
    const std::vector<std::function<void(AboutWindow*)>> ways{
        [](AboutWindow* about) {
            QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        },
        [](AboutWindow* about) { QTest::keyClick(about, Qt::Key_Return); },
        [](AboutWindow* about) { QTest::keyClick(about, Qt::Key_Escape); },
        [](AboutWindow* about) { about->close(); },
    };
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    runInAppLoop([&] {
        for (std::size_t way = 0; way < ways.size(); ++way) {
            QPointer<AboutWindow> about = openOne();
            ASSERT_TRUE(about);
            ways[way](about.data());
            EXPECT_TRUE(visibleAboutWindows().empty()) << "way " << way;
            EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull(); })) << "way " << way;
        }
    });
    EXPECT_EQ(lastWindowClosed.count(), 0); // closing it does not end the program
}

// The links go to the desktop: here the journal, so nothing really starts.
TEST_F(AboutTest, LinksOpenTheHomepageAndStartTheMailProgram)
{
    AboutWindow about(h.globals, h);
    about.show();
    click(&about, "lblHomepage");
    EXPECT_EQ(h.journal, QStringList{"open " + QString::fromUtf8(build::homepage)});

    click(&about, "lblMailAddress");
    EXPECT_EQ(h.journal.filter("start"), QStringList{"start /usr/bin/mailer --compose"});

    // A failing start shows nothing and leaves the window open.
    h.launchFailure = "No such file or directory";
    h.globals.config.MailerPath.clear();
    click(&about, "lblMailAddress");
    EXPECT_EQ(h.journal.filter("start"), QStringList({"start /usr/bin/mailer --compose", "start "}));
    EXPECT_TRUE(h.journal.filter("message").isEmpty());
    EXPECT_TRUE(about.isVisible());
}

TEST(MessageBoxTest, ModalBoxTitledVindelWithTheStyleIconAndLineBreaks)
{
    const std::vector<std::pair<shell::MessageStyle, QMessageBox::Icon>> styles{
        {shell::MessageStyle::Stop, QMessageBox::Critical},
        {shell::MessageStyle::Exclamation, QMessageBox::Warning},
        {shell::MessageStyle::Information, QMessageBox::Information},
    };
    Harness h;
    windows::QtDesktop desktop(h.globals, h.config);
    for (const auto& [style, icon] : styles) {
        ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* widget) {
            const auto* box = qobject_cast<QMessageBox*>(widget);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), "Vindel");
            EXPECT_EQ(box->text(), "Error 10061\n\nConnection is forcefully rejected");
            EXPECT_EQ(box->icon(), icon);
            EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            EXPECT_EQ(iconImage(box->windowIcon()), iconImage(windows::Pictures::application()));
        });
        desktop.showMessage("Error 10061\r\n\r\nConnection is forcefully rejected", style);
        EXPECT_TRUE(catcher.caught());
    }
}

// A window of its own that counts the presses it gets: it stands for the
// tray icon's window, which a modal window must leave alone.
class Bystander : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// While the settings dialog or a message box is up, neither the status window
// nor the About window takes input, but the tray icon's window still does.
class ModalToTheStatusWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.setBehaviour(&h.popChk);
        status.move(40, 40);
        status.show();
        bystander.setGeometry(300, 300, 40, 40);
        bystander.show();
        desktop.showAbout();
        const auto abouts = visibleWindows<windows::AboutWindow>();
        aboutWindow = abouts.size() == 1 ? abouts.front() : nullptr;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&status));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&bystander));
        ASSERT_TRUE(aboutWindow && QTest::qWaitForWindowExposed(aboutWindow));
    }

    // Clicks the status window's mail-program button, the bystander and the
    // About window's OK as the window system would, where modality is
    // enforced, and closes the About window by its close box.
    void clickBoth()
    {
        const QLabel* mailer = status.findChild<QLabel*>("imgBtn3");
        QTest::mouseClick(status.windowHandle(), Qt::LeftButton, {}, mailer->geometry().center());
        QTest::mouseClick(bystander.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
        if (!aboutWindow)
            return;
        const QPushButton* ok = aboutWindow->findChild<QPushButton*>("cmdOK");
        QTest::mouseClick(aboutWindow->windowHandle(), Qt::LeftButton, {}, ok->geometry().center());
        QCloseEvent closeBox; // as the window manager's close box sends it
        QSpontaneKeyEvent::setSpontaneous(&closeBox);
        qApp->notify(aboutWindow, &closeBox);
    }

    bool aboutOpen() const { return aboutWindow && aboutWindow->isVisible(); }

    Harness h; // the behaviour behind the status window, on the journal
    windows::QtDesktop desktop{h.globals, h.config};
    windows::StatusWindow& status = desktop.window();
    Bystander bystander;
    QPointer<windows::AboutWindow> aboutWindow;
};

TEST_F(ModalToTheStatusWindowTest, MessageBox)
{
    QWidget* owner = nullptr;
    bool aboutOpenDuringBox = false;
    ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* box) {
        owner = box->parentWidget();
        clickBoth();
        aboutOpenDuringBox = aboutOpen();
    });
    desktop.showMessage("Error 99999", shell::MessageStyle::Stop);
    ASSERT_TRUE(catcher.caught());
    EXPECT_EQ(owner, &status);
    EXPECT_TRUE(h.journal.isEmpty());
    EXPECT_EQ(bystander.presses, 1);
    EXPECT_TRUE(aboutOpenDuringBox);
    clickBoth(); // and all take input again afterwards
    EXPECT_EQ(h.journal, QStringList{"start "});
    EXPECT_EQ(bystander.presses, 2);
    EXPECT_FALSE(aboutOpen());
}

TEST_F(ModalToTheStatusWindowTest, SettingsDialogAndItsOwnMessages)
{

    QImage dialogIcon;
    QString messageOwner;
    int pressesDuringMessage = -1;
    ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* dialog) {
        dialogIcon = iconImage(dialog->windowIcon());
        clickBoth();
        // OK with no user name: the message waits for the dialog's answer,
        // modal to the dialog itself.
        ModalCatcher message(ModalCatcher::Kind::Modal, [&](QWidget* box) {
            messageOwner = box->parentWidget() ? box->parentWidget()->objectName() : QString();
            clickBoth();
            pressesDuringMessage = bystander.presses;
        });
        dialog->findChild<QLineEdit*>("txtYourName")->clear();
        QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
        EXPECT_TRUE(message.caught());
    });
    desktop.runConfigDialog();
    ASSERT_TRUE(catcher.caught());
    EXPECT_EQ(dialogIcon, iconImage(windows::Pictures::application()));
    EXPECT_TRUE(h.journal.isEmpty());
    EXPECT_EQ(bystander.presses, 2);
    EXPECT_EQ(pressesDuringMessage, 2);
    EXPECT_EQ(messageOwner, "frmConf");
}

} // namespace
} // namespace vindel::test
