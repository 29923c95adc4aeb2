#pragma once

#include <QString>

#include <optional>

namespace vindel::shell {

// Starts programs and opens addresses without waiting for them.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts a command line (program and arguments split as a shell would,
    // but with no shell in between). Returns the platform's description of
    // the failure, or nothing when the program was started.
    virtual std::optional<QString> start(const QString& commandLine) = 0;
    // Hands an address to the desktop's default handler; failures ignored.
    virtual void openUrl(const QString& url) = 0;
};

} // namespace vindel::shell
