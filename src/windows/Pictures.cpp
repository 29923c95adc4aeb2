#include "windows/Pictures.h"

#include "windows/BakedPictures.h"

#include <QImage>
#include <QPixmap>

#include <cstring>
#include <initializer_list>
#include <string_view>

namespace vindel::windows {
namespace {

// A picture from the pixels compiled into the program. Reading image files
// would load every image format plug-in Qt has, and keep them for the run.
QPixmap baked(std::string_view name, int size)
{
    for (const BakedPicture& picture : bakedPictures()) {
        if (picture.name != name || picture.size != size)
            continue;
        const QByteArray pixels =
            qUncompress(picture.packedPixels.data(), qsizetype(picture.packedPixels.size()));
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        if (pixels.size() != image.sizeInBytes())
            break;
        std::memcpy(image.bits(), pixels.constData(), pixels.size());
        return QPixmap::fromImage(std::move(image));
    }
    qFatal("picture %.*s-%d is not baked into the program", int(name.size()), name.data(), size);
}

QIcon load(std::string_view name, std::initializer_list<int> sizes = {16, 32})
{
    QIcon icon;
    for (const int size : sizes)
        icon.addPixmap(baked(name, size));
    return icon;
}

} // namespace

// Each picture is made once and then shared: the state pictures change with
// every new count, and making them afresh each time only adds memory.
QIcon Pictures::state(shell::StatePicture picture)
{
    static const QIcon normal = load("state-normal", {16, 32, 48, 256});
    static const QIcon newMail = load("state-newmail");
    static const QIcon error = load("state-error");
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
    static const QIcon icon = load("mailer");
    return icon;
}

QIcon Pictures::notice()
{
    static const QIcon icon = load("notice");
    return icon;
}

QIcon Pictures::about()
{
    static const QIcon icon = load("about");
    return icon;
}

QCursor Pictures::envelopeCursor()
{
    // The hot spot is the envelope's upper left corner.
    return QCursor(baked("cursor-envelope", 32), 10, 8);
}

} // namespace vindel::windows
