#include "settings/ConfigStore.h"

#include "settings/ConversionErrors.h"

#include <cmath>
#include <limits>
#include <variant>

namespace vindel::settings {
namespace {

const QString appName = QStringLiteral("Vindel");
const QString sectionName = QStringLiteral("Config");
constexpr qint16 defaultInterval = 10;

// Converts stored text to a whole number of the field's width: blanks around
// it are ignored and a fraction is rounded to the nearest, halves to even.
template <typename Int> std::variant<Int, diag::Failure> toInteger(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || std::isnan(value))
        return typeMismatch();
    const double rounded = std::nearbyint(value); // the default mode rounds halves to even
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
        return overflow();
    return static_cast<Int>(rounded);
}

QString boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// Half of a difference in twips, dropping the remainder toward zero.
int centred(int screen, int window)
{
    return (screen - window) / 2;
}

// A stored edge beyond the screen puts the window against the screen's far
// edge, a negative one at 0; an edge exactly at the screen's size is kept.
int onScreen(qint32 stored, int screen, int window)
{
    if (stored > screen)
        return screen - window;
    return stored < 0 ? 0 : stored;
}

} // namespace

ConfigStore::ConfigStore(Globals& globals, SettingsStore& store, WindowPlacement& window)
    : m_globals(globals), m_store(store), m_window(window)
{
}

QString ConfigStore::read(const QString& key) const
{
    return m_store.get(appName, sectionName, key);
}

std::optional<diag::Failure> ConfigStore::loadConfig()
{
    if (auto refused = m_store.refusal(appName))
        return refused;
    ConfigRecord& config = m_globals.config;
    config.UserName = read(QStringLiteral("UserName"));
    config.PassWord = read(QStringLiteral("PassWord"));
    config.Pop3Server = read(QStringLiteral("Pop3Server"));

    const QString interval = read(QStringLiteral("Interval"));
    if (interval.isEmpty()) {
        config.Interval = defaultInterval;
    } else {
        const auto converted = toInteger<qint16>(interval);
        if (const auto* failure = std::get_if<diag::Failure>(&converted))
            return *failure;
        config.Interval = std::get<qint16>(converted);
    }

    config.MailerPath = read(QStringLiteral("MailerPath"));
    config.SoundPath = read(QStringLiteral("SoundPath"));

    if (auto failure = placeWindow())
        return failure;

    const bool topMost = read(QStringLiteral("TopMost")) == QLatin1String("True");
    m_window.setTopMost(topMost);
    config.TopMost = topMost;
    m_window.setFormTopChecked(topMost);

    config.MailCountReset = read(QStringLiteral("MailCountReset")) == QLatin1String("True");
    return std::nullopt;
}

std::optional<diag::Failure> ConfigStore::placeWindow()
{
    ConfigRecord& config = m_globals.config;
    const int screenWidth = m_window.screenWidthTwips();
    const int screenHeight = m_window.screenHeightTwips();
    const int width = m_window.windowWidthTwips();
    const int height = m_window.windowHeightTwips();

    if (read(QStringLiteral("PosTop")).isEmpty() || read(QStringLiteral("PosLeft")).isEmpty()) {
        // No stored position: centre, and leave the record's values alone.
        m_window.setTopTwips(centred(screenHeight, height));
        m_window.setLeftTwips(centred(screenWidth, width));
        return std::nullopt;
    }

    const auto left = toInteger<qint32>(read(QStringLiteral("PosLeft")));
    if (const auto* failure = std::get_if<diag::Failure>(&left))
        return *failure;
    config.PosLeft = std::get<qint32>(left);
    m_window.setLeftTwips(onScreen(config.PosLeft, screenWidth, width));

    const auto top = toInteger<qint32>(read(QStringLiteral("PosTop")));
    if (const auto* failure = std::get_if<diag::Failure>(&top))
        return *failure;
    config.PosTop = std::get<qint32>(top);
    m_window.setTopTwips(onScreen(config.PosTop, screenHeight, height));
    return std::nullopt;
}

void ConfigStore::saveConfig()
{
    const ConfigRecord& config = m_globals.config;
    // One batch, so that the store keeps the record whole: a crash in the
    // middle of a save leaves the old record or the new one, never a mix.
    const QList<QPair<QString, QString>> values = {
        {QStringLiteral("UserName"), config.UserName},
        {QStringLiteral("PassWord"), config.PassWord},
        {QStringLiteral("Pop3Server"), config.Pop3Server},
        {QStringLiteral("Interval"), QString::number(config.Interval)},
        {QStringLiteral("MailerPath"), config.MailerPath},
        {QStringLiteral("SoundPath"), config.SoundPath},
        {QStringLiteral("PosLeft"), QString::number(config.PosLeft)},
        {QStringLiteral("PosTop"), QString::number(config.PosTop)},
        {QStringLiteral("TopMost"), boolText(config.TopMost)},
        {QStringLiteral("MailCountReset"), boolText(config.MailCountReset)},
    };
    m_store.saveAll(appName, sectionName, values); // a failed save is not reported
}

QByteArray ConfigStore::userNameBytes() const
{
    return m_store.storedBytes(appName, sectionName, QStringLiteral("UserName"), m_globals.config.UserName);
}

QByteArray ConfigStore::passWordBytes() const
{
    return m_store.storedBytes(appName, sectionName, QStringLiteral("PassWord"), m_globals.config.PassWord);
}

} // namespace vindel::settings
