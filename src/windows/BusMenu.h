#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QAction;
class QMenu;

namespace vindel::windows {

class BusMenuAdaptor;

// One entry of the menu as the bus carries it: its id, its properties and
// its children, each child wrapped in a variant.
struct BusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<BusMenuLayout> children;
};

// The properties of one entry, or the names of those it lost.
struct BusMenuProperties {
    int id = 0;
    QVariantMap properties;
};
using BusMenuPropertiesList = QList<BusMenuProperties>;
struct BusMenuRemovedProperties {
    int id = 0;
    QStringList names;
};
using BusMenuRemovedPropertiesList = QList<BusMenuRemovedProperties>;

// One event of a group: the entry, what happened ("clicked"), its data and time.
struct BusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using BusMenuEventList = QList<BusMenuEvent>;

// A pop-up menu offered on the session bus (com.canonical.dbusmenu), so that
// a panel showing the status notifier item can draw the program's menu by
// the icon itself. The entries, their texts, enabling and check marks are
// read from the QMenu's own actions every time a panel asks: there is one
// menu, shown two ways. A panel's "clicked" triggers the action from the
// event loop after the bus call has been answered, as a click in the QMenu
// would. Ids: 0 is the menu itself, n the n-th action.
class BusMenu : public QObject, public QDBusContext {
    Q_OBJECT

public:
    // prepare: run when a panel is about to show the menu (sets enabling).
    BusMenu(QMenu& menu, std::function<void()> prepare, QObject* parent = nullptr);
    ~BusMenu() override;

    static QString objectPath() { return QStringLiteral("/MenuBar"); }

    // The layout from `id` down, with only the properties named (all when none).
    BusMenuLayout layout(int id, const QStringList& names) const;
    // The properties of one entry; empty for an unknown id.
    QVariantMap properties(int id, const QStringList& names = {}) const;
    bool hasItem(int id) const;
    uint revision() const { return m_revision; }

    // A panel is about to show the entry: the enabling is set afresh.
    // Returns whether any entry changed.
    bool aboutToShow(int id);
    // "clicked" on an entry: queued, so it runs after the call returns.
    bool event(int id, const QString& eventId);

private:
    QAction* action(int id) const;
    void noteChanged(QAction* action);
    void announceChanges();

    QMenu& m_menu;
    std::function<void()> m_prepare;
    BusMenuAdaptor* m_adaptor = nullptr;
    uint m_revision = 1;
    QList<int> m_changed;
};

// The com.canonical.dbusmenu interface of a BusMenu.
class BusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit BusMenuAdaptor(BusMenu& menu);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   vindel::windows::BusMenuLayout& layout);
    vindel::windows::BusMenuPropertiesList GetGroupProperties(const QList<int>& ids,
                                                              const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const vindel::windows::BusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const vindel::windows::BusMenuPropertiesList& updatedProps,
                                const vindel::windows::BusMenuRemovedPropertiesList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    void unknownItem(int id);

    BusMenu& m_menu;
};

QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuRemovedProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuRemovedProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuEvent& event);

// Registers the types above with Qt D-Bus; safe to call more than once.
void registerBusMenuTypes();

} // namespace vindel::windows

Q_DECLARE_METATYPE(vindel::windows::BusMenuLayout)
Q_DECLARE_METATYPE(vindel::windows::BusMenuProperties)
Q_DECLARE_METATYPE(vindel::windows::BusMenuRemovedProperties)
Q_DECLARE_METATYPE(vindel::windows::BusMenuEvent)
