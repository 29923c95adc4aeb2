#include "shell/CentredDialog.h"

#include "shell/ScreenUnits.h"

namespace vindel::shell {

CentredDialog::CentredDialog(QWidget* parent, Qt::WindowFlags extraFlags)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint | extraFlags)
{
}

void CentredDialog::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

} // namespace vindel::shell
