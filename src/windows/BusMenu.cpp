#include "windows/BusMenu.h"

#include <QAction>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <QMenu>

namespace vindel::windows {
namespace {

// Qt marks a mnemonic with "&" ("&&" is a literal one); the bus menu marks
// it with "_" ("__" is a literal one).
QString busLabel(const QString& text)
{
    QString label;
    label.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'&' && i + 1 < text.size() && text[i + 1] == u'&') {
            label += u'&';
            ++i;
        } else if (c == u'&') {
            label += u'_';
        } else if (c == u'_') {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}

QVariantMap only(const QVariantMap& all, const QStringList& names)
{
    if (names.isEmpty())
        return all;
    QVariantMap chosen;
    for (const QString& name : names)
        if (all.contains(name))
            chosen.insert(name, all.value(name));
    return chosen;
}

} // namespace

void registerBusMenuTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<BusMenuLayout>();
        qDBusRegisterMetaType<BusMenuProperties>();
        qDBusRegisterMetaType<BusMenuPropertiesList>();
        qDBusRegisterMetaType<BusMenuRemovedProperties>();
        qDBusRegisterMetaType<BusMenuRemovedPropertiesList>();
        qDBusRegisterMetaType<BusMenuEvent>();
        qDBusRegisterMetaType<BusMenuEventList>();
        qDBusRegisterMetaType<QList<int>>();
        // Signals are relayed by the type names they were declared with.
        qRegisterMetaType<BusMenuPropertiesList>("vindel::windows::BusMenuPropertiesList");
        qRegisterMetaType<BusMenuRemovedPropertiesList>("vindel::windows::BusMenuRemovedPropertiesList");
        qRegisterMetaType<BusMenuEventList>("vindel::windows::BusMenuEventList");
        return true;
    }();
    (void)registered;
}

BusMenu::BusMenu(QMenu& menu, std::function<void()> prepare, QObject* parent)
    : QObject(parent), m_menu(menu), m_prepare(std::move(prepare))
{
    registerBusMenuTypes();
    m_adaptor = new BusMenuAdaptor(*this);
    for (QAction* action : m_menu.actions())
        connect(action, &QAction::changed, this, [this, action] { noteChanged(action); });
}

BusMenu::~BusMenu() = default;

QAction* BusMenu::action(int id) const
{
    const QList<QAction*> actions = m_menu.actions();
    return id >= 1 && id <= actions.size() ? actions[id - 1] : nullptr;
}

bool BusMenu::hasItem(int id) const
{
    return id == 0 || action(id);
}

QVariantMap BusMenu::properties(int id, const QStringList& names) const
{
    if (id == 0)
        return only({{QStringLiteral("children-display"), QStringLiteral("submenu")}}, names);
    const QAction* entry = action(id);
    if (!entry)
        return {};
    QVariantMap all{{QStringLiteral("visible"), entry->isVisible()}};
    if (entry->isSeparator()) {
        all.insert(QStringLiteral("type"), QStringLiteral("separator"));
        return only(all, names);
    }
    all.insert(QStringLiteral("type"), QStringLiteral("standard"));
    all.insert(QStringLiteral("label"), busLabel(entry->text()));
    all.insert(QStringLiteral("enabled"), entry->isEnabled());
    if (entry->isCheckable()) {
        all.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        all.insert(QStringLiteral("toggle-state"), entry->isChecked() ? 1 : 0);
    }
    return only(all, names);
}

BusMenuLayout BusMenu::layout(int id, const QStringList& names) const
{
    BusMenuLayout layout{id, properties(id, names), {}};
    if (id == 0) {
        for (int child = 1; child <= m_menu.actions().size(); ++child)
            layout.children << BusMenuLayout{child, properties(child, names), {}};
    }
    return layout;
}

bool BusMenu::aboutToShow(int id)
{
    if (id != 0 || !m_prepare)
        return false;
    const BusMenuLayout before = layout(0, {});
    m_prepare();
    const BusMenuLayout after = layout(0, {});
    for (qsizetype i = 0; i < before.children.size(); ++i)
        if (before.children[i].properties != after.children[i].properties)
            return true;
    return false;
}

