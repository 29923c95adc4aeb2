#include "windows/StatusNotifierItem.h"

#include "windows/Pictures.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QtEndian>

namespace vindel::windows {
namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

// Every size the picture was drawn at, so the panel can take the nearest.
SniPixmaps pixmapsOf(const QIcon& icon)
{
    SniPixmaps pixmaps;
    for (const QSize& size : icon.availableSizes()) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        SniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.pixels.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps << pixmap;
    }
    return pixmaps;
}

QDBusMessage watcherCall(const QString& interface, const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, watcherPath, interface, method);
    // A watcher is the panel's to start; asking must not start one.
    call.setAutoStartService(false);
    return call;
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_adaptor(new StatusNotifierItemAdaptor(*this))
{
    static const bool typesRegistered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmaps>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    (void)typesRegistered;
    if (!m_bus.isConnected())
        return;
    // The conventional name, unique to this process: the icon is one of its kind.
    const QString service =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!m_bus.registerObject(itemPath, this, QDBusConnection::ExportAdaptors))
        return;
    if (!m_bus.registerService(service)) {
        m_bus.unregisterObject(itemPath);
        return;
    }
    m_service = service;

    m_watcher = new QDBusServiceWatcher(
        watcherService, m_bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierItem::registerWithWatcher);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { setHosted(false); });
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        m_bus.connect(watcherService, watcherPath, watcherService, QString::fromLatin1(signal), this,
                      SLOT(askForHost()));
    // A watcher that is there already; one that is not yet answers nothing.
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (!isOnBus())
        return;
    // Losing the name takes the icon off every panel at once.
    m_bus.unregisterService(m_service);
    m_bus.unregisterObject(itemPath);
}

void StatusNotifierItem::registerWithWatcher()
{
    QDBusMessage call = watcherCall(watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_service;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* reply) {
        reply->deleteLater();
        if (reply->isError())
            setHosted(false);
        else
            askForHost();
    });
}

void StatusNotifierItem::askForHost()
{
    QDBusMessage call = watcherCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* reply) {
        reply->deleteLater();
        const QDBusPendingReply<QDBusVariant> answer = *reply;
        setHosted(!answer.isError() && answer.value().variant().toBool());
    });
}

void StatusNotifierItem::setHosted(bool hosted)
{
    if (m_hosted == hosted)
        return;
    m_hosted = hosted;
    emit hostedChanged(hosted);
}

void StatusNotifierItem::show(shell::StatePicture picture, const QString& tip)
{
    const QString oldStatus = status();
    const bool newPicture = picture != m_picture;
    m_picture = picture;
    m_tip = tip;
    if (newPicture) {
        emit m_adaptor->NewIcon();
        emit m_adaptor->NewAttentionIcon();
    }
    if (status() != oldStatus)
        emit m_adaptor->NewStatus(status());
    emit m_adaptor->NewToolTip();
}

QString StatusNotifierItem::iconName() const
{
    return m_picture == shell::StatePicture::Normal ? QStringLiteral("vindel") : QString();
}

QString StatusNotifierItem::status() const
{
    return m_picture == shell::StatePicture::NewMail ? QStringLiteral("NeedsAttention")
                                                     : QStringLiteral("Active");
}

SniPixmaps StatusNotifierItem::iconPixmap() const
{
    return pixmapsOf(Pictures::state(m_picture));
}

SniPixmaps StatusNotifierItem::attentionIconPixmap() const
{
    return pixmapsOf(Pictures::state(shell::StatePicture::NewMail));
}

SniToolTip StatusNotifierItem::toolTip() const
{
    // The title is plain text; the text below it, which panels may read as
    // markup, stays empty.
    return {{}, {}, m_tip, {}};
}

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusNotifierItem& item)
    : QDBusAbstractAdaptor(&item), m_item(item)
{
}

// Queued: the menu runs a nested event loop, and the panel waits for the
// answer to its call.
void StatusNotifierItemAdaptor::Activate(int, int)
{
    QMetaObject::invokeMethod(
        &m_item, [this] { emit m_item.activated(QSystemTrayIcon::Trigger); }, Qt::QueuedConnection);
}

void StatusNotifierItemAdaptor::ContextMenu(int, int)
{
    QMetaObject::invokeMethod(
        &m_item, [this] { emit m_item.activated(QSystemTrayIcon::Context); }, Qt::QueuedConnection);
}

void StatusNotifierItemAdaptor::SecondaryActivate(int, int)
{
    QMetaObject::invokeMethod(
        &m_item, [this] { emit m_item.activated(QSystemTrayIcon::MiddleClick); }, Qt::QueuedConnection);
}

void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip)
{
    argument.beginStructure();
    argument << tip.iconName << tip.pixmaps << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip)
{
    argument.beginStructure();
    argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

} // namespace vindel::windows
