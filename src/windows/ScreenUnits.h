#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace vindel::windows {

// Window layouts are given in twips (1/1440 inch). The primary screen's
// logical resolution turns them into pixels: 15 twips per pixel at 96 dpi.
double twipsPerPixel();
int twipsToPixels(double twips);
int pixelsToTwips(double pixels);
QRect twipsRect(int left, int top, int width, int height);

// Places a top-level window in the middle of the whole primary screen, task
// bars included, using the window's outer size as far as it is known.
void centreOnScreen(QWidget& window);
// Where centreOnScreen puts the window's outer top left corner.
QPoint centredPosition(const QWidget& window);

// Moves a top-level window, as little as it takes, so that the whole of it
// lies on one screen: the one that shows most of it, else the primary one.
void moveOntoScreen(QWidget& window);

} // namespace vindel::windows
