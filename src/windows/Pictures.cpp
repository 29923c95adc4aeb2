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
// kept, its pixels would stay resident for the whole run. Every question is
// answered by a plain Qt icon holding either the small pictures or all of
// them, the one that picks the same picture, so what is drawn is unchanged.
class LargeOnDemandIcon final : public QIconEngine {
public:
    LargeOnDemandIcon(std::string_view name, std::initializer_list<int> kept, int large)
        : m_name(name), m_kept(load(name, kept)), m_largestKept(std::max(kept)), m_large(large)
    {
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        // The large picture as it is (what the window system asks for) is
        // what Qt's icon would give, but Qt's would also keep it in its
        // pixmap cache for a while.
        if (size == QSize(m_large, m_large) && mode == QIcon::Normal && state == QIcon::Off)
            return baked(m_name, m_large);
        return iconFor(size).pixmap(size, 1.0, mode, state);
    }
    // size is in device pixels; asking the chosen icon for the same logical
    // size at the same scale gets it the same device pixels.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return iconFor(size).pixmap(size / scale, scale, mode, state);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale =
            painter->device() ? painter->device()->devicePixelRatio() : qApp->devicePixelRatio();
        iconFor(rect.size() * scale).paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return pixmap(size, mode, state).size();
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
    // Qt's pixmap icons take the smallest picture at least as large (by
    // area) as asked for: a request that fits the largest kept picture never
    // picks the large one.
    QIcon iconFor(const QSize& size) const
    {
        if (size.width() <= m_largestKept && size.height() <= m_largestKept)
            return m_kept;
        QIcon all = m_kept;
        all.addPixmap(baked(m_name, m_large));
        return all;
    }

    std::string_view m_name;
    QIcon m_kept;
    int m_largestKept;
    int m_large;
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
