// What a found count shows: the label always, the alert only on a change.
#include "shell/MailCountReport.h"

#include "Fakes.h"
#include "shell/Look.h"
#include "shell/TrayTip.h"

#include <QDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class Report : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(soundFile.open());
        soundFile.write("RIFF");
        soundFile.flush();
        h.globals.config.SoundPath = soundFile.fileName();
    }
    // Reports as a check does: against the count reported before.
    void report(const QString& count)
    {
        h.journal.clear();
        mailCountReport.report(count, previous);
        previous = count;
    }

    Harness h;
    QTemporaryFile soundFile;
    QString previous = "-1";
    shell::MailCountReport mailCountReport{h.globals, h};
};

TEST_F(Report, FirstCountAfterStartIsAlwaysAChange)
{
    report("0");
    EXPECT_EQ(h.journal,
              (Journal{"label You have No mail", "tray 0 Vindel - You have No mail", "picture 0"}));

    previous = "-1";
    report("3");
    EXPECT_EQ(h.journal,
              (Journal{"label You have 3 Mail(s)", "tray 1 Vindel - You have 3 Mail(s)",
                       "notice You have 3 Mail(s)", "sound " + soundFile.fileName(), "picture 1"}));
    EXPECT_EQ(h.window.icon, shell::StatePicture::NewMail);
}

TEST_F(Report, OnlyAChangedCountAlerts)
{
    report("3");
    report("3");
    EXPECT_EQ(h.journal, Journal{"label You have 3 Mail(s)"}); // silent
    report("5");
    report("3"); // fewer is a change too
    EXPECT_TRUE(h.journal.contains("notice You have 3 Mail(s)"));
    report("03"); // compared as text
    EXPECT_TRUE(h.journal.contains("notice You have 03 Mail(s)"));
    report("0");
    EXPECT_EQ(h.journal,
              (Journal{"label You have No mail", "tray 0 Vindel - You have No mail", "picture 0"}));
    EXPECT_EQ(h.window.icon, shell::StatePicture::Normal);
}

TEST_F(Report, AnEmptyCountTakesTheNewMailBranch)
{
    report("");
    EXPECT_EQ(h.window.status, "You have  Mail(s)");
    EXPECT_TRUE(h.journal.contains("notice You have  Mail(s)"));
}

TEST_F(Report, NoSoundWithoutAnExistingFile)
{
    for (const QString& path : {QString(), QString("/nonexistent/ding.wav"), QDir::tempPath()}) {
        previous = "-1";
        h.globals.config.SoundPath = path;
        report("2");
        EXPECT_TRUE(h.journal.filter("sound").isEmpty()) << path.toStdString();
        EXPECT_TRUE(h.journal.contains("notice You have 2 Mail(s)"));
    }
}

TEST_F(Report, AnUnchangedCountKeepsTheErrorLook)
{
    report("3");
    h.showStatePicture(shell::StatePicture::Error);
    h.setTrayIcon(shell::StatePicture::Error, "Vindel - Error!");
    report("3");
    EXPECT_EQ(h.window.status, "You have 3 Mail(s)");
    EXPECT_EQ(h.window.picture, shell::StatePicture::Error);
    EXPECT_EQ(h.tray.picture, shell::StatePicture::Error);
}

TEST(TrayTip, IsTheProductNameAndTheStatusFittedTo63Characters)
{
    EXPECT_EQ(shell::trayTip(), "Vindel");
    EXPECT_EQ(shell::trayTip("You have 12 Mail(s)"), "Vindel - You have 12 Mail(s)");
    const QString longCount(80, u'9');
    const QString tip = shell::trayTip("You have " + longCount + " Mail(s)");
    EXPECT_EQ(tip.size(), 63);
    EXPECT_TRUE(tip.startsWith("Vindel - You have 999"));
    // A count is the server's text: what would break or turn the line shows escaped.
    EXPECT_EQ(shell::trayTip(QString("You have 1\n\x1B[2J") + QChar(0x202E) + " Mail(s)"),
              "Vindel - You have 1\\x0A\\x1B[2J\\u202E Mail(s)");
}

} // namespace
} // namespace vindel::test
