// What a found count shows: the label always, the alert only on a change.
#include "shell/MailCountReport.h"

#include "Fakes.h"
#include "shell/Look.h"
#include "shell/TrayTip.h"

#include <QDir>
#include <QRegularExpression>
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

// Each row reports a count against the one reported before ("-1": none since
// the start); "sound" stands for the sound file's path.
TEST_F(Report, OnlyAChangedCountChangesTheTrayAndPicturesAndOnlyANewCountAlerts)
{
    struct Row {
        QString previous;
        QString count;
        Journal acts;
        shell::StatePicture icon;
    };
    const auto alert = [](const QString& count) {
        const QString text = "You have " + count + " Mail(s)";
        return Journal{"label " + text, "tray 1 Vindel - " + text, "notice " + text, "sound", "picture 1"};
    };
    const Journal noMail{"label You have No mail", "tray 0 Vindel - You have No mail", "picture 0"};
    const QList<Row> rows = {
        {"-1", "0", noMail, shell::StatePicture::Normal}, // the first count after the start is a change
        {"-1", "3", alert("3"), shell::StatePicture::NewMail},
        {"3", "3", {"label You have 3 Mail(s)"}, shell::StatePicture::NewMail}, // silent
        {"5", "3", alert("3"), shell::StatePicture::NewMail},                   // fewer is a change too
        {"3", "03", alert("03"), shell::StatePicture::NewMail},                 // compared as text
        {"3", "0", noMail, shell::StatePicture::Normal},
        {"0", "", alert(""), shell::StatePicture::NewMail}, // an empty count takes the new-mail branch
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.previous + " -> " + row.count).toStdString());
        previous = row.previous;
        report(row.count);
        Journal acts = h.journal;
        acts.replaceInStrings(QRegularExpression("^sound .*"), "sound");
        EXPECT_EQ(acts, row.acts);
        EXPECT_TRUE(h.journal.contains("sound " + soundFile.fileName()) == row.acts.contains("sound"));
        EXPECT_EQ(h.window.icon, row.icon);
    }
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
