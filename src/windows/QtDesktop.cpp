#include "windows/QtDesktop.h"

#include "platform/QtProcessLauncher.h"
#include "windows/ConfigDialog.h"
#include "windows/Pictures.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace vindel::windows {
namespace {

QMessageBox::Icon iconFor(shell::MessageStyle style)
{
    switch (style) {
    case shell::MessageStyle::Stop:
        return QMessageBox::Critical;
    case shell::MessageStyle::Exclamation:
        return QMessageBox::Warning;
    case shell::MessageStyle::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

QtDesktop::QtDesktop(settings::Globals& globals, settings::ConfigStore& config, QDBusConnection bus,
                     int noticeLifetimeMs)
    : m_globals(globals), m_config(config), m_tray(m_window.menu(), m_window, std::move(bus)),
      m_noticeLifetimeMs(noticeLifetimeMs)
{
    QObject::connect(m_window.menu().aboutAction(), &QAction::triggered, [this] { showAbout(); });
}

QtDesktop::~QtDesktop()
{
    delete m_notice.data();
    delete m_about.data();
}

void QtDesktop::setBehaviour(shell::PopChk* popChk)
{
    m_window.setBehaviour(popChk);
    m_tray.setBehaviour(popChk);
}

void QtDesktop::showAbout()
{
    if (!m_about) {
        auto* about = new AboutWindow(m_globals, *this);
        // However it closes (OK, Enter, Escape, close box), the window is
        // released at once and destroyed afterwards.
        QObject::connect(about, &QDialog::finished, about, [this, about] {
            m_about = nullptr;
            about->deleteLater();
        });
        m_about = about;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void QtDesktop::bringToFront()
{
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    if (!m_window.isVisible())
        m_window.toggleVisible();
    m_window.raise();
    m_window.activateWindow();
}

void QtDesktop::showNotice(const QString& text)
{
    fillNotice(text);
    processPendingEvents();
    // The window may have reached its deadline while events ran: the notice
    // then gets a fresh window rather than being lost.
    if (!m_notice)
        fillNotice(text);
    m_notice->show();
    m_notice->raise();
}

void QtDesktop::fillNotice(const QString& text)
{
    if (!m_notice) {
        // The status window's transient: window managers stack it above
        // that window whatever else raises it. Still centred on the screen,
        // which it does as it first shows (at once).
        auto* notice = new NotifyWindow(m_noticeLifetimeMs, &m_window);
        QObject::connect(notice, &NotifyWindow::released, notice, [this] { m_notice = nullptr; });
        m_notice = notice;
        notice->show();
    }
    m_notice->setStatusText(text);
    m_notice->setWindowTitle(QStringLiteral("Vindel"));
}

void QtDesktop::showMessage(const QString& text, shell::MessageStyle style)
{
    // The texts break lines with CR LF; a lone LF reads the same here.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A box raised from a modal dialog (the settings' own messages) is modal
    // to that dialog, so that the dialog waits for it.
    QWidget* owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : &m_window;
    QMessageBox box(iconFor(style), QStringLiteral("Vindel"), shown, QMessageBox::Ok, owner);
    // Descriptions may quote a server or a file: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowIcon(Pictures::application());
    box.setWindowModality(Qt::WindowModal);
    box.setAttribute(Qt::WA_QuitOnClose, false); // closing a message never ends the program
    box.exec();
}

void QtDesktop::runConfigDialog()
{
    ConfigDialog dialog(m_globals, m_config, *this, &m_window);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
}

std::optional<QString> QtDesktop::startProgram(const QString& commandLine)
{
    return platform::QtProcessLauncher::start(commandLine);
}

void QtDesktop::openUrl(const QString& url)
{
    platform::QtProcessLauncher::openUrl(url);
}

void QtDesktop::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void QtDesktop::quit()
{
    // Leaves every running event loop, nested ones (menus, dialogs) included.
    QCoreApplication::exit(0);
}

void QtDesktop::endNow(int exitCode)
{
    // Nothing of the program may run after this: no unload handlers, no
    // shut-down sequence. Log files are flushed at every write already.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace vindel::windows
