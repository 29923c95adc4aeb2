#include "platform/IniSettingsStore.h"

#include "diag/Failures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vindel::platform {
namespace {

// The program's folder and file name, and the file's one section.
const QString appName = QStringLiteral("Vindel");
const QString sectionName = QStringLiteral("Config");

// Key names are written into the file as they are, so they keep
// to the characters that need no escaping there; "General" is the file's
// unnamed section.
bool isUsableName(const QString& name)
{
    const auto plain = [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 128) || c == u'_' || c == u'.' || c == u'-';
    };
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), plain) &&
           name.compare(QStringLiteral("general"), Qt::CaseInsensitive) != 0;
}

// A save hands the writer the order of its keys under this key in their
// section: a name with a leading blank, which no key read from a file has.
const QString orderKey = QStringLiteral(" order");

// ---- QSettings' INI dialect (quotes, backslash escapes, "@@" for a leading
// "@"), one line at a time: a quote never runs on past its line ----

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// The value of a digit in the base, or -1.
int digitIn(char c, int base)
{
    const int lower = c | 0x20;
    const int value = c >= '0' && c <= '9' ? c - '0' : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : 99;
    return value < base ? value : -1;
}

// Calls onLine(text, whole) for every line: its text without the line end
// (LF or CR LF) and a leading byte order mark, and the whole line as it is.
template <typename OnLine> void forEachLine(const QByteArray& data, OnLine onLine)
{
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool last = i + 1 == lines.size();
        QByteArrayView text = lines[i];
        if (last && text.isEmpty())
            break;
        if (text.endsWith('\r'))
            text.chop(1);
        if (i == 0 && text.startsWith("\xEF\xBB\xBF"))
            text = text.sliced(3);
        onLine(text, last ? lines[i] : lines[i] + '\n');
    }
}

// What a line holds: a section header "[Name]", a value "Key=value" (a ";"
// outside quotes starts a comment), or nothing the settings read.
struct Entry {
    enum Kind { Nothing, Header, Value } kind = Nothing;
    QByteArrayView name;
    QByteArrayView value;
};

Entry entryOf(QByteArrayView line)
{
    line = trimmed(line);
    if (line.startsWith('[')) {
        const qsizetype close = line.indexOf(']');
        return {Entry::Header, trimmed(line.sliced(1, (close < 0 ? line.size() : close) - 1)), {}};
    }
    qsizetype equals = -1;
    qsizetype end = 0;
    for (bool inQuotes = false; end < line.size() && (inQuotes || line[end] != ';'); ++end) {
        if (line[end] == '\\')
            ++end;
        else if (line[end] == '"')
            inQuotes = !inQuotes;
        else if (line[end] == '=' && !inQuotes && equals < 0)
            equals = end;
    }
    if (equals <= 0)
        return {};
    end = std::min(end, line.size());
    return {Entry::Value, trimmed(line.first(equals)), line.sliced(equals + 1, end - equals - 1)};
}

