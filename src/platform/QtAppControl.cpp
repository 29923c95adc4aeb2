#include "platform/QtAppControl.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace vindel::platform {

void QtAppControl::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void QtAppControl::quit()
{
    // Leaves every running event loop, nested ones (menus, dialogs) included.
    QCoreApplication::exit(0);
}

void QtAppControl::endNow(int exitCode)
{
    // Nothing of the program may run after this: no unload handlers, no
    // shut-down sequence. Log files are flushed at every write already.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace vindel::platform
