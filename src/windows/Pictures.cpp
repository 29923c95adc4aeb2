#include "windows/Pictures.h"

#include <QPixmap>
#include <QString>

#include <initializer_list>

// The resources live in a static library: registering them explicitly keeps
// the linker from dropping them.
static void registerPictures()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(vindel);
        return true;
    }();
    (void)registered;
}

namespace vindel::windows {
namespace {

QIcon load(const QString& name, std::initializer_list<int> sizes = {16, 32})
{
    registerPictures();
    QIcon icon;
    for (const int size : sizes)
        icon.addFile(QStringLiteral(":/pictures/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

} // namespace

// Each picture is read once and then shared: the state pictures change with
// every new count, and reading them afresh each time only adds memory.
QIcon Pictures::state(shell::StatePicture picture)
{
    static const QIcon normal = load(QStringLiteral("state-normal"), {16, 32, 48, 256});
    static const QIcon newMail = load(QStringLiteral("state-newmail"));
    static const QIcon error = load(QStringLiteral("state-error"));
    switch (picture) {
    case shell::StatePicture::NewMail:
        return newMail;
    case shell::StatePicture::Error:
        return error;
    case shell::StatePicture::Normal:
        break;
    }
    return normal;
}

QIcon Pictures::application()
{
    return state(shell::StatePicture::Normal);
}

QIcon Pictures::mailer()
{
    static const QIcon icon = load(QStringLiteral("mailer"));
    return icon;
}

QIcon Pictures::notice()
{
    static const QIcon icon = load(QStringLiteral("notice"));
    return icon;
}

QIcon Pictures::about()
{
    static const QIcon icon = load(QStringLiteral("about"));
    return icon;
}

QCursor Pictures::envelopeCursor()
{
    registerPictures();
    // The hot spot is the envelope's upper left corner.
    return QCursor(QPixmap(QStringLiteral(":/pictures/cursor-envelope-32.png")), 10, 8);
}

} // namespace vindel::windows