// The bytes a stored value stands for: quotes and escapes undone, blanks
// around it dropped; a list (commas outside quotes) is joined back with
// commas. Bytes that are not escaped are kept as they are, valid UTF-8 or not.
QByteArray unescapedValue(QByteArrayView text)
{
    static const QByteArrayView escapes = "abfnrtv\"?'\\";
    static const QByteArrayView escaped = "\a\b\f\n\r\t\v\"?'\\";
    QByteArray out;
    qsizetype i = 0;
    bool inQuotes = false;
    bool quoted = false; // the current item had quotes: its trailing blanks are content
    qsizetype keep = 0;  // blanks before this are content
    const auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    const auto chopBlanks = [&] {
        while (!quoted && out.size() > keep && isBlank(out.back()))
            out.chop(1);
    };
    for (skipBlanks(); i < text.size();) {
        const char c = text[i++];
        if (c == '\\') {
            if (i >= text.size())
                break;
            const char e = text[i++];
            if (const qsizetype simple = escapes.indexOf(e); simple >= 0) {
                out += escaped[simple];
            } else if (e == 'x' || digitIn(e, 8) >= 0) { // a UTF-16 code unit in hex or octal
                const int base = e == 'x' ? 16 : 8;
                if (base == 8)
                    --i; // the escaped character is the first digit
                const qsizetype first = i;
                uint code = 0;
                for (; i < text.size() && digitIn(text[i], base) >= 0; ++i)
                    code = (code * uint(base) + uint(digitIn(text[i], base))) & 0xFFFF;
                if (i > first)
                    out += QString(QChar(char16_t(code))).toUtf8();
            } // any other escaped character is dropped
        } else if (c == '"') {
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            chopBlanks();
            out += ',';
            quoted = false;
            skipBlanks();
        } else {
            out += c;
            continue;
        }
        keep = out.size();
    }
    chopBlanks();

    // Texts that start with "@" are written with another "@" in front; other
    // "@" forms stand for values of other types.
    if (out.startsWith("@@"))
        out.remove(0, 1);
    else if (out == "@Invalid()")
        out.clear();
    else if (out.startsWith("@ByteArray(") && out.endsWith(')'))
        out = out.mid(11, out.size() - 12);
    else if (out.startsWith("@String(") && out.endsWith(')')) // how QSettings writes a text holding NUL
        out = out.mid(8, out.size() - 9);
    return out;
}

// A value's bytes as the file holds them: control characters, quotes and
// backslashes escaped, quotes around it when it holds ";", "," or "=" or
// starts or ends with a blank, another "@" before a leading "@".
QByteArray escapedValue(const QByteArray& value)
{
    static const QByteArrayView escaped = "\a\b\f\n\r\t\v\"\\";
    static const QByteArrayView escapes = "abfnrtv\"\\";
    QByteArray out = value.startsWith('@') ? "@" : "";
    bool escapeNextIfHex = false; // a number escape must not take the next character in
    for (const char c : value) {
        const auto byte = uchar(c);
        const qsizetype simple = escaped.indexOf(c);
        if (c == '\0')
            out += "\\0";
        else if (simple >= 0)
            out += QByteArray("\\") + escapes[simple];
        else if (byte <= 0x1F || (escapeNextIfHex && digitIn(c, 16) >= 0))
            out += "\\x" + QByteArray::number(byte, 16);
        else
            out += c;
        escapeNextIfHex = simple < 0 && (byte <= 0x1F || (escapeNextIfHex && digitIn(c, 16) >= 0));
    }
    const bool needsQuotes = value.contains(';') || value.contains(',') || value.contains('=') ||
                             out.startsWith(' ') || out.endsWith(' ');
    return needsQuotes ? '"' + out + '"' : out;
}

// The file with `lines` ("Key=value" and a line end each) after the header of
// the first `section`, and every other line kept as it is; the lines of
// `keys` go from every copy of the section. A missing section is added at the
// end.
QByteArray rewritten(const QByteArray& data, QByteArrayView section, const QList<QByteArray>& keys,
                     const QByteArray& lines)
{
    QByteArray out;
    bool inSection = false;
    bool inserted = false;
    forEachLine(data, [&](QByteArrayView text, const QByteArray& whole) {
        const Entry entry = entryOf(text);
        if (entry.kind == Entry::Header)
            inSection = entry.name == section;
        if (inSection && entry.kind == Entry::Value && keys.contains(entry.name))
            return;
        out += whole;
        if (inSection && entry.kind == Entry::Header && !inserted) {
            out += (out.endsWith('\n') ? "" : "\n") + lines;
            inserted = true;
        }
    });
    if (!inserted) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
        if (!QByteArray(out).replace('\r', ' ').trimmed().isEmpty())
            out += '\n';
        out += '[' + section.toByteArray() + "]\n" + lines;
    }
    return out;
}

// Reads a file without following a link and without waiting on a pipe: true
// with nothing read when there is no file, false when it is no plain file or
// cannot be read.
bool readPlainFile(const QString& path, QByteArray& data)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status {};
    QFile file;
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        data = file.readAll();
        return file.error() == QFileDevice::NoError;
    }
    const bool absent = fd < 0 && errno == ENOENT;
    if (fd >= 0)
        ::close(fd);
    return absent;
}

