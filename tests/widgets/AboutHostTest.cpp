#include "windows/AboutHost.h"

#include "AppLoop.h"
#include "BuildInfo.h"
#include "WidgetFakes.h"
#include "windows/AboutWindow.h"
#include "windows/Pictures.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using windows::AboutWindow;

const auto visibleAboutWindows = visibleWindows<AboutWindow>;

class AboutHostTest : public ::testing::Test {
protected:
    void SetUp() override { globals.config.MailerPath = "/usr/bin/mailer --compose"; }

    AboutWindow* openOne()
    {
        host.showAbout();
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

    settings::Globals globals;
    Journal journal;
    FakeLauncher launcher{journal};
    windows::AboutHost host{globals, launcher};
};

TEST_F(AboutHostTest, ShowsNameVersionDescriptionCopyrightAndLinks)
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

TEST_F(AboutHostTest, OpenedTwiceIsOneWindowNotCentredAgain)
{
    QPointer<AboutWindow> about = openOne();
    ASSERT_TRUE(about);
    about->move(20, 30);
    EXPECT_EQ(openOne(), about.data());
    EXPECT_EQ(about->pos(), QPoint(20, 30));
    about->close();
}

TEST_F(AboutHostTest, OkEnterEscapeAndTheCloseBoxCloseItAndTheNextOpeningIsFresh)
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

TEST_F(AboutHostTest, LinksOpenTheHomepageAndStartTheMailProgram)
{
    AboutWindow* about = openOne();
    ASSERT_NE(about, nullptr);
    click(about, "lblHomepage");
    EXPECT_EQ(journal, QStringList{"open " + QString::fromUtf8(build::homepage)});

    click(about, "lblMailAddress");
    EXPECT_EQ(journal.filter("start"), QStringList{"start /usr/bin/mailer --compose"});

    // A failing start shows nothing and leaves the window open.
    launcher.failure = "No such file or directory";
    globals.config.MailerPath.clear();
    click(about, "lblMailAddress");
    EXPECT_EQ(journal.filter("start"), QStringList({"start /usr/bin/mailer --compose", "start "}));
    EXPECT_TRUE(about->isVisible());
    about->close();
}

} // namespace
} // namespace vindel::test
