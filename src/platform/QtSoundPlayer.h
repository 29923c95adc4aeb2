#pragma once

#include "shell/SoundPlayer.h"

#include <QObject>
#include <QString>

class QSoundEffect;

namespace vindel::platform {

// Plays a wave file in the background with QSoundEffect and returns at once.
// Anything that cannot be played (no path, a missing, empty or non-wave file,
// no audio output on the machine) is silence: no message and no warning.
class QtSoundPlayer : public QObject, public shell::SoundPlayer {
    Q_OBJECT
public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void play(const QString& path) override;

    // Whether the file starts like a RIFF/WAVE file; the effect is given
    // nothing else, so that a wrong file cannot make it complain.
    static bool isWaveFile(const QString& path);
    // Whether the machine has an audio output at all.
    static bool hasAudioOutput();
    // Whether a sound server's socket is there to connect to.
    static bool audioServerInReach();

private:
    QSoundEffect* m_effect = nullptr; // created on first use
};

} // namespace vindel::platform
