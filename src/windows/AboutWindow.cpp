#include "windows/AboutWindow.h"

#include "BuildInfo.h"
#include "windows/Fonts.h"
#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStringList>

namespace vindel::windows {
namespace {

const QColor darkBlue(0, 0, 192);

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

AboutWindow::AboutWindow(const settings::Globals& globals, shell::Desktop& desktop, QWidget* parent)
    : CentredDialog(parent), m_globals(globals), m_desktop(desktop)
{
    setObjectName(QStringLiteral("frmAbout"));
    // Closing it must never end the program: the status strip is a tool
    // window, which does not count as one that keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(twipsToPixels(4890), twipsToPixels(3510));
    setFont(Fonts::gothic(9));
    setWindowTitle(captionText());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setGeometry(twipsRect(240, 240, 540, 540));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setPixmap(Pictures::about().pixmap(32, 32));

    QLabel* title = addLabel("lblTitle", QStringLiteral("Vindel"), twipsRect(1050, 240, 3615, 270));
    title->setFont(Fonts::gothic(9.75));
    setTextColour(title, darkBlue);

    QLabel* version = addLabel("lblVersion", versionText(), twipsRect(1050, 570, 3885, 225));
    version->setFont(Fonts::gothic(9.75));

    addLabel("lblDescription", descriptionText(), twipsRect(1080, 870, 3615, 945));

    m_mailAddress =
        addLabel("lblMailAddress", QString::fromUtf8(build::contact), twipsRect(1080, 1920, 3585, 255));
    setTextColour(m_mailAddress, darkBlue);
    m_mailAddress->setCursor(Pictures::envelopeCursor());
    m_mailAddress->installEventFilter(this);

    m_homepage =
        addLabel("lblHomepage", QString::fromUtf8(build::homepage), twipsRect(1080, 2280, 3585, 285));
    setTextColour(m_homepage, darkBlue);
    m_homepage->setCursor(Qt::PointingHandCursor);
    m_homepage->installEventFilter(this);

    QLabel* disclaimer =
        addLabel("lblDisclaimer", QString::fromUtf8(build::copyright), twipsRect(225, 2985, 3120, 390));
    disclaimer->setWordWrap(true);

    // Both the default and the cancel button: Enter and Escape press it.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(3390, 3030, 1310, 345));
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Every press, key and close box reaches this window or one of its
    // controls: all of them pass through the filter that holds input back
    // while a modal dialog is up.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

AboutWindow::~AboutWindow() = default;

QString AboutWindow::captionText()
{
    // The product name and " のﾊﾞｰｼﾞｮﾝ情報", as one text to translate.
    return QCoreApplication::translate("AboutWindow", "Vindel のﾊﾞｰｼﾞｮﾝ情報");
}

QString AboutWindow::versionText()
{
    return QCoreApplication::translate("AboutWindow", "ﾊﾞｰｼﾞｮﾝ %1.%2.%3")
        .arg(build::versionMajor)
        .arg(build::versionMinor)
        .arg(build::versionRevision);
}

QString AboutWindow::descriptionText()
{
    return QStringList{QCoreApplication::translate("AboutWindow", "このソフトウェアはメールウェアです。"),
                       QCoreApplication::translate("AboutWindow", "無料でご利用になれますが、使用する"),
                       QCoreApplication::translate("AboutWindow", "際には以下の宛先にメールしてください。"),
                       QCoreApplication::translate("AboutWindow", "「使ってま～す！」の一言でも結構です。"),
                       QCoreApplication::translate("AboutWindow", "バージョンアップの際にご連絡します。")}
        .join(QStringLiteral("\r\n"));
}

QLabel* AboutWindow::addLabel(const char* name, const QString& text, const QRect& place)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

bool AboutWindow::heldByModalDialog(const QEvent& event) const
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        break;
    case QEvent::Close:
        // The close box; the program itself may still close the window.
        if (!event.spontaneous())
            return false;
        break;
    default:
        return false;
    }
    // The settings dialog and the message boxes are modal to the status
    // window only, so that the tray icon keeps taking presses; Qt would not
    // hold back this window's input for them, so this does.
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal != this;
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (heldByModalDialog(*event)) {
        event->ignore();
        return true;
    }
    if ((watched == m_homepage || watched == m_mailAddress) && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = static_cast<QLabel*>(watched);
        // A click: released over the label it was pressed on.
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (watched == m_homepage)
                m_desktop.openUrl(m_homepage->text());
            else
                (void)m_desktop.startProgram(m_globals.config.MailerPath); // failures are ignored
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AboutWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // An etched rule: a white line two pixels high under a grey one.
    QPainter painter(this);
    const int y = twipsToPixels(2820);
    const int left = twipsToPixels(210);
    painter.fillRect(QRect(QPoint(left, y), QPoint(twipsToPixels(4620), y + 1)), Qt::white);
    painter.fillRect(QRect(QPoint(left, y), QPoint(twipsToPixels(4650), y)), QColor(128, 128, 128));
}

} // namespace vindel::windows
