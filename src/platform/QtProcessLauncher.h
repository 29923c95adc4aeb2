#pragma once

#include <QString>

#include <optional>

namespace vindel::platform {

// Starts the mail program detached, with no shell between: the command line
// is split into program and arguments by QProcess::splitCommand (quotes
// group, nothing else is special). Addresses go to QDesktopServices.
class QtProcessLauncher {
public:
    // Gives the platform's description of a failure, or nothing when the
    // program was started.
    static std::optional<QString> start(const QString& commandLine);
    static void openUrl(const QString& url);
};

} // namespace vindel::platform
