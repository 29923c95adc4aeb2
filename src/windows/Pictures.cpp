#include "windows/Pictures.h"

#include "windows/BakedPictures.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
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

// An icon that keeps its small pictures and makes its large one afresh each
// time it is asked for, then lets it go. Only the window system asks for the
// large size (Qt hands it every size of a window's icon, once per change);
// kept, its pixels would stay resident for the whole run. The answers are
// those of a plain Qt icon holding all the pictures: such an icon takes the
// smallest picture at least as large (by area) as asked for, or else the
// largest, and shrinks it smoothly to fit.
class LargeOnDemandIcon final : public QIconEngine {
public:
    LargeOnDemandIcon(std::string_view name, std::initializer_list<int> kept, int large)
        : m_name(name), m_kept(load(name, kept)), m_largestKept(std::max(kept)), m_large(large)
    {
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (fitsKept(size))
            return m_kept.pixmap(size, 1.0, mode, state);
        if (mode != QIcon::Normal || state != QIcon::Off)
            return withLarge().pixmap(size, 1.0, mode, state);
        // Made here rather than by a Qt icon holding the large picture: that
        // would also keep each answer in Qt's pixmap cache, under a new key
        // every time.
        const QSize fitted =
            QSize(m_large, m_large).scaled(size.boundedTo({m_large, m_large}), Qt::KeepAspectRatio);
        if (fitted == QSize(m_large, m_large))
            return baked(m_name, m_large);
        if (m_shrunk.size() != fitted)
            m_shrunk = baked(m_name, m_large).scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return m_shrunk;
    }
    // size is in device pixels; scale only says how they will be shown.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        if (fitsKept(size))
            return m_kept.pixmap(size / scale, scale, mode, state);
        return pixmap(size, mode, state);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale =
            painter->device() ? painter->device()->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, scaledPixmap(rect.size() * scale, mode, state, scale));
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (fitsKept(size))
            return m_kept.actualSize(size, mode, state);
        return QSize(m_large, m_large).scaled(size.boundedTo({m_large, m_large}), Qt::KeepAspectRatio);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        QList<QSize> sizes = m_kept.availableSizes(mode, state);
        if (!sizes.isEmpty())
            sizes.append(QSize(m_large, m_large));
        return sizes;
    }
    QString key() const override { return QStringLiteral("LargeOnDemandIcon"); }
    QIconEngine* clone() const override { return new LargeOnDemandIcon(*this); }

private:
    // A request no larger (by area) than the largest kept picture never
    // picks the large one.
    bool fitsKept(const QSize& size) const
    {
        return qint64(size.width()) * size.height() <= qint64(m_largestKept) * m_largestKept;
    }
    QIcon withLarge() const
    {
        QIcon all = m_kept;
        all.addPixmap(baked(m_name, m_large));
        return all;
    }

    std::string_view m_name;
    QIcon m_kept;
    int m_largestKept;
    int m_large;
    QPixmap m_shrunk; // the large picture at the last smaller size asked for
};

} // namespace

// Each picture is made once and then shared: the state pictures change with
// every new count, and making them afresh each time only adds memory.
QIcon Pictures::state(shell::StatePicture picture)
{
    static const QIcon normal(new LargeOnDemandIcon("state-normal", {16, 32, 48}, 256));
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
