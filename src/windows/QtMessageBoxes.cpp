#include "windows/QtMessageBoxes.h"

#include "windows/Pictures.h"

#include <QApplication>
#include <QMessageBox>

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

QtMessageBoxes::QtMessageBoxes(QWidget* owner) : m_owner(owner) {}

void QtMessageBoxes::show(const QString& text, shell::MessageStyle style)
{
    // The texts break lines with CR LF; a lone LF reads the same here.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A box raised from a modal dialog (the settings' own messages) is modal
    // to that dialog, so that the dialog waits for it.
    QWidget* owner = m_owner;
    if (owner && QApplication::activeModalWidget())
        owner = QApplication::activeModalWidget();
    QMessageBox box(iconFor(style), QStringLiteral("Vindel"), shown, QMessageBox::Ok, owner);
    // Descriptions may quote a server or a file: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowIcon(Pictures::application());
    if (owner)
        box.setWindowModality(Qt::WindowModal);
    box.setAttribute(Qt::WA_QuitOnClose, false); // closing a message never ends the program
    box.exec();
}

} // namespace vindel::windows
