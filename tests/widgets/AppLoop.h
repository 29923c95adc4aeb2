#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <functional>
#include <vector>

namespace vindel::test {

// Runs `body` inside the application's own event loop, where Qt also decides
// whether closing a window ends the program.
inline void runInAppLoop(const std::function<void()>& body)
{
    QTimer::singleShot(0, qApp, [&body] {
        body();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
}

// The program's visible top-level windows of one kind.
template <typename Window> std::vector<Window*> visibleWindows()
{
    std::vector<Window*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            found.push_back(window);
    }
    return found;
}

} // namespace vindel::test
