#include "shell/QtMessageBoxes.h"

#include <QMessageBox>

namespace vindel::shell {
namespace {

QMessageBox::Icon iconFor(MessageStyle style)
{
    switch (style) {
    case MessageStyle::Stop:
        return QMessageBox::Critical;
    case MessageStyle::Exclamation:
        return QMessageBox::Warning;
    case MessageStyle::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

void QtMessageBoxes::show(const QString& text, MessageStyle style)
{
    // The texts break lines with CR LF; a lone LF reads the same here.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(iconFor(style), QStringLiteral("Vindel"), shown, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setAttribute(Qt::WA_QuitOnClose, false); // closing a message never ends the program
    box.exec();
}

} // namespace vindel::shell
