#include "windows/StatusWindow.h"

#include "../unit/Fakes.h"
#include "ModalCatcher.h"
#include "windows/Fonts.h"
#include "windows/MainMenu.h"
#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using shell::StatePicture;

class StatusWindowTest : public ::testing::Test {
protected:
    // The behaviour runs on the journal, pacing checks, with nothing done yet.
    void SetUp() override
    {
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        h.journal.clear();
        window.setBehaviour(&h.popChk);
    }

    QWidget* child(const QString& name) const { return window.findChild<QWidget*>(name); }
    QLabel* button(int index) const
    {
        return window.findChild<QLabel*>(QStringLiteral("imgBtn%1").arg(index));
    }
    QLabel* label() const { return window.findChild<QLabel*>("lblStatus"); }

    void showAt(const QPoint& place)
    {
        window.move(place);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    Harness h;
    windows::StatusWindow window;
};

TEST_F(StatusWindowTest, ShowsExactlyOneStatePictureAndAlwaysTheMailerButtonEachWithItsTip)
{
    for (const StatePicture picture : {StatePicture::Normal, StatePicture::NewMail, StatePicture::Error,
                                       StatePicture::NewMail, StatePicture::Normal}) {
        window.showStatePicture(picture);
        for (int index = 0; index < 3; ++index)
            EXPECT_EQ(button(index)->isVisibleTo(&window), index == static_cast<int>(picture))
                << "picture " << static_cast<int>(picture) << ", button " << index;
        EXPECT_TRUE(button(3)->isVisibleTo(&window));
    }
    // Tool tips on the buttons, none on the error picture.
    EXPECT_EQ(button(0)->toolTip(), "Check Now!");
    EXPECT_EQ(button(1)->toolTip(), "Check Now!");
    EXPECT_TRUE(button(2)->toolTip().isEmpty());
    EXPECT_EQ(button(3)->toolTip(), "Launch Mailer");
}

// The icon follows the state picture; the pictures are read once, not on every change.
TEST_F(StatusWindowTest, WindowIconFollowsTheStatePicture)
{
    const auto image = [](const QIcon& icon) { return icon.pixmap(QSize(32, 32)).toImage(); };
    window.setWindowIcon(StatePicture::NewMail);
    EXPECT_EQ(image(window.windowIcon()), image(windows::Pictures::state(StatePicture::NewMail)));
    const qint64 newMail = window.windowIcon().cacheKey();
    window.setWindowIcon(StatePicture::Error);
    EXPECT_EQ(image(window.windowIcon()), image(windows::Pictures::state(StatePicture::Error)));
    EXPECT_NE(image(window.windowIcon()), image(windows::Pictures::state(StatePicture::Normal)));
    window.setWindowIcon(StatePicture::Normal);
    window.setWindowIcon(StatePicture::NewMail);
    EXPECT_EQ(window.windowIcon().cacheKey(), newMail);
}

TEST_F(StatusWindowTest, StartsEmptyAndBlueThenTheLabelTakesEachColour)
{
    const auto colour = [this] { return label()->palette().color(QPalette::WindowText); };
    for (int index = 0; index < 3; ++index) // the normal picture
        EXPECT_EQ(button(index)->isVisibleTo(&window), index == 0);
    EXPECT_TRUE(window.statusText().isEmpty());
    EXPECT_EQ(colour(), QColor(0, 0, 255));
    EXPECT_EQ(label()->alignment(), Qt::AlignCenter);
    const std::pair<shell::TextColour, QColor> colours[] = {{shell::TextColour::Red, QColor(255, 0, 0)},
                                                            {shell::TextColour::Black, QColor(0, 0, 0)},
                                                            {shell::TextColour::Blue, QColor(0, 0, 255)}};
    for (const auto& [given, shown] : colours) {
        window.setStatusColour(given);
        EXPECT_EQ(colour(), shown);
    }
}

// Counts come from the server. Whatever they hold is shown as it is, never
// read as markup, and a long one fits the label: first in a smaller face,
// then cut in the middle so that both ends stay readable.
TEST_F(StatusWindowTest, CountsAreShownLiterallyAndFitTheLabel)
{
    const QString longCount(40, u'9');
    const struct {
        QString text;
        bool whole; // shown without a cut
    } cases[] = {
        {"You have 12 Mail(s)", true},
        {"You have 99999 Mail(s)", true},
        {"You have <b>x</b> Mail(s)", true},
        {"You have <img\tsrc=/nonexistent/picture> Mail(s)", false},
        {QStringLiteral("You have %1 Mail(s)").arg(longCount), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        window.setStatusText(c.text);
        EXPECT_EQ(window.statusText(), c.text);
        const QString shown = QAccessible::queryAccessibleInterface(label())->text(QAccessible::Name);
        EXPECT_LE(QFontMetrics(label()->font()).horizontalAdvance(shown), label()->width() - 2);
        EXPECT_GE(label()->font().pointSizeF(), windows::Fonts::smallestPoints);
        if (c.whole) {
            EXPECT_EQ(shown, c.text);
        } else {
            EXPECT_TRUE(shown.startsWith("You have ")) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(" Mail(s)")) << shown.toStdString();
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        }
    }
    // A short text gets the full size back.
    window.setStatusText("OFFLINE");
    EXPECT_EQ(label()->font().pointSizeF(), 8.25);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(label())->text(QAccessible::Name), "OFFLINE");
}