// The registered format's reader: every value of the file by "Section/Key",
// as the bytes it stands for (the last, where a key is there twice).
bool readSettings(QIODevice& device, QSettings::SettingsMap& map)
{
    QByteArray section;
    forEachLine(device.readAll(), [&](QByteArrayView text, const QByteArray&) {
        const Entry entry = entryOf(text);
        if (entry.kind == Entry::Header)
            section = entry.name.toByteArray() + '/';
        else if (entry.kind == Entry::Value)
            map.insert(QString::fromUtf8(section + entry.name.toByteArray()), unescapedValue(entry.value));
    });
    return true;
}

// The registered format's writer. It is handed the merged values only, so it
// reads the file as it is now (QSettings holds its lock) and rewrites just the
// keys a save named, in the order named; every other line stays.
bool writeSettings(QIODevice& device, const QSettings::SettingsMap& map)
{
    const auto* file = qobject_cast<QSaveFile*>(&device);
    QByteArray data;
    if (!file || !readPlainFile(file->fileName(), data))
        return false;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!it.key().endsWith(u'/' + orderKey) || it.value().metaType().id() != QMetaType::QStringList)
            continue;
        const QString section = it.key().chopped(orderKey.size() + 1);
        QList<QByteArray> keys;
        QByteArray lines;
        for (const QString& key : it.value().toStringList()) {
            keys.append(key.toUtf8());
            lines += keys.back() + '=' + escapedValue(map.value(section + u'/' + key).toByteArray()) + '\n';
        }
        data = rewritten(data, section.toUtf8(), keys, lines);
    }
    return device.write(data) == data.size();
}

QSettings::Format settingsFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), readSettings, writeSettings);
    return format;
}

// ---- The folder and the file ----

struct Look {
    std::optional<diag::Failure> refusal;
    bool fileExists = false;
};

// Looks at the folder and the file before QSettings opens anything, and
// drops the group and other bits of both. An absent folder or file is no
// refusal: there are no settings yet.
Look lookAt(const QString& folder, const QString& file)
{
    const QByteArray folderName = QFile::encodeName(folder);
    const QByteArray fileName = QFile::encodeName(file);
    const auto ownedByAnother = [](const QString& what, const QString& path) {
        return diag::failures::NotOwned.about(
            QStringLiteral("the settings %1 %2 belongs to another user").arg(what, path));
    };
    const auto accessError = [&](const QString& what) {
        return diag::failures::PathAccess.about(QStringLiteral("the settings file %1 %2").arg(file, what));
    };
    const auto cannotRead = [&](int error) {
        return accessError(
            QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(error))));
    };
    struct stat status {};
    if (::stat(folderName.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return {};
    if (status.st_uid != ::geteuid())
        return {ownedByAnother(QStringLiteral("folder"), folder)};
    if ((status.st_mode & 077) != 0)
        ::chmod(folderName.constData(), status.st_mode & 0700);
    if (::lstat(fileName.constData(), &status) != 0)
        return {errno == ENOENT ? std::nullopt : std::optional(cannotRead(errno))};
    if (!S_ISREG(status.st_mode))
        return {accessError(QStringLiteral("is not a plain file"))};
    if (status.st_uid != ::geteuid())
        return {ownedByAnother(QStringLiteral("file"), file)};
    if ((status.st_mode & 077) != 0)
        ::chmod(fileName.constData(), status.st_mode & 0700);
    if (::access(fileName.constData(), R_OK) != 0)
        return {cannotRead(errno)};
    return {std::nullopt, true};
}

// Creates a folder and its missing parents owner-only.
bool makeFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    const QString parent = QFileInfo(path).path();
    if (QFileInfo(path).isDir())
        return true;
    return parent != path && makeFolder(parent) &&
           (QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
            QFileInfo(path).isDir());
}

