#include "platform/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vindel::platform {
namespace {

constexpr int permissionDenied = 70;
constexpr int fileAccessError = 75;

// An application name becomes a folder and a file name: no separators, no
// "." or "..".
bool isUsableAppName(const QString& app)
{
    return !app.isEmpty() && app != u"." && app != u".." && !app.contains(u'/') && !app.contains(u'\\') &&
           !app.contains(QChar(0));
}

// Section and key names are written into the file as they are, so they keep
// to the characters that need no escaping there.
bool isUsableName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
              c == u'-' || c == u'.'))
            return false;
    return name.compare(QStringLiteral("general"), Qt::CaseInsensitive) != 0; // the file's unnamed section
}

QString valueId(const QString& app, const QString& section, const QString& key)
{
    return app + u'/' + section + u'/' + key;
}

// A file descriptor that closes itself.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(-1); }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Drops the group and other bits of an open file or folder.
void tighten(int fd, const struct stat& status)
{
    if ((status.st_mode & 077) != 0)
        ::fchmod(fd, status.st_mode & 0700);
}

diag::Failure belongsToAnother(const QString& what, const QString& path)
{
    return {permissionDenied,
            QStringLiteral("Permission denied: the settings %1 %2 belongs to another user").arg(what, path)};
}

diag::Failure notAPlainFile(const QString& path)
{
    return {fileAccessError,
            QStringLiteral("Path/File access error: the settings file %1 is not a plain file").arg(path)};
}

diag::Failure cannotRead(const QString& path, int error)
{
    return {fileAccessError,
            QStringLiteral("Path/File access error: the settings file %1 cannot be read (%2)")
                .arg(path, QString::fromLocal8Bit(std::strerror(error)))};
}

