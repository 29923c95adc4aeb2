#include "windows/ConfigDialog.h"

#include "settings/ConfigForm.h"
#include "windows/Fonts.h"
#include "windows/ScreenUnits.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QValidator>

#include <algorithm>

namespace vindel::windows {
namespace {

// Read when a browse button is pressed, in the language the program shows.
QString executableFilter()
{
    return QCoreApplication::translate("ConfigDialog", "実行ﾌｧｲﾙ (*.exe)");
}

// Programs here have no ".exe": all files are offered, and chosen first.
QString allFilesFilter()
{
    return QCoreApplication::translate("ConfigDialog", "すべてのﾌｧｲﾙ (*)");
}

QString waveFilter()
{
    return QCoreApplication::translate("ConfigDialog", "WAVEﾌｧｲﾙ (*.wav)");
}

// Modal to the settings dialog only, as the dialog itself is modal to the
// status window only: the tray icon's menu keeps working meanwhile.
QString openFileDialog(QWidget* parent, const QString& start, const QStringList& filters,
                       const QString& selected)
{
    QFileDialog dialog(parent, QString(), start, filters.join(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.selectNameFilter(selected);
    if (parent)
        dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

// The mail-program setting is a command line: a chosen path with blanks or
// quotes in it is quoted so that it is started as one program.
QString asCommandLine(const QString& path)
{
    if (!path.contains(u' ') && !path.contains(u'\t') && !path.contains(u'"'))
        return path;
    QString quoted = path;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

// The interval box takes two characters from the keyboard. Whatever an edit
// puts in (typing, pasting, dropping) is held to the keyboard rule: only the
// characters that rule lets through, and only as many as fit in the two.
// Text the dialog sets itself (setText) is not checked, so a stored interval
// of three digits shows whole; deleting and moving about work as in any box.
class IntervalInput : public QValidator {
public:
    static constexpr qsizetype typedLimit = 2;

    explicit IntervalInput(QLineEdit* box) : QValidator(box), m_box(box), m_before(box->text())
    {
        connect(box, &QLineEdit::textChanged, this, [this](const QString& text) { m_before = text; });
    }

    // QLineEdit validates what setText puts in as well: let it through.
    void setText(const QString& text)
    {
        m_setting = true;
        m_box->setText(text);
        m_setting = false;
    }

    State validate(QString& input, int& pos) const override
    {
        if (m_setting)
            return Acceptable;
        const QString& before = m_before;
        // The edit replaced the part between what the texts share at the
        // start and at the end; the cursor stands just after what came in.
        qsizetype tail = 0;
        const qsizetype tailLimit = std::min(before.size(), input.size() - pos);
        while (tail < tailLimit && before.at(before.size() - 1 - tail) == input.at(input.size() - 1 - tail))
            ++tail;
        qsizetype head = 0;
        const qsizetype headLimit = std::min(before.size(), input.size()) - tail;
        while (head < headLimit && before.at(head) == input.at(head))
            ++head;
        const QString added = input.mid(head, input.size() - head - tail);
        if (added.isEmpty())
            return Acceptable;

        QString kept;
        for (const QChar typed : added) {
            if (typed != QChar(8) && settings::intervalKeyAccepted(typed))
                kept += typed;
        }
        kept.truncate(std::max<qsizetype>(0, typedLimit - head - tail));
        if (kept.isEmpty())
            return Invalid; // nothing of it may go in: the edit is undone
        input = before.left(head) + kept + before.right(tail);
        pos = static_cast<int>(head + kept.size());
        return Acceptable;
    }

private:
    QLineEdit* m_box;
    QString m_before;
    bool m_setting = false;
};

ConfigDialog::ConfigDialog(settings::Globals& globals, settings::ConfigStore& store, shell::Desktop& desktop,
                           QWidget* parent)
    : CentredDialog(parent), m_globals(globals), m_store(store), m_desktop(desktop),
      m_chooseFile(openFileDialog)
{
    setObjectName(QStringLiteral("frmConf"));
    // Closing it must never end the program: the status strip is a tool
    // window, which does not count as one that keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(captionText());
    setFixedSize(twipsToPixels(5670), twipsToPixels(2895));
    setFont(Fonts::gothic(9));

    auto* general = new QWidget(this);
    general->setObjectName(QStringLiteral("picGeneral"));
    general->setGeometry(twipsRect(0, 0, 5655, 2475));

    // A caption wider than its label (a translation may be) is drawn in a
    // smaller face until it fits; the program's own captions all fit.
    const auto label = [general](const char* name, const char* caption, const QRect& place) {
        const QString shown = QCoreApplication::translate("ConfigDialog", caption);
        auto* text = new QLabel(shown, general);
        text->setObjectName(QString::fromLatin1(name));
        text->setGeometry(place);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QFont face = text->font();
        while (QFontMetrics(face).horizontalAdvance(shown) > place.width() &&
               face.pointSizeF() - 0.25 >= Fonts::smallestPoints)
            face.setPointSizeF(face.pointSizeF() - 0.25);
        text->setFont(face);
    };

    // One row per text box: its caption, the box, and the form field it
    // shows; the fill and OK below go through the same rows.
    using Fields = settings::ConfigFormFields;
    const struct {
        const char* labelName;
        const char* caption;
        QRect labelPlace;
        const char* boxName;
        QRect boxPlace;
        QLineEdit*& box;
        QString Fields::*field;
    } rows[] = {
        {"lblUserName", QT_TRANSLATE_NOOP("ConfigDialog", "ﾕｰｻﾞ名"), twipsRect(120, 180, 855, 195),
         "txtYourName", twipsRect(1020, 120, 4140, 285), m_userName, &Fields::userName},
        {"lblPassWord", QT_TRANSLATE_NOOP("ConfigDialog", "ﾊﾟｽﾜｰﾄﾞ"), twipsRect(120, 480, 855, 195),
         "txtPassWord", twipsRect(1020, 420, 4140, 285), m_password, &Fields::passWord},
        {"lblRemoteHost", QT_TRANSLATE_NOOP("ConfigDialog", "POP3 ｻｰﾊﾞ"), twipsRect(120, 780, 1005, 195),
         "txtPop3Srv", twipsRect(1020, 720, 4140, 315), m_server, &Fields::pop3Server},
        {"lblInterval", QT_TRANSLATE_NOOP("ConfigDialog", "ﾁｪｯｸ間隔"), twipsRect(120, 1080, 855, 195),
         "txtInterval", twipsRect(1020, 1050, 315, 285), m_interval, &Fields::interval},
        {"lblMailerPath", QT_TRANSLATE_NOOP("ConfigDialog", "ﾒｰﾗのﾊﾟｽ"), twipsRect(120, 1380, 855, 255),
         "txtMailerPath", twipsRect(1020, 1350, 4140, 285), m_mailerPath, &Fields::mailerPath},
        {"lblSoundConf", QT_TRANSLATE_NOOP("ConfigDialog", "ｻｳﾝﾄﾞ設定"), twipsRect(120, 1680, 855, 375),
         "txtSoundPath", twipsRect(1020, 1680, 4140, 285), m_soundPath, &Fields::soundPath},
    };
    for (const auto& row : rows) {
        label(row.labelName, row.caption, row.labelPlace);
        row.box = addBox(general, row.boxName, row.boxPlace);
        m_textBoxes.emplace_back(row.box, row.field);
    }
    m_server->setToolTip(QStringLiteral("host or host:port: plain POP3 (port 110)\n"
                                        "pop3s://host[:port]: TLS (port 995)\n"
                                        "pop3+stls://host[:port]: STLS (port 110)\n"
                                        "imaps://host[:port]: IMAP, TLS (port 993)\n"
                                        "imap+starttls://host[:port]: IMAP, STARTTLS (port 143)\n"
                                        "TLS forms may end in #sha256=<certificate fingerprint>"));
    label("Label1", QT_TRANSLATE_NOOP("ConfigDialog", "分"), twipsRect(1380, 1110, 255, 165));

    m_browseMailer = new QPushButton(QStringLiteral(".."), general);
    m_browseMailer->setObjectName(QStringLiteral("cmdPath0"));
    m_browseMailer->setGeometry(twipsRect(5160, 1350, 255, 255));
    m_browseSound = new QPushButton(QStringLiteral(".."), general);
    m_browseSound->setObjectName(QStringLiteral("cmdPath1"));
    m_browseSound->setGeometry(twipsRect(5160, 1710, 255, 255));

    m_mailCountReset = new QCheckBox(
        QCoreApplication::translate("ConfigDialog", "Vindelからﾒｰﾗを起動した際に，ﾒｰﾙ数を初期化する．"),
        general);
    m_mailCountReset->setObjectName(QStringLiteral("chkMailCount"));
    m_mailCountReset->setGeometry(twipsRect(120, 2040, 5055, 255));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOk"));
    m_ok->setGeometry(twipsRect(3120, 2520, 1215, 375));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QCoreApplication::translate("ConfigDialog", "ｷｬﾝｾﾙ"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCansel"));
    m_cancel->setGeometry(twipsRect(4440, 2520, 1215, 375));

    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // '*'
    for (QLineEdit* box : {m_userName, m_password, m_server})
        box->installEventFilter(this);

    setTabOrder(m_userName, m_password);
    setTabOrder(m_password, m_server);
    setTabOrder(m_server, m_interval);
    setTabOrder(m_interval, m_mailerPath);
    setTabOrder(m_mailerPath, m_browseMailer);
    setTabOrder(m_browseMailer, m_soundPath);
    setTabOrder(m_soundPath, m_browseSound);
    setTabOrder(m_browseSound, m_ok);
    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_mailCountReset);

    connect(m_ok, &QPushButton::clicked, this, &ConfigDialog::okPressed);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_browseMailer, &QPushButton::clicked, this, &ConfigDialog::browseMailer);
    connect(m_browseSound, &QPushButton::clicked, this, &ConfigDialog::browseSound);

    const settings::ConfigFormFields fields = settings::formFromRecord(m_globals.config);
    for (const auto& [box, field] : m_textBoxes)
        box->setText(fields.*field);
    m_mailCountReset->setChecked(fields.mailCountReset);
    // Held to the keyboard rule from here on; the stored interval shows whole.
    m_intervalInput = new IntervalInput(m_interval);
    m_interval->setValidator(m_intervalInput);
    m_interval->setAttribute(Qt::WA_InputMethodEnabled, false);

    m_userName->setFocus();
}

ConfigDialog::~ConfigDialog() = default;

void ConfigDialog::setFileChooser(FileChooser chooser)
{
    m_chooseFile = std::move(chooser);
}

QString ConfigDialog::captionText()
{
    // The product name and " の設定", as one text to translate.
    return QCoreApplication::translate("ConfigDialog", "Vindel の設定");
}

QLineEdit* ConfigDialog::addBox(QWidget* container, const char* name, const QRect& place)
{
    auto* box = new QLineEdit(container);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    return box;
}

bool ConfigDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn &&
        (watched == m_userName || watched == m_password || watched == m_server)) {
        // Typing replaces the whole text. Deferred, so that the click that
        // gave the focus does not place the cursor over the selection.
        auto* box = static_cast<QLineEdit*>(watched);
        QTimer::singleShot(0, box, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}

void ConfigDialog::okPressed()
{
    settings::ConfigFormFields fields;
    for (const auto& [box, field] : m_textBoxes)
        fields.*field = box->text();
    fields.mailCountReset = m_mailCountReset->isChecked();
    const bool close = settings::acceptConfigForm(
        fields, m_globals, m_store,
        [this](const QString& text) { m_desktop.showMessage(text, shell::MessageStyle::Exclamation); },
        [this](const QString& text) { m_intervalInput->setText(text); });
    if (close)
        accept();
}

QString ConfigDialog::chooseFile(const QStringList& filters, const QString& selected)
{
    // The two browse buttons share one open dialog: it starts with the file
    // chosen last in this window, else in the home folder; a cancel leaves
    // no name for the next time.
    const QString start = m_fileName.isEmpty() ? QDir::homePath() : m_fileName;
    m_fileName = m_chooseFile(this, start, filters, selected);
    return m_fileName;
}

void ConfigDialog::browseMailer()
{
    const QString chosen = chooseFile({executableFilter(), allFilesFilter()}, allFilesFilter());
    if (!chosen.isEmpty())
        m_mailerPath->setText(asCommandLine(chosen));
}

void ConfigDialog::browseSound()
{
    const QString chosen = chooseFile({waveFilter()}, waveFilter());
    if (chosen.isEmpty())
        return;
    m_soundPath->setText(chosen);
    m_desktop.playSound(m_soundPath->text());
}

} // namespace vindel::windows
