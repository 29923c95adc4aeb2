#pragma once

#include "settings/ConfigRecord.h"
#include "shell/ProcessLauncher.h"
#include "windows/AboutWindow.h"

#include <QPointer>

namespace vindel::windows {

// Holds the one shared About window: created and centred on first use,
// brought forward while it is open, built afresh after it has closed.
class AboutHost {
public:
    AboutHost(const settings::Globals& globals, shell::ProcessLauncher& launcher);
    ~AboutHost();
    AboutHost(const AboutHost&) = delete;
    AboutHost& operator=(const AboutHost&) = delete;

    void showAbout();

private:
    const settings::Globals& m_globals;
    shell::ProcessLauncher& m_launcher;
    QPointer<AboutWindow> m_window;
};

} // namespace vindel::windows
