#include "shell/CentredDialog.h"

#include "shell/Pictures.h"
#include "shell/ScreenUnits.h"

#include <QEvent>

namespace vindel::shell {

CentredDialog::CentredDialog(QWidget* parent, Qt::WindowFlags extraFlags)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint | extraFlags)
{
    setWindowIcon(Pictures::application());
}

void CentredDialog::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        m_frameKnown = frameGeometry().size() != size();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

bool CentredDialog::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    // The window manager adds its frame and title bar only once the window
    // is mapped, and tells the size with the move that follows: the window
    // is centred again by its outer size then, once.
    if (m_placed && !m_frameKnown && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        frameGeometry().size() != size()) {
        m_frameKnown = true;
        centreOnScreen(*this);
    }
    return handled;
}

} // namespace vindel::shell
