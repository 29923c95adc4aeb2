#include "platform/QtSoundPlayer.h"

#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <unistd.h>

namespace vindel::platform {

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::play(const QString& path)
{
    if (!isWaveFile(path) || !hasAudioOutput())
        return;
    if (!m_effect)
        m_effect = new QSoundEffect(this);
    const QUrl source = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (m_effect->source() != source)
        m_effect->setSource(source); // loads in the background; play() waits for it
    else
        m_effect->stop();
    m_effect->play();
}

bool QtSoundPlayer::isWaveFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(12);
    return header.size() == 12 && header.startsWith("RIFF") && header.mid(8, 4) == "WAVE";
}

bool QtSoundPlayer::hasAudioOutput()
{
    // Qt's audio goes through a PulseAudio (or PipeWire) server. Without one
    // in reach, asking QMediaDevices would only print a warning.
    if (!audioServerInReach())
        return false;
    return !QMediaDevices::audioOutputs().isEmpty();
}

bool QtSoundPlayer::audioServerInReach()
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return true;
    QStringList sockets;
    if (!qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
        sockets << qEnvironmentVariable("PULSE_RUNTIME_PATH") + QStringLiteral("/native");
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        sockets << qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse/native");
    sockets << QStringLiteral("/run/user/%1/pulse/native").arg(::getuid())
            << QStringLiteral("/var/run/pulse/native");
    return std::any_of(sockets.cbegin(), sockets.cend(),
                       [](const QString& path) { return QFileInfo::exists(path); });
}

} // namespace vindel::platform
