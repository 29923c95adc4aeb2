#pragma once

#include "check/SoundPlayer.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "shell/ConfigDialogHost.h"
#include "shell/MessageBoxes.h"

namespace vindel::shell {

// Runs the settings dialog modally, on a fresh window each time.
class ConfigDialogWindowHost : public ConfigDialogHost {
public:
    ConfigDialogWindowHost(settings::Globals& globals, settings::ConfigStore& store, MessageBoxes& messages,
                           check::SoundPlayer& sound);

    void runModal() override;

private:
    settings::Globals& m_globals;
    settings::ConfigStore& m_store;
    MessageBoxes& m_messages;
    check::SoundPlayer& m_sound;
};

} // namespace vindel::shell
