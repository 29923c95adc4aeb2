#include "shell/DisplayPlatform.h"

namespace vindel::shell {

QByteArray chooseDisplayPlatform(const DisplaySession& session, const QStringList& arguments)
{
    if (!session.qpaPlatform.isEmpty())
        return {};
    // Qt reads its options with one or two dashes.
    for (const QString& argument : arguments)
        if (argument == u"-platform" || argument == u"--platform")
            return {};
    const bool wayland = !session.waylandDisplay.isEmpty() || session.sessionType == "wayland";
    if (wayland && !session.display.isEmpty())
        return QByteArrayLiteral("xcb");
    return {};
}

} // namespace vindel::shell
