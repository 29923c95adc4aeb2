#include "windows/ConfigDialogWindowHost.h"

#include "windows/ConfigDialog.h"

namespace vindel::windows {

ConfigDialogWindowHost::ConfigDialogWindowHost(settings::Globals& globals, settings::ConfigStore& store,
                                               shell::MessageBoxes& messages, shell::SoundPlayer& sound,
                                               QWidget* owner)
    : m_globals(globals), m_store(store), m_messages(messages), m_sound(sound), m_owner(owner)
{
}

void ConfigDialogWindowHost::runModal()
{
    ConfigDialog dialog(m_globals, m_store, m_messages, m_sound, m_owner);
    if (m_owner)
        dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
}

} // namespace vindel::windows
