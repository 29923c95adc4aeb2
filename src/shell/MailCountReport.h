#pragma once

#include "settings/ConfigRecord.h"
#include "shell/AppControl.h"
#include "shell/Look.h"
#include "shell/NoticeView.h"
#include "shell/SoundPlayer.h"

namespace vindel::shell {

// Shows the count a check found. The label always shows it; the tray, the
// window icon and the state button change only when the count differs, as
// text, from the one reported before; a changed count other than "0" also
// brings up the notice and plays the sound, between the tray and the
// pictures.
class MailCountReport {
public:
    MailCountReport(const settings::Globals& globals, LookPainter& painter, NoticeView& notice,
                    SoundPlayer& sound, AppControl& app)
        : m_globals(globals), m_painter(painter), m_notice(notice), m_sound(sound), m_app(app)
    {
    }

    void report(const QString& mailCount, const QString& previous);

private:
    const settings::Globals& m_globals;
    LookPainter& m_painter;
    NoticeView& m_notice;
    SoundPlayer& m_sound;
    AppControl& m_app;
};

} // namespace vindel::shell
