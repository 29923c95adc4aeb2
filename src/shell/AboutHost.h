#pragma once

#include "settings/ConfigRecord.h"
#include "shell/AboutView.h"
#include "shell/AboutWindow.h"
#include "shell/ProcessLauncher.h"

#include <QPointer>

namespace vindel::shell {

// Holds the one shared About window: created and centred on first use,
// brought forward while it is open, built afresh after it has closed.
class AboutHost : public AboutView {
public:
    AboutHost(const settings::Globals& globals, ProcessLauncher& launcher);
    ~AboutHost() override;
    AboutHost(const AboutHost&) = delete;
    AboutHost& operator=(const AboutHost&) = delete;

    void showAbout() override;

private:
    const settings::Globals& m_globals;
    ProcessLauncher& m_launcher;
    QPointer<AboutWindow> m_window;
};

} // namespace vindel::shell
