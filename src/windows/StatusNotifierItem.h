#pragma once

#include "shell/Desktop.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>

class QDBusServiceWatcher;

namespace vindel::windows {

class StatusNotifierItemAdaptor;

// One picture as a status notifier hands it over: width, height and the
// pixels as ARGB32 in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using SniPixmaps = QList<SniPixmap>;

// A tip: an icon name, its pictures, a title and a text that may be markup.
struct SniToolTip {
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString text;
};

// The program's icon as a StatusNotifierItem on the session bus, for panels
// that show those (and for Wayland, which has no other tray). It owns its
// registration: it watches for org.kde.StatusNotifierWatcher and registers
// with it whenever one appears, at start-up or later (a panel started after
// the program, or restarted), so the icon shows once a panel does. The
// pictures travel as pixels; the themed icon name "vindel" goes with the
// normal postbox only where that name resolves (the package installs it in
// the hicolor theme), so that a panel never draws another state's picture
// for a name it cannot find. While the new-mail postbox shows, the item's
// status asks for attention. With a menu, the item is a menu: panels show
// it by the icon on either press.
class StatusNotifierItem : public QObject {
    Q_OBJECT

public:
    // menu: the object offered as the item's menu (a BusMenu), or none.
    StatusNotifierItem(QDBusConnection bus, QObject* parent, QObject* menu = nullptr);
    ~StatusNotifierItem() override;

    // Whether the item holds its name on the bus.
    bool isOnBus() const { return !m_service.isEmpty(); }
    // Whether a watcher with a panel behind it has taken the item.
    bool isHosted() const { return m_hosted; }
    // Whether the bus has answered that question yet.
    bool isHostKnown() const { return m_hostKnown; }
    bool hasMenu() const { return m_hasMenu; }

    void show(shell::StatePicture picture, const QString& tip);

    // The item's properties as the bus reads them.
    QString iconName() const;
    QString status() const;
    QString tip() const { return m_tip; }
    SniPixmaps iconPixmap() const;
    SniPixmaps attentionIconPixmap() const;
    SniToolTip toolTip() const;

    // A press from the panel, at a place on the screen (0, 0 when the panel
    // knows none). Presses that come while one waits to be handled are one.
    void press(QSystemTrayIcon::ActivationReason reason, int x, int y);

signals:
    // A left press (Trigger) or a right press (Context) on the icon; a middle
    // press arrives as MiddleClick. Emitted after the bus call has returned.
    void activated(QSystemTrayIcon::ActivationReason reason, QPoint at);
    // Also when the first answer comes, hosted or not.
    void hostedChanged(bool hosted);

private slots:
    void askForHost();

private:
    void registerWithWatcher();
    void setHosted(bool hosted);

    QDBusConnection m_bus;
    StatusNotifierItemAdaptor* m_adaptor = nullptr;
    QString m_service;
    QDBusServiceWatcher* m_watcher = nullptr;
    shell::StatePicture m_picture = shell::StatePicture::Normal;
    QString m_tip;
    bool m_hosted = false;
    bool m_hostKnown = false;
    bool m_hasMenu = false;
    bool m_pressPending = false;
    QSystemTrayIcon::ActivationReason m_pressReason = QSystemTrayIcon::Unknown;
    QPoint m_pressAt;
};

// The org.kde.StatusNotifierItem interface of the item.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QString IconThemePath READ noName)
    Q_PROPERTY(QString IconAccessibleDesc READ accessibleDesc)
    Q_PROPERTY(QString AttentionAccessibleDesc READ accessibleDesc)
    Q_PROPERTY(vindel::windows::SniPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(vindel::windows::SniPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(vindel::windows::SniPixmaps AttentionIconPixmap READ attentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(vindel::windows::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem& item);

    QString category() const { return QStringLiteral("Communications"); }
    QString id() const { return QStringLiteral("vindel"); }
    QString title() const { return QStringLiteral("Vindel"); }
    QString status() const { return m_item.status(); }
    int windowId() const { return 0; }
    QString iconName() const { return m_item.iconName(); }
    SniPixmaps iconPixmap() const { return m_item.iconPixmap(); }
    SniPixmaps attentionIconPixmap() const { return m_item.attentionIconPixmap(); }
    QString noName() const { return {}; }
    SniPixmaps noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return m_item.toolTip(); }
    // What a screen reader says of the picture: the tip, which tells the state.
    QString accessibleDesc() const { return m_item.tip(); }
    // Either press opens the same menu: with the item a menu, panels show
    // the exported one by the icon on a left press too.
    bool itemIsMenu() const { return m_item.hasMenu(); }
    QDBusObjectPath menu() const;

public slots:
    void Activate(int x, int y);
    void ContextMenu(int x, int y);
    void SecondaryActivate(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem& m_item;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip);

} // namespace vindel::windows

Q_DECLARE_METATYPE(vindel::windows::SniPixmap)
Q_DECLARE_METATYPE(vindel::windows::SniToolTip)
