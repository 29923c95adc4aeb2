#include "windows/ConfigDialog.h"

#include "../unit/Fakes.h"
#include "ModalCatcher.h"
#include "settings/ConfigStore.h"
#include "windows/QtDesktop.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

namespace vindel::test {
namespace {

const QString intervalMessage = "Interval は10分（ﾃﾞﾌｫﾙﾄ値）に設定されました。";
const QString userNameMessage = "ﾕｰｻﾞ名を入力してください。";

// Mailer, user, password, server, interval, left, top, in front, sound, reset.
settings::ConfigRecord storedRecord()
{
    return {"/usr/bin/mailer --inbox",   "taro", "secret", "pop.example.org", 10, 1500, 3000, true,
            "/usr/share/sounds/old.wav", true};
}

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override { open(storedRecord()); }

    void open(const settings::ConfigRecord& record)
    {
        globals.config = record;
        dialog = std::make_unique<windows::ConfigDialog>(globals, desktop.config, desktop);
        dialog->setFileChooser(
            [this](QWidget*, const QString& folder, const QStringList& filters, const QString& selected) {
                askedFolders << folder;
                askedFilters << filters;
                askedSelected << selected;
                return nextChoice;
            });
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return box("txtYourName")->hasSelectedText(); }));
    }

    QLineEdit* box(const char* name) const
    {
        return dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name) const
    {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    void pressOk() { QTest::mouseClick(button("cmdOk"), Qt::LeftButton); }

    FakeDesktop desktop;
    settings::Globals& globals = desktop.globals;
    MemorySettingsStore& settingsStore = desktop.store;
    Journal& journal = desktop.journal;
    std::unique_ptr<windows::ConfigDialog> dialog;

    QString nextChoice; // what the file chooser answers
    QStringList askedFolders;
    QList<QStringList> askedFilters;
    QStringList askedSelected;
};

TEST_F(ConfigDialogTest, OpensFilledFromTheRecordWithTheFocusInTheUserName)
{
    EXPECT_EQ(dialog->windowTitle(), "Vindel の設定");
    EXPECT_EQ(box("txtYourName")->text(), "taro");
    EXPECT_EQ(box("txtPassWord")->text(), "secret");
    EXPECT_EQ(box("txtPop3Srv")->text(), "pop.example.org");
    EXPECT_EQ(box("txtInterval")->text(), "10");
    EXPECT_EQ(box("txtMailerPath")->text(), "/usr/bin/mailer --inbox");
    EXPECT_EQ(box("txtSoundPath")->text(), "/usr/share/sounds/old.wav");
    EXPECT_TRUE(dialog->findChild<QCheckBox*>("chkMailCount")->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), box("txtYourName"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box("txtYourName")->selectedText() == "taro"; }));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    QLineEdit* password = box("txtPassWord"); // shows stars
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password), u'*');
}

