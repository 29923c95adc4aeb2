#pragma once

#include <QStringList>

#include <optional>

namespace vindel::shell {

// The command-line switches. Only the whole argument text counts, in any
// case: "/c" is "/C", but "/C /T" is neither.
enum class StartSwitch { None, Configure, Trace };

StartSwitch parseStartSwitch(const QStringList& arguments);

// What the program prints instead of starting: its help for "-h" or
// "--help", its name and version for "-v" or "--version", each only as the
// sole argument and spelt exactly so. Any other argument text is a start
// (nothing), read by parseStartSwitch.
std::optional<QString> commandLineAnswer(const QStringList& arguments);

} // namespace vindel::shell
