#pragma once

#include "settings/ConfigRecord.h"
#include "shell/Look.h"

namespace vindel::shell {

// Shows the count a check found. The label always shows it; the tray, the
// window icon and the state button change only when the count differs, as
// text, from the one reported before; a changed count other than "0" also
// brings up the notice and plays the sound, between the tray and the
// pictures.
class MailCountReport {
public:
    MailCountReport(const settings::Globals& globals, Desktop& desktop)
        : m_globals(globals), m_desktop(desktop), m_painter(desktop)
    {
    }

    void report(const QString& mailCount, const QString& previous);

private:
    const settings::Globals& m_globals;
    Desktop& m_desktop;
    LookPainter m_painter;
};

} // namespace vindel::shell
