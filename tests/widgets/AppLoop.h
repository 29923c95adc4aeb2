#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <functional>

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

} // namespace vindel::test
