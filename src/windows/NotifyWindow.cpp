#include "windows/NotifyWindow.h"

#include "windows/Fonts.h"
#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace vindel::windows {

NotifyWindow::NotifyWindow(int lifetimeMs, QWidget* parent) : CentredDialog(parent, Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmNotify"));
    // Closing it must never end the program: the status strip is a tool
    // window, which does not count as one that keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowIcon(Pictures::notice());
    setFixedSize(twipsToPixels(2070), twipsToPixels(1185));
    setFont(Fonts::sansSerif(8.25));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setGeometry(twipsRect(420, 660, 1215, 375));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &NotifyWindow::closeStep);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setGeometry(twipsRect(240, 240, 1575, 255));
    m_status->setAlignment(Qt::AlignCenter);
    setStatusText(QStringLiteral("You have ??? Mail(s)"));
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_status->setPalette(palette);

    m_ok->setFocus();

    // Counts from creation: a second notice reuses the window but does not
    // give it more time.
    m_unload.setSingleShot(true);
    m_unload.setTimerType(Qt::PreciseTimer);
    connect(&m_unload, &QTimer::timeout, this, &NotifyWindow::closeStep);
    m_unload.start(lifetimeMs);
}

NotifyWindow::~NotifyWindow() = default;

void NotifyWindow::setStatusText(const QString& text)
{
    // The count comes from the server: shown as plain text, shrunk or cut
    // to fit the label.
    m_statusText = text;
    Fonts::showFitted(*m_status, font(), text);
}

QString NotifyWindow::statusText() const
{
    return m_statusText;
}

void NotifyWindow::closeStep()
{
    if (m_closing)
        return;
    m_closing = true;
    m_unload.stop();
    hide();
    emit released();
    deleteLater();
}

void NotifyWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    closeStep();
}

void NotifyWindow::keyPressEvent(QKeyEvent* event)
{
    // The notice has no cancel button: Escape does not close it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vindel::windows