TEST_F(ConfigDialogTest, TabVisitsTheFieldsInOrderSelectingTheFirstThree)
{
    QStringList visited;
    for (int step = 0; step < 11; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        visited << (focus ? focus->objectName() : QString());
        if (visited.last() == "txtPop3Srv") {
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return box("txtPop3Srv")->selectedText() == "pop.example.org"; }));
        }
        if (visited.last() == "txtPassWord") {
            EXPECT_TRUE(QTest::qWaitFor([&] { return box("txtPassWord")->hasSelectedText(); }));
        }
    }
    EXPECT_EQ(visited,
              QStringList({"txtPassWord", "txtPop3Srv", "txtInterval", "txtMailerPath", "cmdPath0",
                           "txtSoundPath", "cmdPath1", "cmdOk", "cmdCansel", "chkMailCount", "txtYourName"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "chkMailCount");
}

TEST_F(ConfigDialogTest, OkWithoutChangesStoresAllTenKeysAndFlagsTheChange)
{
    pressOk();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(journal.filter("message").isEmpty());
    EXPECT_TRUE(globals.ConfigChanged);
    EXPECT_EQ(globals.config, storedRecord());
    EXPECT_EQ(settingsStore.batches, 1); // the ten keys, in one batch
    EXPECT_EQ(settingsStore.stored("PassWord"), "secret");
}

TEST_F(ConfigDialogTest, OkStoresWhatWasTyped)
{
    QTest::keyClicks(box("txtYourName"), "hanako"); // replaces the selected name
    QTest::mouseClick(dialog->findChild<QCheckBox*>("chkMailCount"), Qt::LeftButton);
    QLineEdit* interval = box("txtInterval");
    interval->setFocus();
    interval->selectAll();
    QTest::keyClicks(interval, "25");
    QTest::keyClick(interval, Qt::Key_Return); // Enter in a box is OK
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(globals.config.UserName, "hanako");
    EXPECT_EQ(globals.config.Interval, 25);
    EXPECT_FALSE(globals.config.MailCountReset);
    EXPECT_EQ(settingsStore.stored("UserName"), "hanako");
}

// What is done to the interval box before OK.
using IntervalEdit = std::function<void(QLineEdit*)>;

// Empties the box with Backspace, then types.
IntervalEdit typed(const char* keys)
{
    return [keys](QLineEdit* box) {
        QTest::keyClick(box, Qt::Key_End);
        while (!box->text().isEmpty())
            QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, QString::fromLatin1(keys));
    };
}

// Selects the whole text and pastes over it with Ctrl+V.
IntervalEdit pasted(const char* text)
{
    return [text](QLineEdit* box) {
        box->selectAll();
        QApplication::clipboard()->setText(QString::fromLatin1(text));
        QTest::keySequence(box, QKeySequence::Paste);
    };
}

// Presses keys in turn, starting with the cursor at the start.
IntervalEdit keys(std::vector<QKeySequence> sequences)
{
    return [sequences](QLineEdit* box) {
        box->setCursorPosition(0);
        for (const QKeySequence& sequence : sequences)
            QTest::keySequence(box, sequence);
    };
}

struct IntervalCase {
    const char* name;
    qint16 stored;
    IntervalEdit edit;
    const char* boxBeforeOk;
    const char* boxAfterOk;
    qint16 interval;
    bool message;
};

