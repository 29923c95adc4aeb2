#pragma once

#include "shell/StatusView.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
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
// the program, or restarted), so the icon shows once a panel does. Its
// themed icon name "vindel" goes with the normal postbox, whose artwork the
// package installs in the hicolor theme, so panels can draw it at their own
// size; the new-mail and error postboxes are handed over as pictures only.
// While the new-mail postbox shows, the item's status asks for attention.
class StatusNotifierItem : public QObject {
    Q_OBJECT

public:
    StatusNotifierItem(QDBusConnection bus, QObject* parent);
    ~StatusNotifierItem() override;

    // Whether the item holds its name on the bus.
    bool isOnBus() const { return !m_service.isEmpty(); }
    // Whether a watcher with a panel behind it has taken the item.
    bool isHosted() const { return m_hosted; }

    void show(shell::StatePicture picture, const QString& tip);

    // The item's properties as the bus reads them.
    QString iconName() const;
    QString status() const;
    SniPixmaps iconPixmap() const;
    SniPixmaps attentionIconPixmap() const;
    SniToolTip toolTip() const;

signals:
    // A left press (Trigger) or a right press (Context) on the icon; a middle
    // press arrives as MiddleClick. Handled after the bus call has returned.
    void activated(QSystemTrayIcon::ActivationReason reason);
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
    // The program's own menu opens on either press, so panels are told to
    // send both presses rather than show a menu of their own.
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }

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