TEST_F(StatusWindowTest, ClosingTheWindowRunsExitAndLeavesItUntilTheEnd)
{
    showAt({100, 100});
    window.close();
    EXPECT_EQ(h.journal, QStringList({"tray remove", "quit"}));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(StatusWindowTest, LayoutIsTheTwipsLayoutAtTheScreenResolution)
{
    EXPECT_EQ(window.size(), QSize(windows::twipsToPixels(2190), windows::twipsToPixels(315)));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    if (QGuiApplication::primaryScreen()->logicalDotsPerInch() != 96.0)
        GTEST_SKIP() << "the pixel figures below hold at 96 dpi";
    EXPECT_EQ(window.size(), QSize(146, 21));
    EXPECT_EQ(button(0)->geometry(), QRect(2, 2, 16, 16));
    EXPECT_EQ(button(2)->geometry(), QRect(2, 2, 16, 16));
    EXPECT_EQ(button(3)->geometry(), QRect(22, 2, 16, 16));
    EXPECT_EQ(child("imgFrame")->geometry(), QRect(40, 0, 105, 21));
    EXPECT_EQ(label()->geometry(), QRect(40, 4, 105, 13));
    // The 16-pixel pictures are shown as drawn, not shrunk from 32.
    const auto argb = [](const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); };
    EXPECT_EQ(argb(button(0)->pixmap().toImage()), argb(QImage(":/pictures/state-normal-16.png")));
    EXPECT_EQ(argb(button(3)->pixmap().toImage()), argb(QImage(":/pictures/mailer-16.png")));
    // The window system is offered every drawn size, and every size asked
    // for looks as Qt's own icon of the drawn pictures would draw it.
    window.setWindowIcon(shell::StatePicture::Normal);
    const QIcon shown = window.windowIcon();
    QIcon drawn;
    for (const int size : {16, 32, 48, 256})
        drawn.addFile(QStringLiteral(":/pictures/state-normal-%1.png").arg(size), QSize(size, size));
    EXPECT_EQ(shown.availableSizes(), drawn.availableSizes());
    const auto painted = [](const QIcon& icon, QSize size) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        icon.paint(&painter, image.rect());
        return image;
    };
    for (const QSize size : {QSize(16, 16), QSize(24, 24), QSize(48, 48), QSize(60, 30), QSize(64, 64),
                             QSize(256, 256), QSize(300, 300)}) {
        EXPECT_EQ(shown.actualSize(size), drawn.actualSize(size)) << size.width();
        EXPECT_EQ(shown.pixmap(size).toImage(), drawn.pixmap(size).toImage()) << size.width();
        EXPECT_EQ(painted(shown, size), painted(drawn, size)) << size.width();
    }
}

// The sizes that loading the settings centres the window with (the place
// itself is set in twips in the next test).
TEST_F(StatusWindowTest, PlacementIsInTwips)
{
    const double tpp = windows::twipsPerPixel();
    const settings::WindowPlacement sizes = window.placement();
    EXPECT_EQ(sizes.windowWidth, qRound(window.width() * tpp));
    EXPECT_EQ(sizes.windowHeight, qRound(window.height() * tpp));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(sizes.screenWidth, qRound(screen.width() * tpp));
    EXPECT_EQ(sizes.screenHeight, qRound(screen.height() * tpp));
}

