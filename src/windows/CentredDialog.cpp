#include "windows/CentredDialog.h"

#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

namespace vindel::windows {
namespace {
constexpr int frameLookMs = 25;
constexpr int frameLooks = 40; // the frame is looked for during one second
} // namespace

CentredDialog::CentredDialog(QWidget* parent, Qt::WindowFlags extraFlags)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint | extraFlags)
{
    setWindowIcon(Pictures::application());
    m_frameLook.setInterval(frameLookMs);
    connect(&m_frameLook, &QTimer::timeout, this, &CentredDialog::lookForFrame);
}

void CentredDialog::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(*this);
        // The window manager adds its frame and title bar only after the
        // window is mapped, and no event tells when: until the frame shows
        // in the outer size, look for it, then centre again by that size
        // (again, until the window manager has let it stay there).
        if (frameGeometry().size() == size()) {
            m_looksLeft = frameLooks;
            m_frameLook.start();
        }
    }
    QDialog::showEvent(event);
}

void CentredDialog::lookForFrame()
{
    if (!isVisible() || --m_looksLeft <= 0) {
        m_frameLook.stop();
        return;
    }
    if (frameGeometry().size() == size())
        return;
    if (pos() == centredPosition(*this)) {
        m_frameLook.stop();
        return;
    }
    centreOnScreen(*this);
}

} // namespace vindel::windows