void PrintTo(const IntervalCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConfigDialogIntervalTest : public ConfigDialogTest,
                                 public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(ConfigDialogIntervalTest, IntervalBoxFollowsTheKeyboardAndTheOkRule)
{
    const IntervalCase& c = GetParam();
    settings::ConfigRecord record = storedRecord();
    record.Interval = c.stored;
    open(record);
    QLineEdit* interval = box("txtInterval");
    interval->setFocus();
    if (c.edit)
        c.edit(interval);
    EXPECT_EQ(interval->text(), QString::fromLatin1(c.boxBeforeOk));
    pressOk();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(interval->text(), QString::fromLatin1(c.boxAfterOk));
    EXPECT_EQ(globals.config.Interval, c.interval);
    EXPECT_EQ(settingsStore.stored("Interval"), QString::number(c.interval));
    EXPECT_EQ(journal.filter("message"),
              c.message ? QStringList{"message 48 " + intervalMessage} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigDialogIntervalTest,
    ::testing::Values(
        IntervalCase{"TypedOne", 10, typed("1"), "1", "1", 1, false},
        IntervalCase{"TypedNinetyNine", 10, typed("99"), "99", "99", 99, false},
        IntervalCase{"TypedZero", 10, typed("0"), "0", "10", 10, true},
        IntervalCase{"TypedLeadingZero", 10, typed("05"), "05", "10", 10, true},
        IntervalCase{"TypedNothing", 10, typed(""), "", "10", 10, true},
        // letters and blanks are discarded as they are typed
        IntervalCase{"TypedLettersAndBlank", 10, typed("a3 b"), "3", "3", 3, false},
        // the keyboard fills two characters
        IntervalCase{"TypedThreeDigits", 10, typed("123"), "12", "12", 12, false},
        // a stored value is shown whole and kept when the rule accepts it
        IntervalCase{"StoredThreeDigits", 250, nullptr, "250", "250", 250, false},
        IntervalCase{"StoredHundred", 100, nullptr, "100", "100", 100, false},
        IntervalCase{"StoredNegative", -5, nullptr, "-5", "10", 10, true},
        IntervalCase{"StoredAboveTheRule", 999, nullptr, "999", "10", 10, true},
        // a full box takes no more typing, but Backspace still works
        IntervalCase{"StoredThreeDigitsTypedOn", 250, keys({Qt::Key_End, Qt::Key_7, Qt::Key_Backspace}), "25",
                     "25", 25, false},
        // editing keys work as in any text box
        IntervalCase{"EndThenBackspace", 10, keys({Qt::Key_End, Qt::Key_Backspace}), "1", "1", 1, false},
        IntervalCase{"DeleteThenDigit", 10, keys({Qt::Key_Delete, Qt::Key_3}), "30", "30", 30, false},
        IntervalCase{"ArrowThenDigit", 10, keys({Qt::Key_Right, Qt::Key_Delete, Qt::Key_5}), "15", "15", 15,
                     false},
        IntervalCase{"SelectAllThenDigit", 10, keys({QKeySequence::SelectAll, Qt::Key_4}), "4", "4", 4,
                     false},
        // pasted text follows the keyboard's rule
        IntervalCase{"PastedBlankAndDigit", 10, pasted(" 7"), "7", "7", 7, false},
        IntervalCase{"PastedDigitAndLetter", 10, pasted("7a"), "7", "7", 7, false},
        IntervalCase{"PastedThreeDigits", 10, pasted("123"), "12", "12", 12, false},
        IntervalCase{"PastedLettersOnly", 10, pasted("ab"), "10", "10", 10, false}),
    [](const ::testing::TestParamInfo<IntervalCase>& info) { return info.param.name; });

TEST_F(ConfigDialogTest, EmptyUserNameIsRefusedAndTheDialogStays)
{
    QLineEdit* name = box("txtYourName");
    QTest::keyClick(name, Qt::Key_Backspace);
    ASSERT_TRUE(name->text().isEmpty());
    pressOk();
    EXPECT_EQ(journal.filter("message"), QStringList{"message 48 " + userNameMessage});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(globals.ConfigChanged);
    EXPECT_TRUE(settingsStore.writes.isEmpty());
    EXPECT_EQ(globals.config, storedRecord());

    // Blanks count as a name; an empty server is no reason to refuse.
    QTest::keyClicks(name, "  ");
    box("txtPop3Srv")->clear();
    pressOk();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(globals.config.UserName, "  ");
    EXPECT_EQ(globals.config.Pop3Server, "");
    EXPECT_TRUE(globals.ConfigChanged);
    EXPECT_EQ(settingsStore.writes.size(), 10);
}

TEST_F(ConfigDialogTest, SoundBrowsePreviewsTheChoiceAndCancelChangesNothing)
{
    nextChoice = "/tmp/bell.wav";
    QTest::mouseClick(button("cmdPath1"), Qt::LeftButton);
    EXPECT_EQ(askedFilters.value(0), QStringList{"WAVEﾌｧｲﾙ (*.wav)"});
    EXPECT_EQ(askedFolders.value(0), QDir::homePath());
    EXPECT_EQ(box("txtSoundPath")->text(), "/tmp/bell.wav");
    EXPECT_EQ(journal.filter("sound"), QStringList{"sound /tmp/bell.wav"});

    QTest::mouseClick(button("cmdCansel"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(globals.config, storedRecord());
    EXPECT_FALSE(globals.ConfigChanged);
    EXPECT_TRUE(settingsStore.writes.isEmpty());
}

TEST_F(ConfigDialogTest, EscapeAndTheCloseBoxChangeNothing)
{
    QTest::keyClicks(box("txtYourName"), "someone");
    QTest::keyClick(box("txtYourName"), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());

    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(globals.config, storedRecord());
    EXPECT_FALSE(globals.ConfigChanged);
    EXPECT_TRUE(settingsStore.writes.isEmpty());
}

TEST_F(ConfigDialogTest, ChosenMailProgramIsOfferedAllFilesAndKeptAsOneCommand)
{
    nextChoice = "/opt/My Mail/run \"mail\"";
    QTest::mouseClick(button("cmdPath0"), Qt::LeftButton);
    EXPECT_EQ(askedFilters.value(0), QStringList({"実行ﾌｧｲﾙ (*.exe)", "すべてのﾌｧｲﾙ (*)"}));
    EXPECT_EQ(askedSelected.value(0), "すべてのﾌｧｲﾙ (*)");
    EXPECT_EQ(askedFolders.value(0), QDir::homePath());
    EXPECT_EQ(QProcess::splitCommand(box("txtMailerPath")->text()), QStringList{nextChoice});
    EXPECT_TRUE(journal.filter("sound").isEmpty());

    nextChoice = "/usr/bin/mailer";
    QTest::mouseClick(button("cmdPath0"), Qt::LeftButton);
    EXPECT_EQ(box("txtMailerPath")->text(), "/usr/bin/mailer");
}

TEST_F(ConfigDialogTest, BrowsingStartsWithTheFileChosenLastInThisWindowAndACancelChangesNoBox)
{
    nextChoice = "/opt/My Mail/run";
    QTest::mouseClick(button("cmdPath0"), Qt::LeftButton);
    nextChoice = "/tmp/bell.wav";
    QTest::mouseClick(button("cmdPath0"), Qt::LeftButton); // the name as chosen, not as quoted in the box
    QTest::mouseClick(button("cmdPath1"), Qt::LeftButton); // both buttons share the one open dialog
    const QString mailer = box("txtMailerPath")->text();
    nextChoice.clear();
    QTest::mouseClick(button("cmdPath1"), Qt::LeftButton);
    QTest::mouseClick(button("cmdPath0"), Qt::LeftButton); // a cancel leaves no name
    EXPECT_EQ(askedFolders, QStringList({QDir::homePath(), "/opt/My Mail/run", "/tmp/bell.wav",
                                         "/tmp/bell.wav", QDir::homePath()}));
    // Cancelled browsing leaves the boxes alone and plays nothing.
    EXPECT_EQ(box("txtMailerPath")->text(), mailer);
    EXPECT_EQ(box("txtSoundPath")->text(), "/tmp/bell.wav");
    EXPECT_EQ(journal.filter("sound"), QStringList{"sound /tmp/bell.wav"});

    // A fresh window starts afresh.
    open(storedRecord());
    QTest::mouseClick(button("cmdPath0"), Qt::LeftButton);
    EXPECT_EQ(askedFolders.last(), QDir::homePath());
}

TEST(ConfigDialogRunTest, EachRunIsAFreshModalDialogFilledFromTheRecord)
{
    FakeDesktop desktop;
    settings::Globals& globals = desktop.globals;
    globals.config = storedRecord();
    windows::QtDesktop qt(globals, desktop.config);

    QStringList shownNames;
    for (const QString name : {"taro", "hanako"}) {
        globals.config.UserName = name;
        ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* modal) {
            EXPECT_EQ(modal->windowTitle(), "Vindel の設定");
            const auto* box = modal->findChild<QLineEdit*>("txtYourName");
            shownNames << (box ? box->text() : QString());
        });
        qt.runConfigDialog(); // returns once the catcher has closed the dialog
        EXPECT_TRUE(catcher.caught());
    }
    EXPECT_EQ(shownNames, QStringList({"taro", "hanako"}));
    EXPECT_TRUE(desktop.store.writes.isEmpty()); // closed without OK
    EXPECT_FALSE(globals.ConfigChanged);
}

} // namespace
} // namespace vindel::test
