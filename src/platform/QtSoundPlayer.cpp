#include "platform/QtSoundPlayer.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

namespace vindel::platform {

using std::chrono::milliseconds;

namespace {

// The time a player needs beyond the sound itself (connecting to the server,
// filling its buffer, draining it), and the longest sound it is given time
// for: this is a notice, not a music player.
constexpr milliseconds playerSlack{2000};
constexpr milliseconds longestSound{30000};

} // namespace

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer()
{
    // Every player still running is killed and reaped here, so none outlives
    // the program and QProcess's destructor finds nothing to wait for. A
    // killed process ends at once; one stuck in the kernel beyond the bound is
    // let go rather than waited for (the system reaps it after the program).
    for (QProcess* player : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        player->disconnect(this);
        if (player->state() == QProcess::NotRunning)
            continue;
        player->kill();
        if (!player->waitForFinished(1000))
            player->setParent(nullptr);
    }
}

const QStringList& QtSoundPlayer::playerNames()
{
    static const QStringList names = {QStringLiteral("paplay"), QStringLiteral("pw-play"),
                                      QStringLiteral("aplay")};
    return names;
}

void QtSoundPlayer::play(const QString& path)
{
    const auto length = waveLength(path);
    if (!length)
        return;
    // One sound at a time: the one still playing is ended; its finished()
    // reaps and retires it without handing the file on.
    if (QProcess* previous = std::exchange(m_current, nullptr))
        previous->kill();
    startPlayer(0, path, playerBound(*length));
}

void QtSoundPlayer::startPlayer(qsizetype first, const QString& path, milliseconds bound)
{
    const QStringList& names = playerNames();
    for (qsizetype index = first; index < names.size(); ++index) {
        const QString program = QStandardPaths::findExecutable(names[index]);
        if (program.isEmpty())
            continue;
        auto* player = new QProcess(this);
        m_current = player;
        player->setProgram(program);
        // "--" ends the options, so a path starting with "-" is a file name.
        player->setArguments({QStringLiteral("--"), path});
        player->setStandardInputFile(QProcess::nullDevice());
        player->setStandardOutputFile(QProcess::nullDevice());
        player->setStandardErrorFile(QProcess::nullDevice());
        // Killed with the program, however it ends.
        const pid_t parent = ::getpid();
        player->setChildProcessModifier([parent] {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(1);
        });

        auto* limit = new QTimer(player);
        limit->setSingleShot(true);
        connect(limit, &QTimer::timeout, player, &QProcess::kill);

        // A player that could not start, or gave up (no server, a format it
        // cannot play), hands the file to the next one, unless another sound
        // has taken its place meanwhile. A killed one hands nothing on.
        const auto handOn = [this, player, index, path, bound] {
            const bool current = player == m_current;
            retire(player);
            if (current)
                startPlayer(index + 1, path, bound);
        };
        connect(player, &QProcess::errorOccurred, this, [handOn](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                handOn();
        });
        connect(player, &QProcess::finished, this,
                [this, player, handOn](int exitCode, QProcess::ExitStatus status) {
                    if (status == QProcess::NormalExit && exitCode != 0)
                        handOn();
                    else
                        retire(player);
                });
        limit->start(bound);
        player->start(); // asynchronous: a failure to start comes as errorOccurred
        return;
    }
}

void QtSoundPlayer::retire(QProcess* player)
{
    if (m_current == player)
        m_current = nullptr;
    player->deleteLater();
}

std::optional<milliseconds> QtSoundPlayer::waveLength(const QString& path)
{
    // Only a regular file is opened: a FIFO would block the open.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(12);
    if (header.size() != 12 || !header.startsWith("RIFF") || header.mid(8, 4) != "WAVE")
        return std::nullopt;

    quint32 bytesPerSecond = 0;
    std::optional<qint64> dataBytes;
    // Chunks: a four-letter name, a 32-bit size, the contents padded to an
    // even length. A bounded number of them is looked at.
    for (int chunk = 0; chunk < 64 && (bytesPerSecond == 0 || !dataBytes); ++chunk) {
        const QByteArray chunkHeader = file.read(8);
        if (chunkHeader.size() != 8)
            break;
        const qint64 size = qFromLittleEndian<quint32>(chunkHeader.constData() + 4);
        const qint64 start = file.pos();
        if (chunkHeader.startsWith("fmt ")) {
            const QByteArray format = file.read(16);
            if (format.size() == 16)
                bytesPerSecond = qFromLittleEndian<quint32>(format.constData() + 8);
        } else if (chunkHeader.startsWith("data")) {
            // Streamed files leave the size unset or too large: what is
            // there is what plays.
            dataBytes = std::min(size, file.size() - start);
        }
        if (!file.seek(start + size + (size & 1)))
            break;
    }
    if (bytesPerSecond == 0 || !dataBytes)
        return std::nullopt;
    return milliseconds(*dataBytes * 1000 / bytesPerSecond);
}

milliseconds QtSoundPlayer::playerBound(milliseconds length)
{
    return std::min(length, longestSound) + playerSlack;
}

} // namespace vindel::platform
