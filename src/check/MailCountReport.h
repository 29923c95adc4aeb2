#pragma once

#include "check/CheckVariables.h"
#include "check/SoundPlayer.h"
#include "settings/ConfigRecord.h"
#include "shell/AppControl.h"
#include "shell/NoticeView.h"
#include "shell/StatusView.h"
#include "shell/Tray.h"

namespace vindel::check {

// Shows the count a check found. The label always shows it; the tray, the
// window icon and the state button change only when the count differs, as
// text, from the one reported before; a changed count other than "0" also
// brings up the notice and plays the sound.
class MailCountReport {
public:
    MailCountReport(const settings::Globals& globals, CheckVariables& variables, shell::StatusView& view,
                    shell::Tray& tray, shell::NoticeView& notice, SoundPlayer& sound, shell::AppControl& app);

    void report(const QString& mailCount);

    static QString statusText(const QString& mailCount);

private:
    const settings::Globals& m_globals;
    CheckVariables& m_variables;
    shell::StatusView& m_view;
    shell::Tray& m_tray;
    shell::NoticeView& m_notice;
    SoundPlayer& m_sound;
    shell::AppControl& m_app;
};

} // namespace vindel::check
