#include "windows/ScreenUnits.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vindel::windows {

double twipsPerPixel()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

int pixelsToTwips(double pixels)
{
    return static_cast<int>(std::lround(pixels * twipsPerPixel()));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

QPoint centredPosition(const QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return window.pos();
    const QRect whole = screen->geometry();
    const QSize outer = window.frameGeometry().size();
    return {whole.x() + (whole.width() - outer.width()) / 2,
            whole.y() + (whole.height() - outer.height()) / 2};
}

void centreOnScreen(QWidget& window)
{
    window.move(centredPosition(window));
}

void moveOntoScreen(QWidget& window)
{
    const QRect outer = window.frameGeometry();
    // The screen that shows most of the window, or the primary one when it
    // is on none of them.
    const QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->geometry().intersected(outer);
        const qint64 area = qint64(shared.width()) * shared.height();
        if (!shared.isEmpty() && area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (!best)
        best = QGuiApplication::primaryScreen();
    if (!best)
        return;
    const QRect whole = best->geometry();
    // A window larger than the screen keeps its top left corner in view.
    const int left = std::max(whole.left(), std::min(outer.left(), whole.right() + 1 - outer.width()));
    const int top = std::max(whole.top(), std::min(outer.top(), whole.bottom() + 1 - outer.height()));
    if (left != outer.left() || top != outer.top())
        window.move(left, top);
}

} // namespace vindel::windows