// QSettings guards a write with "<file>.lock". A save killed between making
// the lock and writing its owner into it leaves it empty, which QLockFile
// takes for a live lock for half a minute, with the program frozen; only one
// instance of the program saves, so an empty lock is never a live one. A lock
// that is no plain file would hold QLockFile up: no save then.
bool clearDeadLock(const QString& file)
{
    const QByteArray lock = QFile::encodeName(file + QStringLiteral(".lock"));
    struct stat status {};
    if (::lstat(lock.constData(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode) && (status.st_size != 0 || ::unlink(lock.constData()) == 0);
}

// A save killed between writing its new file and renaming it over the old
// one leaves that file behind: QSaveFile names it "<file>.XXXXXX", six random
// letters of both cases, with the old file's owner-only mode. Only one
// instance of the program saves, so such a file found before a save is a
// leftover and goes. A name in one case only (a user's ".backup"), another
// owner or mode, and anything that is no plain file are left alone.
void removeKilledSaves(const QString& file)
{
    const auto letter = [](QChar c) { return c.isLetter() && c.unicode() < 128; };
    const QFileInfo info(file);
    const QString prefix = info.fileName() + u'.';
    // Listed without a name filter, which Qt would compile into a pattern.
    const QStringList names = QDir(info.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString tail = name.mid(prefix.size());
        if (!name.startsWith(prefix) || tail.size() != 6 || !std::all_of(tail.begin(), tail.end(), letter) ||
            tail == tail.toLower() || tail == tail.toUpper())
            continue;
        const QByteArray path = QFile::encodeName(info.path() + u'/' + name);
        struct stat status {};
        if (::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid() && (status.st_mode & 07777) == 0600)
            ::unlink(path.constData());
    }
}

} // namespace

IniSettingsStore::IniSettingsStore()
    : IniSettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
{
}

IniSettingsStore::IniSettingsStore(const QString& folder) : m_folder(folder) {}

QString IniSettingsStore::filePath() const
{
    return m_folder + u'/' + appName + u'/' + appName + QStringLiteral(".conf");
}

std::optional<diag::Failure> IniSettingsStore::refusal() const
{
    if (m_folder.isEmpty())
        return std::nullopt;
    const QString path = filePath();
    return lookAt(QFileInfo(path).path(), path).refusal;
}

QString IniSettingsStore::get(const QString& key) const
{
    if (m_folder.isEmpty() || !isUsableName(key))
        return {};
    m_bytes.remove(key);
    const QString path = filePath();
    const Look look = lookAt(QFileInfo(path).path(), path);
    if (look.refusal || !look.fileExists)
        return {};
    const QVariant value = QSettings(path, settingsFormat()).value(sectionName + u'/' + key);
    if (!value.isValid())
        return {};
    m_bytes.insert(key, value.toByteArray());
    return QString::fromUtf8(value.toByteArray());
}

QByteArray IniSettingsStore::storedBytes(const QString& key, const QString& text) const
{
    const auto stored = m_bytes.constFind(key);
    if (stored != m_bytes.constEnd() && QString::fromUtf8(*stored) == text)
        return *stored;
    return text.toUtf8();
}

bool IniSettingsStore::saveAll(const QList<QPair<QString, QString>>& values)
{
    if (m_folder.isEmpty() || !std::all_of(values.cbegin(), values.cend(),
                                           [](const auto& value) { return isUsableName(value.first); }))
        return false;
    const QString path = filePath();
    if (!makeFolder(QFileInfo(path).path()))
        return false;
    const Look look = lookAt(QFileInfo(path).path(), path);
    // QSaveFile gives the new file the permissions of the old one, so a first
    // save starts from an empty owner-only file.
    QFile first(path);
    if (look.refusal || !clearDeadLock(path) ||
        (!look.fileExists &&
         !first.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner)))
        return false;
    first.close();
    removeKilledSaves(path);

    QSettings settings(path, settingsFormat());
    settings.setAtomicSyncRequired(true); // never written in place, where a kill would leave half a file
    settings.beginGroup(sectionName);
    QStringList order;
    QList<QByteArray> bytes;
    for (const auto& [key, value] : values) {
        bytes.append(storedBytes(key, value));
        settings.setValue(key, bytes.back());
        order.append(key);
    }
    settings.setValue(orderKey, order);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return false;
    for (qsizetype i = 0; i < values.size(); ++i)
        m_bytes.insert(values[i].first, bytes[i]);
    return true;
}

} // namespace vindel::platform
