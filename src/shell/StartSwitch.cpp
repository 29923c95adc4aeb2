#include "shell/StartSwitch.h"

#include "BuildInfo.h"

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

std::optional<QString> commandLineAnswer(const QStringList& arguments)
{
    if (arguments.size() != 1)
        return std::nullopt;
    const QString& argument = arguments.front();
    if (argument == QLatin1String("-v") || argument == QLatin1String("--version"))
        return QStringLiteral("Vindel %1.%2.%3\n")
            .arg(build::versionMajor)
            .arg(build::versionMinor)
            .arg(build::versionRevision);
    if (argument == QLatin1String("-h") || argument == QLatin1String("--help"))
        return QStringLiteral("Usage: vindel [/C | /T]\n"
                              "Watches one POP3 mailbox and tells you when mail is waiting.\n"
                              "\n"
                              "Options:\n"
                              "  -h, --help     Displays help on commandline options.\n"
                              "  -v, --version  Displays version information.\n"
                              "\n"
                              "Arguments:\n"
                              "  /C             Open the settings dialog, then end.\n"
                              "  /T             Write the event log.\n"
                              "\n"
                              "A switch counts only as the whole argument text, in either case:\n"
                              "\"/C /T\" is neither. The manual page vindel(1) describes the server\n"
                              "forms and the files.\n");
    return std::nullopt;
}

} // namespace vindel::shell
