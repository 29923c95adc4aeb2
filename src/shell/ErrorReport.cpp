#include "shell/ErrorReport.h"

#include "diag/Escape.h"

namespace vindel::shell {

check::Resume ErrorReport::report(const diag::Failure& failure, qint16 errorCount)
{
    if (errorCount < 3) {
        m_desktop.showMessage(QStringLiteral("Error %1\r\n\r\n%2")
                                  .arg(failure.number)
                                  .arg(diag::escapeControls(failure.description)),
                              MessageStyle::Exclamation);
        m_desktop.runConfigDialog();
        m_painter.show(lookAt(Moment::RetrySoon));
        return check::Resume::Soon;
    }
    if (errorCount == 3) {
        m_painter.show(lookAt(Moment::ErrorLook));
        return check::Resume::Stopped;
    }
    m_painter.show(lookAt(Moment::StillFailing));
    return check::Resume::StopAtMinute;
}

} // namespace vindel::shell
