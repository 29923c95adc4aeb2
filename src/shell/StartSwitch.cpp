#include "shell/StartSwitch.h"

namespace vindel::shell {

StartSwitch parseStartSwitch(const QStringList& arguments)
{
    const QString text = arguments.join(u' ').toUpper();
    if (text == QLatin1String("/C"))
        return StartSwitch::Configure;
    if (text == QLatin1String("/T"))
        return StartSwitch::Trace;
    return StartSwitch::None;
}

} // namespace vindel::shell
