#include "windows/NoticeHost.h"

#include "AppLoop.h"
#include "WidgetFakes.h"
#include "windows/NotifyWindow.h"
#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
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

using windows::NotifyWindow;

const auto visibleNotices = visibleWindows<NotifyWindow>;

NotifyWindow* onlyNotice()
{
    const auto notices = visibleNotices();
    EXPECT_EQ(notices.size(), 1u);
    return notices.size() == 1 ? notices.front() : nullptr;
}

class NoticeHostTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Leave no window behind for the next test.
        for (NotifyWindow* notice : visibleNotices())
            notice->closeStep();
        EXPECT_TRUE(QTest::qWaitFor([] { return visibleNotices().empty(); }));
    }

    FakeAppControl app;
};

TEST_F(NoticeHostTest, FirstNoticeShowsACentredTopMostWindowWithTheText)
{
    windows::NoticeHost host(app, 60000);
    host.showNotice("You have 3 Mail(s)");
    NotifyWindow* notice = onlyNotice();
    ASSERT_NE(notice, nullptr);

    EXPECT_EQ(notice->statusText(), "You have 3 Mail(s)");
    EXPECT_EQ(notice->windowTitle(), "Vindel");
    EXPECT_GE(app.pendingEventRuns, 1);
    EXPECT_TRUE(notice->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(notice->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(notice->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(notice->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(notice->size(), QSize(windows::twipsToPixels(2070), windows::twipsToPixels(1185)));
    EXPECT_EQ(notice->minimumSize(), notice->maximumSize());
    EXPECT_FALSE(notice->windowIcon().isNull());

    const auto* label = notice->findChild<QLabel*>("lblStatus");
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
}

TEST_F(NoticeHostTest, CountsAreShownLiterallyAndFitTheLabel)
{
    windows::NoticeHost host(app, 60000);
    for (const QString& text : QStringList{"You have 99999 Mail(s)", "You have <b>x</b> Mail(s)",
                                           QStringLiteral("You have %1 Mail(s)").arg(QString(40, u'9'))}) {
        SCOPED_TRACE(text.toStdString());
        host.showNotice(text);
        NotifyWindow* notice = onlyNotice();
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->statusText(), text);
        auto* label = notice->findChild<QLabel*>("lblStatus");
        const QString shown = QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->width());
        if (text.size() < 30) {
            EXPECT_EQ(shown, text);
        } else {
            EXPECT_TRUE(shown.startsWith("You have 9")) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith("9 Mail(s)")) << shown.toStdString();
        }
    }
}

TEST_F(NoticeHostTest, SecondNoticeReusesTheWindowWhichClosesAtTheFirstDeadline)
{
    constexpr int lifetime = 1000;
    windows::NoticeHost host(app, lifetime);
    QElapsedTimer clock;
    clock.start();
    host.showNotice("You have 3 Mail(s)");
    QPointer<NotifyWindow> first = onlyNotice();
    ASSERT_TRUE(first);
    first->move(10, 10);

    QTest::qWait(lifetime / 2);
    host.showNotice("You have 5 Mail(s)");
    EXPECT_EQ(onlyNotice(), first.data());
    EXPECT_EQ(first->statusText(), "You have 5 Mail(s)");
    EXPECT_EQ(first->pos(), QPoint(10, 10)); // not centred again

    ASSERT_TRUE(QTest::qWaitFor([] { return visibleNotices().empty(); }, 5 * lifetime));
    const qint64 closedAfter = clock.elapsed();
    EXPECT_GE(closedAfter, lifetime - 50);
    EXPECT_LT(closedAfter, lifetime * 3 / 2 - 100) << "the second notice restarted the timer";
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));

    // The next notice builds a fresh window.
    host.showNotice("You have 6 Mail(s)");
    NotifyWindow* fresh = onlyNotice();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->statusText(), "You have 6 Mail(s)");
}

TEST_F(NoticeHostTest, OkEnterAndTheCloseBoxCloseAndReleaseTheWindowEscapeDoesNot)
{
    windows::NoticeHost host(app, 60000);
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
            host.showNotice(QStringLiteral("You have %1 Mail(s)").arg(way + 1));
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

TEST_F(NoticeHostTest, NoticeArrivingAsTheWindowExpiresGetsAFreshWindow)
{
    constexpr int lifetime = 100;
    windows::NoticeHost host(app, lifetime);
    host.showNotice("You have 1 Mail(s)");
    QPointer<NotifyWindow> first = onlyNotice();
    ASSERT_TRUE(first);
    // The deadline passes before the next notice lets pending events run,
    // so the window closes in the middle of that notice.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2 * lifetime)
        QTest::qSleep(10);
    host.showNotice("You have 2 Mail(s)");
    NotifyWindow* fresh = onlyNotice();
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, first.data());
    EXPECT_EQ(fresh->statusText(), "You have 2 Mail(s)");
    EXPECT_EQ(fresh->windowTitle(), "Vindel");
}

} // namespace
} // namespace vindel::test