// Opens the application's folder for the file operations below, which all
// work relative to it. An absent folder (or something else in its place)
// leaves `folder` closed and is no refusal: there are no settings yet. A
// folder of another user is refused.
std::optional<diag::Failure> openFolder(const QString& path, Descriptor& folder)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (::stat(native.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    if (status.st_uid != ::geteuid())
        return belongsToAnother(QStringLiteral("folder"), path);
    folder.reset(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (!folder.isOpen() || ::fstat(folder.get(), &status) != 0)
        return std::nullopt;
    if (status.st_uid != ::geteuid()) // replaced since the look above
        return belongsToAnother(QStringLiteral("folder"), path);
    tighten(folder.get(), status);
    return std::nullopt;
}

// Opens the settings file in an open folder for reading, never through a
// link and never waiting on a pipe. An absent file leaves `file` closed.
std::optional<diag::Failure> openFile(int folder, const QByteArray& name, const QString& path,
                                      Descriptor& file)
{
    struct stat status {};
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(cannotRead(path, errno));
    if (!S_ISREG(status.st_mode))
        return notAPlainFile(path);
    if (status.st_uid != ::geteuid())
        return belongsToAnother(QStringLiteral("file"), path);
    file.reset(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.isOpen())
        return errno == ELOOP ? notAPlainFile(path) : cannotRead(path, errno);
    if (::fstat(file.get(), &status) != 0)
        return cannotRead(path, errno);
    if (!S_ISREG(status.st_mode)) // replaced since the look above
        return notAPlainFile(path);
    if (status.st_uid != ::geteuid())
        return belongsToAnother(QStringLiteral("file"), path);
    tighten(file.get(), status);
    return std::nullopt;
}

bool readAll(int fd, QByteArray& data)
{
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        data.append(buffer, got);
    }
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

// The folder and, when there is one, the file of an application's settings,
// opened as described above.
struct Opened {
    Descriptor folder;
    Descriptor file;
    std::optional<diag::Failure> refusal;
};

void openSettings(const QString& folderPath, const QString& filePath, Opened& opened)
{
    opened.refusal = openFolder(folderPath, opened.folder);
    if (opened.refusal || !opened.folder.isOpen())
        return;
    opened.refusal = openFile(opened.folder.get(), QFile::encodeName(QFileInfo(filePath).fileName()),
                              filePath, opened.file);
}

// Creates a folder and its missing parents owner-only.
bool makeFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    const QString parent = QFileInfo(path).path();
    if (parent != path && !QFileInfo(parent).isDir() && !makeFolder(parent))
        return false;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return QFileInfo(path).isDir();
}

// A save killed before its rename leaves its new file behind, a whole private
// copy of the settings. Only one instance of the program saves, so any such
// file found at the next save is a leftover and goes.
void removeLeftovers(int folder, const QByteArray& prefix)
{
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* entries = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!entries) {
        if (copy >= 0)
            ::close(copy);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        struct stat status {};
        if (std::strncmp(entry->d_name, prefix.constData(), size_t(prefix.size())) == 0 &&
            ::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid())
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// Puts `data` in place of the file `name` in `folder`: a new owner-only file
// beside it, created afresh (never through a link or over another file),
// written, flushed, and renamed over the old one. A name that holds something
// other than a plain file of the user is left alone.
bool replaceFile(int folder, const QByteArray& name, const QByteArray& data)
{
    const QByteArray prefix = name + ".new-";
    removeLeftovers(folder, prefix);
    QByteArray temporary;
    Descriptor file;
    for (int attempt = 0; attempt < 16 && !file.isOpen(); ++attempt) {
        temporary = prefix + QByteArray::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 36);
        file.reset(::openat(folder, temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.isOpen() && errno != EEXIST)
            return false;
    }
    if (!file.isOpen())
        return false;
    bool written = writeAll(file.get(), data) && ::fsync(file.get()) == 0;
    file.reset(-1);
    if (written) {
        struct stat status {};
        if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
            written = S_ISREG(status.st_mode) && status.st_uid == ::geteuid();
        else
            written = errno == ENOENT;
    }
    if (!written || ::renameat(folder, temporary.constData(), folder, name.constData()) != 0) {
        ::unlinkat(folder, temporary.constData(), 0);
        return false;
    }
    ::fsync(folder); // the rename itself is durable too
    return true;
}

// ---- The INI dialect ----

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One entry of the file: a section header or a key line, from its first
// character to its end (a line end outside quotes, or a ";" that starts a
// comment).
struct Entry {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype equals = -1; // the first "=" outside quotes
};

// Finds the next entry from `pos` on, skipping blank lines and comment
// lines; false at the end of the data.
bool nextEntry(const QByteArray& data, qsizetype& pos, Entry& entry)
{
    const qsizetype size = data.size();
    for (;;) {
        while (pos < size && (isBlank(data[pos]) || isLineEnd(data[pos])))
            ++pos;
        if (pos < size && data[pos] == ';') {
            while (pos < size && !isLineEnd(data[pos]))
                ++pos;
            continue;
        }
        break;
    }
    if (pos >= size)
        return false;
    entry = {pos, pos, -1};
    bool inQuotes = false;
    while (pos < size) {
        const char c = data[pos];
        if (isLineEnd(c) && !inQuotes)
            break;
        if (c == ';' && !inQuotes)
            break;
        ++pos;
        if (c == '=' && !inQuotes && entry.equals < 0) {
            entry.equals = pos - 1;
        } else if (c == '\\' && pos < size) {
            const char escaped = data[pos++];
            // A backslash before a line end joins the next line, also for CR LF and LF CR.
            if (pos < size && isLineEnd(escaped) && isLineEnd(data[pos]) && data[pos] != escaped)
                ++pos;
        } else if (c == '"') {
            inQuotes = !inQuotes;
        }
    }
    entry.end = pos;
    return true;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (isBlank(text.front()) || isLineEnd(text.front())))
        text = text.sliced(1);
    while (!text.isEmpty() && (isBlank(text.back()) || isLineEnd(text.back())))
        text.chop(1);
    return text;
}

// The section a header names: "[General]" is the unnamed one.
QByteArray headerName(QByteArrayView header)
{
    qsizetype close = header.indexOf(']');
    if (close < 0)
        close = header.size();
    const QByteArrayView name = trimmed(header.sliced(1, close - 1));
    if (name.compare("general", Qt::CaseInsensitive) == 0)
        return {};
    if (name.compare("%general", Qt::CaseInsensitive) == 0)
        return name.sliced(1).toByteArray();
    return name.toByteArray();
}

void appendCode(QByteArray& out, uint code)
{
    out += QString(QChar(char16_t(code))).toUtf8();
}

// The bytes a stored value stands for: quotes and escapes undone, blanks
// around it dropped; a list (commas outside quotes) is joined back with
// commas. Bytes that are not escaped are kept as they are, valid UTF-8 or not.
QByteArray unescapedValue(QByteArrayView text)
{
    QByteArray out;
    const qsizetype size = text.size();
    qsizetype i = 0;
    bool inQuotes = false;
    bool quoted = false; // the current item had quotes: its trailing blanks are content
    qsizetype keep = 0;  // blanks before this are content
    const auto skipBlanks = [&] {
        while (i < size && isBlank(text[i]))
            ++i;
    };
    const auto chopBlanks = [&] {
        if (!quoted)
            while (out.size() > keep && isBlank(out.back()))
                out.chop(1);
    };
    skipBlanks();
    while (i < size) {
        const char c = text[i++];
        if (c == '\\') {
            if (i >= size)
                break;
            const char e = text[i++];
            switch (e) {
            case 'a':
                out += '\a';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\v';
                break;
            case '"':
            case '?':
            case '\'':
            case '\\':
                out += e;
                break;
            case 'x':
                if (i < size && hexValue(text[i]) >= 0) {
                    uint code = 0;
                    while (i < size && hexValue(text[i]) >= 0)
                        code = ((code << 4) + uint(hexValue(text[i++]))) & 0xFFFF;
                    appendCode(out, code);
                }
                break;
            default:
                if (e >= '0' && e <= '7') {
                    uint code = uint(e - '0');
                    while (i < size && text[i] >= '0' && text[i] <= '7')
                        code = ((code << 3) + uint(text[i++] - '0')) & 0xFFFF;
                    appendCode(out, code);
                } else if (isLineEnd(e)) { // a joined line
                    if (i < size && isLineEnd(text[i]) && text[i] != e)
                        ++i;
                } // any other escaped character is dropped
                break;
            }
            keep = out.size();
        } else if (c == '"') {
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
            keep = out.size();
        } else if (c == ',' && !inQuotes) {
            chopBlanks();
            out += ',';
            quoted = false;
            skipBlanks();
            keep = out.size();
        } else {
            out += c;
        }
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
QByteArray escapedValue(QByteArray value)
{
    if (value.startsWith('@'))
        value.prepend('@');
    QByteArray out;
    bool needsQuotes = false;
    bool escapeNextIfHex = false; // an escape read as a number must not take the next character in
    for (const char c : value) {
        const auto byte = uchar(c);
        if (c == ';' || c == ',' || c == '=')
            needsQuotes = true;
        if (escapeNextIfHex && hexValue(c) >= 0) {
            out += "\\x" + QByteArray::number(byte, 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (c) {
        case '\0':
            out += "\\0";
            escapeNextIfHex = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += c;
            break;
        default:
            if (byte <= 0x1F) {
                out += "\\x" + QByteArray::number(byte, 16);
                escapeNextIfHex = true;
            } else {
                out += c;
            }
        }
    }
    if (needsQuotes || (!out.isEmpty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

// Walks the entries of a file, keeping track of the section each lies in.
// Calls `onEntry(entry, inSection, key)` for every entry; `key` is empty for
// a header or a line without "=".
template <typename OnEntry> void walk(const QByteArray& data, const QByteArray& section, OnEntry onEntry)
{
    qsizetype pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    QByteArray current; // the unnamed section at the top
    Entry entry;
    while (nextEntry(data, pos, entry)) {
        const QByteArrayView line = QByteArrayView(data).sliced(entry.begin, entry.end - entry.begin);
        if (line.startsWith('[')) {
            current = headerName(line);
            onEntry(entry, current == section, QByteArrayView());
        } else if (entry.equals >= 0) {
            onEntry(entry, current == section, trimmed(line.first(entry.equals - entry.begin)));
        }
    }
}

// The value of a key in a section: the last one when the key is there more
// than once. False when it is not there.
bool findValue(const QByteArray& data, const QByteArray& section, const QByteArray& key, QByteArray& value)
{
    bool found = false;
    walk(data, section, [&](const Entry& entry, bool inSection, QByteArrayView name) {
        if (inSection && name == key) {
            value =
                unescapedValue(QByteArrayView(data).sliced(entry.equals + 1, entry.end - entry.equals - 1));
            found = true;
        }
    });
    return found;
}

// Where the physical line holding `entry` starts and ends (line end included).
qsizetype lineBegin(const QByteArray& data, const Entry& entry)
{
    qsizetype begin = entry.begin;
    while (begin > 0 && isBlank(data[begin - 1]))
        --begin;
    return begin;
}

qsizetype lineEnd(const QByteArray& data, const Entry& entry)
{
    qsizetype end = entry.end;
    while (end < data.size() && !isLineEnd(data[end]))
        ++end; // a comment behind the entry
    if (end < data.size() && data[end] == '\r')
        ++end;
    if (end < data.size() && data[end] == '\n')
        ++end;
    return end;
}

// The file with `lines` ("Key=value" and a line end each) at the top of the
// first `section`, and every other line kept; the keys written are taken
// out of every copy of the section. A missing section is added at the end.
QByteArray rewritten(const QByteArray& data, const QByteArray& section, const QList<QByteArray>& keys,
                     const QByteArray& lines)
{
    qsizetype insertAt = -1;
    QList<std::pair<qsizetype, qsizetype>> dropped;
    walk(data, section, [&](const Entry& entry, bool inSection, QByteArrayView name) {
        if (!inSection)
            return;
        if (name.isEmpty() && data[entry.begin] == '[') {
            if (insertAt < 0)
                insertAt = lineEnd(data, entry);
        } else if (keys.contains(name)) {
            dropped.append({lineBegin(data, entry), lineEnd(data, entry)});
        }
    });

    QByteArray out;
    if (insertAt < 0) {
        out = data;
        if (!out.isEmpty() && !isLineEnd(out.back()))
            out += '\n';
        if (!trimmed(out).isEmpty())
            out += '\n';
        out += '[' + section + "]\n" + lines;
        return out;
    }
    qsizetype pos = 0;
    const auto copyTo = [&](qsizetype end) {
        if (end > pos)
            out += QByteArrayView(data).sliced(pos, end - pos);
        pos = std::max(pos, end);
    };
    bool inserted = false;
    for (const auto& [begin, end] : dropped) {
        if (!inserted && insertAt <= begin) {
            copyTo(insertAt);
            if (!out.isEmpty() && !isLineEnd(out.back()))
                out += '\n';
            out += lines;
            inserted = true;
        }
        copyTo(begin);
        pos = std::max(pos, end);
    }
    if (!inserted) {
        copyTo(insertAt);
        if (!out.isEmpty() && !isLineEnd(out.back()))
            out += '\n';
        out += lines;
    }
    copyTo(data.size());
    return out;
}

} // namespace

IniSettingsStore::IniSettingsStore()
    : IniSettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
{
}

IniSettingsStore::IniSettingsStore(const QString& folder) : m_folder(folder) {}

QString IniSettingsStore::filePath(const QString& app) const
{
    return m_folder + u'/' + app + u'/' + app + QStringLiteral(".conf");
}

std::optional<diag::Failure> IniSettingsStore::refusal(const QString& app) const
{
    if (m_folder.isEmpty() || !isUsableAppName(app))
        return std::nullopt;
    const QString path = filePath(app);
    Opened opened;
    openSettings(QFileInfo(path).path(), path, opened);
    return opened.refusal;
}

QString IniSettingsStore::get(const QString& app, const QString& section, const QString& key) const
{
    if (m_folder.isEmpty() || !isUsableAppName(app) || !isUsableName(section) || !isUsableName(key))
        return {};
    const QString id = valueId(app, section, key);
    m_bytes.remove(id);
    const QString path = filePath(app);
    Opened opened;
    openSettings(QFileInfo(path).path(), path, opened);
    QByteArray data;
    if (opened.refusal || !opened.file.isOpen() || !readAll(opened.file.get(), data))
        return {};
    QByteArray value;
    if (!findValue(data, section.toLatin1(), key.toLatin1(), value))
        return {};
    m_bytes.insert(id, value);
    return QString::fromUtf8(value);
}

QByteArray IniSettingsStore::storedBytes(const QString& app, const QString& section, const QString& key,
                                         const QString& text) const
{
    const auto stored = m_bytes.constFind(valueId(app, section, key));
    if (stored != m_bytes.constEnd() && QString::fromUtf8(*stored) == text)
        return *stored;
    return text.toUtf8();
}

bool IniSettingsStore::save(const QString& app, const QString& section, const QString& key,
                            const QString& value)
{
    return saveAll(app, section, {{key, value}});
}

bool IniSettingsStore::saveAll(const QString& app, const QString& section,
                               const QList<QPair<QString, QString>>& values)
{
    if (m_folder.isEmpty() || !isUsableAppName(app) || !isUsableName(section))
        return false;
    QList<QByteArray> keys;
    QList<QByteArray> bytes;
    QByteArray lines;
    for (const auto& [key, value] : values) {
        if (!isUsableName(key))
            return false;
        keys.append(key.toLatin1());
        bytes.append(storedBytes(app, section, key, value));
        lines += keys.back() + '=' + escapedValue(bytes.back()) + '\n';
    }

    const QString path = filePath(app);
    const QString folderPath = QFileInfo(path).path();
    if (!makeFolder(folderPath))
        return false;
    Opened opened;
    openSettings(folderPath, path, opened);
    if (opened.refusal || !opened.folder.isOpen())
        return false;
    QByteArray data;
    if (opened.file.isOpen() && !readAll(opened.file.get(), data))
        return false;
    opened.file.reset(-1);

    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    if (!replaceFile(opened.folder.get(), name, rewritten(data, section.toLatin1(), keys, lines)))
        return false;
    for (qsizetype i = 0; i < values.size(); ++i)
        m_bytes.insert(valueId(app, section, values[i].first), bytes[i]);
    return true;
}

} // namespace vindel::platform
