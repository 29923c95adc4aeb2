#pragma once

#include "shell/ProcessLauncher.h"

#include <QString>

#include <optional>

namespace vindel::platform {

// Starts the mail program detached, with no shell between: the command line
// is split into program and arguments by QProcess::splitCommand (quotes
// group, nothing else is special). Addresses go to QDesktopServices.
class QtProcessLauncher : public shell::ProcessLauncher {
public:
    std::optional<QString> start(const QString& commandLine) override;
    void openUrl(const QString& url) override;
};

} // namespace vindel::platform
