#include "shell/Pictures.h"

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

namespace vindel::shell {
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

QIcon Pictures::state(StatePicture picture)
{
    switch (picture) {
    case StatePicture::NewMail:
        return load(QStringLiteral("state-newmail"));
    case StatePicture::Error:
        return load(QStringLiteral("state-error"));
    case StatePicture::Normal:
        break;
    }
    return load(QStringLiteral("state-normal"), {16, 32, 48, 256});
}

QIcon Pictures::mailer()
{
    return load(QStringLiteral("mailer"));
}

QIcon Pictures::notice()
{
    return load(QStringLiteral("notice"));
}

QIcon Pictures::about()
{
    return load(QStringLiteral("about"));
}

QCursor Pictures::envelopeCursor()
{
    registerPictures();
    // The hot spot is the envelope's upper left corner.
    return QCursor(QPixmap(QStringLiteral(":/pictures/cursor-envelope-32.png")), 10, 8);
}

} // namespace vindel::shell