// Loading the settings places the window, then shows it through setTopMost:
// a place that leaves part of it off the screen moves it wholly onto it.
TEST_F(StatusWindowTest, APlacedWindowIsMovedWhollyOntoTheScreenAsItShows)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize size = window.frameGeometry().size();
    const QPoint farCorner(screen.right() + 1 - size.width(), screen.bottom() + 1 - size.height());
    const struct {
        const char* name;
        QPoint placed;
        QPoint shown;
    } cases[] = {
        {"inside", {100, 120}, {100, 120}},
        {"against the far corner", farCorner, farCorner},
        {"a sliver at the right", {screen.right() + 1 - 40, 120}, {farCorner.x(), 120}},
        {"just beyond the right", {screen.right() + 1, 120}, {farCorner.x(), 120}},
        {"a sliver at the bottom", {100, screen.bottom() + 1 - 13}, {100, farCorner.y()}},
        {"far off", {screen.right() + 5000, screen.bottom() + 5000}, farCorner},
        {"above and left", {screen.left() - 60, screen.top() - 10}, screen.topLeft()},
    };
    for (const auto& c : cases) {
        window.setLeftTwips(windows::pixelsToTwips(c.placed.x()));
        window.setTopTwips(windows::pixelsToTwips(c.placed.y()));
        window.setTopMost(false);
        EXPECT_EQ(window.pos(), c.shown) << c.name;
    }

    // A window the user dragged partly off stays where it was dropped.
    window.move(screen.right() + 1 - 40, 120);
    window.setTopMost(true);
    EXPECT_EQ(window.pos(), QPoint(screen.right() + 1 - 40, 120));
}

TEST_F(StatusWindowTest, ShowHideEntryTogglesTheWindowAndItsCaptionAlwaysInFrontShowsIt)
{
    showAt({100, 100});
    QAction* entry = window.menu().visibleAction();
    entry->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(entry->text(), "表示");
    entry->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(entry->text(), "非表示");

    // Always-in-front, either way, shows a hidden window, sets the flag and
    // the check mark, and leaves the entry as it was.
    for (const bool inFront : {true, false}) {
        entry->trigger();
        ASSERT_FALSE(window.isVisible());
        window.setTopMost(inFront);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), inFront);
        EXPECT_EQ(window.menu().formTopAction()->isChecked(), inFront);
        EXPECT_EQ(entry->text(), "表示");
    }
    EXPECT_TRUE(h.journal.isEmpty());
}

TEST_F(StatusWindowTest, LeftPressOnAStatePictureChecksAndNeverDrags)
{
    showAt({100, 100});
    for (const StatePicture picture : {StatePicture::Normal, StatePicture::NewMail}) {
        window.showStatePicture(picture);
        QLabel* target = button(static_cast<int>(picture));
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseMove(target, QPoint(30, 20));
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(30, 20));
        h.tcp.fail(10061, "refused"); // the check ends, and the next is due soon
    }
    EXPECT_EQ(h.journal.filter("connect ").size(), 2);
    EXPECT_EQ(window.pos(), QPoint(100, 100));
    EXPECT_TRUE(h.store.writes.isEmpty()); // no drop stored
}

TEST_F(StatusWindowTest, MailerButtonLaunchesOncePerClickEvenOnADoubleClick)
{
    showAt({100, 100});
    QTest::mouseClick(button(3), Qt::LeftButton);
    EXPECT_EQ(h.journal, QStringList{"start "});
    // A double click: press, release, the double-click press, release.
    QTest::mouseClick(button(3), Qt::LeftButton);
    QTest::mouseDClick(button(3), Qt::LeftButton);
    QTest::mouseRelease(button(3), Qt::LeftButton);
    EXPECT_EQ(h.journal, QStringList({"start ", "start "}));
    // Middle presses do nothing.
    QTest::mouseClick(button(3), Qt::MiddleButton);
    QTest::mouseClick(button(0), Qt::MiddleButton);
    EXPECT_EQ(h.journal.size(), 2);
}