bool BusMenu::event(int id, const QString& eventId)
{
    QAction* entry = action(id);
    if (!entry && id != 0)
        return false;
    if (entry && eventId == QStringLiteral("clicked")) {
        // The panel waits for the answer; the command may run a dialog or
        // end the program, so it runs once the call is answered. An entry
        // disabled by then does nothing, as in the QMenu.
        QMetaObject::invokeMethod(
            entry,
            [entry] {
                if (entry->isEnabled())
                    entry->trigger();
            },
            Qt::QueuedConnection);
    }
    return true;
}

void BusMenu::noteChanged(QAction* action)
{
    const int id = static_cast<int>(m_menu.actions().indexOf(action)) + 1;
    if (id == 0 || m_changed.contains(id))
        return;
    const bool first = m_changed.isEmpty();
    m_changed << id;
    // Several changes at once (the enabling sets two entries) go out as one signal.
    if (first)
        QMetaObject::invokeMethod(this, &BusMenu::announceChanges, Qt::QueuedConnection);
}

void BusMenu::announceChanges()
{
    BusMenuPropertiesList updated;
    for (const int id : std::as_const(m_changed))
        if (action(id))
            updated << BusMenuProperties{id, properties(id)};
    m_changed.clear();
    ++m_revision;
    if (!updated.isEmpty())
        emit m_adaptor->ItemsPropertiesUpdated(updated, {});
}

BusMenuAdaptor::BusMenuAdaptor(BusMenu& menu) : QDBusAbstractAdaptor(&menu), m_menu(menu) {}

QString BusMenuAdaptor::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

void BusMenuAdaptor::unknownItem(int id)
{
    // Qt D-Bus keeps the call's context on the object behind the adaptor.
    if (m_menu.calledFromDBus())
        m_menu.sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No menu entry %1").arg(id));
}

uint BusMenuAdaptor::GetLayout(int parentId, int, const QStringList& propertyNames, BusMenuLayout& layout)
{
    if (!m_menu.hasItem(parentId)) {
        unknownItem(parentId);
        return 0;
    }
    // Panels ask for the layout as they open the menu; some never call AboutToShow.
    m_menu.aboutToShow(parentId);
    layout = m_menu.layout(parentId, propertyNames);
    return m_menu.revision();
}

BusMenuPropertiesList BusMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                         const QStringList& propertyNames)
{
    QList<int> wanted = ids;
    if (wanted.isEmpty())
        for (int id = 0; m_menu.hasItem(id); ++id)
            wanted << id;
    BusMenuPropertiesList found;
    for (const int id : std::as_const(wanted))
        if (m_menu.hasItem(id))
            found << BusMenuProperties{id, m_menu.properties(id, propertyNames)};
    return found;
}

QDBusVariant BusMenuAdaptor::GetProperty(int id, const QString& name)
{
    if (!m_menu.hasItem(id)) {
        unknownItem(id);
        return QDBusVariant(QString());
    }
    const QVariantMap properties = m_menu.properties(id, {name});
    if (properties.isEmpty() && m_menu.calledFromDBus())
        m_menu.sendErrorReply(QDBusError::InvalidArgs,
                              QStringLiteral("Entry %1 has no %2").arg(id).arg(name));
    return QDBusVariant(properties.value(name, QString()));
}

void BusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint)
{
    if (!m_menu.event(id, eventId))
        unknownItem(id);
}

QList<int> BusMenuAdaptor::EventGroup(const BusMenuEventList& events)
{
    QList<int> idErrors;
    for (const BusMenuEvent& event : events)
        if (!m_menu.event(event.id, event.eventId))
            idErrors << event.id;
    return idErrors;
}

bool BusMenuAdaptor::AboutToShow(int id)
{
    if (!m_menu.hasItem(id)) {
        unknownItem(id);
        return false;
    }
    return m_menu.aboutToShow(id);
}

QList<int> BusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    QList<int> updatesNeeded;
    for (const int id : ids) {
        if (!m_menu.hasItem(id))
            idErrors << id;
        else if (m_menu.aboutToShow(id))
            updatesNeeded << id;
    }
    return updatesNeeded;
}

QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuLayout& layout)
{
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const BusMenuLayout& child : layout.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuLayout& layout)
{
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    layout.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        layout.children << qdbus_cast<BusMenuLayout>(child.variant().value<QDBusArgument>());
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuProperties& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuProperties& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuRemovedProperties& item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuRemovedProperties& item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const BusMenuEvent& event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BusMenuEvent& event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

} // namespace vindel::windows
