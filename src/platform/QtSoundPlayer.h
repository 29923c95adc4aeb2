#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

class QProcess;

namespace vindel::platform {

// Plays a wave file by starting a short-lived player program (the first of
// playerNames() found on PATH) with the file's path as its one argument after
// "--", and returns at once: the process is started asynchronously and never
// waited for, so a sound server that hangs cannot hold up the event thread.
// A player that cannot start or exits with a failure hands the file to the
// next one; one still running after playerBound() is killed. One player at a
// time: a new sound ends the one still playing (the newest report's sound is
// the one heard, and a preview of a newly chosen file starts at once). The
// player's output is discarded; anything that cannot be played (no path, no
// wave file, no player, no sound server) is silence. Every player is ended and
// reaped by the destructor, and dies with the program should it be killed.
class QtSoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void play(const QString& path);

    // The players looked for on PATH, in order: PulseAudio's client (which
    // PipeWire's pulse server also answers), PipeWire's own, plain ALSA.
    static const QStringList& playerNames();
    // How long a RIFF/WAVE file sounds, from its "fmt " and "data" chunks;
    // nothing for a file that is not one. Only such files reach a player: a
    // player given another file may play its bytes as noise.
    static std::optional<std::chrono::milliseconds> waveLength(const QString& path);
    // How long a player of a sound that long may run before it is killed.
    static std::chrono::milliseconds playerBound(std::chrono::milliseconds length);

private:
    // Starts the first player from playerNames()[first] on that is on PATH.
    void startPlayer(qsizetype first, const QString& path, std::chrono::milliseconds bound);
    void retire(QProcess* player);

    QProcess* m_current = nullptr; // the player sounding now, if any
};

} // namespace vindel::platform