// Pressing the body, the frame or the text drags the window; the release
// reports where it was dropped, in twips.
class StatusWindowDragTest : public StatusWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StatusWindowDragTest, DragMovesTheWindowAndReportsTheDrop)
{
    showAt({200, 150});
    QWidget* target = child(QString::fromLatin1(GetParam()));
    if (!target)
        target = &window;
    const QPoint start = target->mapToGlobal(target == &window ? QPoint(39, 10) : QPoint(10, 5));
    // The pointer's screen positions; the widget under it moves along.
    const auto at = [target](const QPoint& global) { return target->mapFromGlobal(global); };

    QTest::mousePress(target, Qt::LeftButton, {}, at(start));
    QTest::mouseMove(target, at(start + QPoint(15, 4)));
    QTest::mouseMove(target, at(start + QPoint(30, 12)));
    QTest::mouseRelease(target, Qt::LeftButton, {}, at(start + QPoint(30, 12)));

    EXPECT_EQ(window.pos(), QPoint(230, 162));
    EXPECT_EQ(h.store.batches, 1);
    EXPECT_EQ(h.store.stored("PosLeft"), QString::number(windows::pixelsToTwips(230)));
    EXPECT_EQ(h.store.stored("PosTop"), QString::number(windows::pixelsToTwips(162)));
    EXPECT_TRUE(h.journal.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Places, StatusWindowDragTest, ::testing::Values("lblStatus", "imgFrame", "body"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

TEST_F(StatusWindowTest, RightPressAnywhereOpensTheMenuWithTheWindowRules)
{
    showAt({100, 100});
    ASSERT_EQ(h.errorCountShown(), 0); // three failures: checking stopped, the settings still usable
    h.journal.clear();
    for (const QString& name : QStringList{"imgBtn0", "imgBtn3", "lblStatus", "imgFrame", QString()}) {
        QWidget* target = name.isEmpty() ? &window : child(name);
        const QPoint at = name.isEmpty() ? QPoint(39, 10) : QPoint(5, 5);
        bool checkEnabled = true;
        bool settingsEnabled = false;
        ModalCatcher catcher(ModalCatcher::Kind::Popup, [&](QWidget* popup) {
            EXPECT_EQ(popup, &window.menu().menu());
            checkEnabled = window.menu().checkAction()->isEnabled();
            settingsEnabled = window.menu().settingsAction()->isEnabled();
        });
        QTest::mousePress(target, Qt::RightButton, {}, at);
        QTest::mouseRelease(target, Qt::RightButton, {}, at);
        EXPECT_TRUE(catcher.caught()) << name.toStdString();
        EXPECT_FALSE(checkEnabled) << name.toStdString();
        EXPECT_TRUE(settingsEnabled) << name.toStdString();
    }
    EXPECT_TRUE(h.journal.isEmpty()); // no command, no drag
    EXPECT_TRUE(h.store.writes.isEmpty());
    EXPECT_EQ(window.pos(), QPoint(100, 100));
}

// The check mark of always-in-front is left to the command; the show/hide
// and About entries are the windows' own.
TEST(MainMenuTest, EntriesRunTheirCommands)
{
    Harness h;
    windows::MainMenu menu;
    menu.checkAction()->trigger(); // before the behaviour exists: nothing
    ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
    h.journal.clear();
    menu.setBehaviour(&h.popChk);
    for (QAction* action :
         {menu.checkAction(), menu.mailerAction(), menu.settingsAction(), menu.formTopAction(),
          menu.visibleAction(), menu.aboutAction(), menu.exitAction()})
        action->trigger();
    EXPECT_EQ(h.journal.filter(QRegularExpression("^(connect|start|dialog|topmost|quit)")),
              QStringList({"connect mail.example.test:110", "start ", "dialog", "topmost 1", "quit"}));
    EXPECT_FALSE(menu.formTopAction()->isChecked());
    menu.formTopAction()->setChecked(true);
    menu.formTopAction()->trigger();
    EXPECT_TRUE(menu.formTopAction()->isChecked());
    EXPECT_EQ(h.journal.filter("topmost").size(), 2);
}

} // namespace
} // namespace vindel::test
