#pragma once

#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "shell/ConfigDialogHost.h"
#include "shell/MessageBoxes.h"
#include "shell/SoundPlayer.h"

class QWidget;

namespace vindel::windows {

// Runs the settings dialog modally, on a fresh window each time. Given an
// owner (the status window), the dialog is modal to that window only, so that
// the tray icon's menu still opens while it is up.
class ConfigDialogWindowHost : public shell::ConfigDialogHost {
public:
    ConfigDialogWindowHost(settings::Globals& globals, settings::ConfigStore& store,
                           shell::MessageBoxes& messages, shell::SoundPlayer& sound,
                           QWidget* owner = nullptr);

    void runModal() override;

private:
    settings::Globals& m_globals;
    settings::ConfigStore& m_store;
    shell::MessageBoxes& m_messages;
    shell::SoundPlayer& m_sound;
    QWidget* m_owner;
};

} // namespace vindel::windows
