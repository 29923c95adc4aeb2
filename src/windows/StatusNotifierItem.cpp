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
const QString menuPath = QStringLiteral("/MenuBar");

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

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject* parent, QObject* menu)
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
    // The menu is in place before any panel can learn of the item.
    m_hasMenu = menu && m_bus.registerObject(menuPath, menu, QDBusConnection::ExportAdaptors);
    if (!m_bus.registerService(service)) {
        m_bus.unregisterObject(itemPath);
        if (m_hasMenu)
            m_bus.unregisterObject(menuPath);
        m_hasMenu = false;
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
    if (m_hasMenu)
        m_bus.unregisterObject(menuPath);
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
    if (m_hostKnown && m_hosted == hosted)
        return;
    m_hostKnown = true;
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
    // A name the panel cannot find would leave it drawing whatever it has;
    // without one it draws the pixels, which are always the state's.
    static const bool installed = QIcon::hasThemeIcon(QStringLiteral("vindel"));
    return m_picture == shell::StatePicture::Normal && installed ? QStringLiteral("vindel") : QString();
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

void StatusNotifierItem::press(QSystemTrayIcon::ActivationReason reason, int x, int y)
{
    // Handled from the event loop, after the panel's call is answered: the
    // menu runs a nested event loop, and a call must never wait on it or
    // open one inside another. Presses that come before the first is
    // handled are one, the last left or right one (a flood is one press).
    const bool pending = m_pressPending;
    if (pending && reason == QSystemTrayIcon::MiddleClick)
        return;
    m_pressReason = reason;
    m_pressAt = x == 0 && y == 0 ? QPoint() : QPoint(x, y);
    if (pending)
        return;
    m_pressPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pressPending = false;
            emit activated(m_pressReason, m_pressAt);
        },
        Qt::QueuedConnection);
}

QDBusObjectPath StatusNotifierItemAdaptor::menu() const
{
    return QDBusObjectPath(m_item.hasMenu() ? menuPath : QStringLiteral("/NO_DBUSMENU"));
}

void StatusNotifierItemAdaptor::Activate(int x, int y)
{
    m_item.press(QSystemTrayIcon::Trigger, x, y);
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y)
{
    m_item.press(QSystemTrayIcon::Context, x, y);
}

void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y)
{
    m_item.press(QSystemTrayIcon::MiddleClick, x, y);
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
