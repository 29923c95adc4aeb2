#include "shell/ConfigDialogWindowHost.h"

#include "shell/ConfigDialog.h"

namespace vindel::shell {

ConfigDialogWindowHost::ConfigDialogWindowHost(settings::Globals& globals, settings::ConfigStore& store,
                                               MessageBoxes& messages, check::SoundPlayer& sound)
    : m_globals(globals), m_store(store), m_messages(messages), m_sound(sound)
{
}

void ConfigDialogWindowHost::runModal()
{
    ConfigDialog dialog(m_globals, m_store, m_messages, m_sound);
    dialog.exec();
}

} // namespace vindel::shell
