#pragma once

#include <QString>

namespace vindel::shell {

// Plays a wave file in the background and returns at once. A file that cannot
// be played is skipped silently.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& path) = 0;
};

} // namespace vindel::shell
