// The mail-program command with a real process start: the program gets its
// arguments as the user wrote them, and a failure tells the user why.
#include "Fakes.h"
#include "platform/QtProcessLauncher.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class MailerCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A stand-in mail program: writes one line per argument, then "ran".
        script = folder.filePath("mailer");
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\necho ran >> "
                   "\"$0.args\"\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        h.starter = platform::QtProcessLauncher::start;
        ASSERT_EQ(popChk.start({}, folder.path()), shell::PopChk::StartResult::Running);
        h.journal.clear();
    }
    QString recorded() const
    {
        QFile file(script + ".args");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir folder;
    QString script;
    Harness h;
    shell::PopChk& popChk = h.popChk;
};

TEST_F(MailerCommand, StartsTheProgramWithItsArgumentsAndResetsTheCount)
{
    h.globals.config.MailerPath = QStringLiteral("\"%1\" --compose \"two words\" ;x").arg(script);
    h.globals.config.MailCountReset = true;
    popChk.launchMailer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorded().endsWith("ran\n"); }, 5000));
    EXPECT_EQ(recorded(), "--compose\ntwo words\n;x\nran\n");
    EXPECT_TRUE(h.journal.filter("message").isEmpty());
    EXPECT_EQ(h.window.status, "You have No mail");
    EXPECT_EQ(h.tray.tip, "Vindel - You have No mail");
}

TEST_F(MailerCommand, AMissingOrEmptyPathShowsWhyAndResetsNothing)
{
    h.globals.config.MailCountReset = true;
    for (const QString& path : {folder.filePath("no-such-mailer"), QString()}) {
        h.journal.clear();
        h.globals.config.MailerPath = path;
        popChk.launchMailer();
        const QStringList messages = h.journal.filter("message");
        ASSERT_EQ(messages.size(), 1) << path.toStdString();
        const QString text = messages[0].mid(QStringLiteral("message 48 ").size());
        EXPECT_TRUE(text.endsWith("\r\n\r\nﾒｰﾗのﾊﾟｽを確認してください。"));
        EXPECT_GT(text.indexOf("\r\n\r\n"), 0) << "the platform's description comes first";
        EXPECT_TRUE(h.journal.filter("tray").isEmpty());
    }
}

} // namespace
} // namespace vindel::test
